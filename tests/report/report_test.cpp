#include "report/report.h"

#include <dlfcn.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "report/svg_test_support.h"

#if __has_include(<png.h>)
#include <png.h>
#define KNN_REPORT_HAVE_PNG_H 1
#endif

namespace {

namespace fs = std::filesystem;
using knnreport::testing::ReadFile;
using knnreport::testing::ReportFixture;

class ReportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("knn-report-cmd-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the command, returning its exit code and what it printed.
  int Run(const std::vector<std::string>& args) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = RunReportCommand(args);
    out_ = ::testing::internal::GetCapturedStdout();
    err_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  fs::path dir_;
  std::string out_;
  std::string err_;
};

TEST_F(ReportCommandTest, BadArgumentsAndFilesExitWithOneLine) {
  const std::string good = ReportFixture("small-regression.pmml");
  std::ofstream(Path("broken.pmml")) << "<PMML><Header></PMML>";
  const struct {
    std::vector<std::string> args;
    int code;
    const char* message;
  } cases[] = {
      {{}, 2, ""},
      {{"--bogus", good}, 2, ""},
      {{good, "-o"}, 2, ""},
      {{good, "-o", ""}, 2, ""},
      {{good, ReportFixture("small-classification.pmml")}, 2, ""},
      {{Path("absent.pmml")}, 2, ""},
      {{Path("broken.pmml"), "-o", Path("out.html")}, 2, "not a well-formed XML document"},
      {{good, "-o", Path("no/such/dir/r.html")}, 1, "cannot write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(Run(c.args), c.code);
    EXPECT_EQ(err_.rfind("knn report: ", 0), 0u) << err_;
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
    EXPECT_TRUE(out_.empty());
  }
  EXPECT_FALSE(fs::exists(Path("out.html")));
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.find("usage: knn report MODEL.pmml [-o REPORT.html]"), std::string::npos);
}

TEST_F(ReportCommandTest, WritesTheReportWholeWhereAsked) {
  const std::string model = ReportFixture("small-classification.pmml");
  std::ostringstream direct;
  std::string error;
  ASSERT_TRUE(WriteHtmlReport(model, direct, error));
  // An old, longer report is replaced whole, and no temporary file is left behind.
  std::ofstream(Path("r.html")) << std::string(500000, 'x');
  ASSERT_EQ(Run({model, "-o", Path("r.html")}), 0) << err_;
  EXPECT_EQ(ReadFile(Path("r.html")), direct.str());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  // Standard output on request, with nothing else on it.
  ASSERT_EQ(Run({model, "-o", "-"}), 0);
  EXPECT_EQ(out_, direct.str());
  // By default beside the model, named after it.
  fs::copy_file(model, Path("model.pmml"));
  ASSERT_EQ(Run({Path("model.pmml")}), 0) << err_;
  EXPECT_EQ(ReadFile(Path("model.html")).rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(err_.find(Path("model.html")), std::string::npos);
}

// --- rendering with a real browser -----------------------------------------------------

struct Pixels {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<unsigned char> rgb;
};

// Decodes a PNG with the system's libpng, loaded at run time so the test binary needs no
// extra link dependency. Returns false when libpng is not available.
bool DecodePng(const std::string& path, Pixels& pixels, std::string& why) {
#ifdef KNN_REPORT_HAVE_PNG_H
  void* library = dlopen("libpng16.so.16", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    why = "libpng16 is not installed";
    return false;
  }
  const auto begin = reinterpret_cast<decltype(&png_image_begin_read_from_file)>(
      dlsym(library, "png_image_begin_read_from_file"));
  const auto finish =
      reinterpret_cast<decltype(&png_image_finish_read)>(dlsym(library, "png_image_finish_read"));
  const auto release =
      reinterpret_cast<decltype(&png_image_free)>(dlsym(library, "png_image_free"));
  bool ok = false;
  if (begin && finish && release) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (begin(&image, path.c_str())) {
      image.format = PNG_FORMAT_RGB;
      pixels.width = image.width;
      pixels.height = image.height;
      pixels.rgb.assign(PNG_IMAGE_SIZE(image), 0);
      ok = finish(&image, nullptr, pixels.rgb.data(), 0, nullptr) != 0;
      if (!ok) why = image.message;
      release(&image);
    } else {
      why = image.message;
    }
  } else {
    why = "libpng16 lacks the simplified API";
  }
  dlclose(library);
  return ok;
#else
  (void)path, (void)pixels;
  why = "png.h is not installed";
  return false;
#endif
}

// A page that rendered has ink on a fair share of it and many colours (text antialiasing,
// chart shades); a blank or failed render is one flat colour.
void ExpectRenderedPage(const std::string& html, const std::string& png) {
  const std::string script = std::string(KNN_SOURCE_DIR) + "/scripts/render_report.sh";
  const std::string command = "sh '" + script + "' '" + html + "' '" + png + "' 1200,3000";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  Pixels pixels;
  std::string why;
  if (!DecodePng(png, pixels, why)) GTEST_SKIP() << "cannot decode the screenshot: " << why;
  ASSERT_EQ(pixels.width, 1200u);
  ASSERT_GT(pixels.height, 1000u);
  std::size_t ink = 0;
  std::set<unsigned> colours;
  std::size_t inkInTopQuarter = 0;
  for (std::size_t i = 0; i + 2 < pixels.rgb.size(); i += 3) {
    const unsigned r = pixels.rgb[i], g = pixels.rgb[i + 1], b = pixels.rgb[i + 2];
    if (r + g + b < 700) {
      ++ink;
      if (i / 3 / pixels.width < pixels.height / 4) ++inkInTopQuarter;
    }
    if (colours.size() < 5000) colours.insert((r << 16) | (g << 8) | b);
  }
  const double share = static_cast<double>(ink) / (pixels.width * pixels.height);
  EXPECT_GT(share, 0.02) << "almost nothing drawn";
  EXPECT_LT(share, 0.6) << "mostly dark: not a page of text and charts";
  EXPECT_GT(inkInTopQuarter, 1000u) << "the header and first charts are missing";
  EXPECT_GT(colours.size(), 50u);
}

bool HaveChromium() {
  return fs::exists("/usr/bin/chromium");
}

// The pixel check itself must fail on a page with nothing drawn.
TEST_F(ReportCommandTest, RenderCheckRejectsABlankPage) {
  if (!HaveChromium()) GTEST_SKIP() << "/usr/bin/chromium is not installed";
  const std::string blankHtml = Path("blank.html");
  std::ofstream(blankHtml) << "<!DOCTYPE html><html><body></body></html>\n";
  const std::string script = std::string(KNN_SOURCE_DIR) + "/scripts/render_report.sh";
  const std::string probePng = Path("probe.png");
  ASSERT_EQ(std::system(("sh '" + script + "' '" + blankHtml + "' '" + probePng + "'").c_str()), 0);
  Pixels probe;
  std::string why;
  if (!DecodePng(probePng, probe, why)) GTEST_SKIP() << "cannot decode the screenshot: " << why;
  ::testing::TestPartResultArray failures;
  {
    ::testing::ScopedFakeTestPartResultReporter intercept(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    ExpectRenderedPage(blankHtml, Path("blank.png"));
  }
  bool sawEmpty = false;
  for (int i = 0; i < failures.size(); ++i) {
    sawEmpty = sawEmpty ||
               std::string(failures.GetTestPartResult(i).message()).find("almost nothing drawn") !=
                   std::string::npos;
  }
  EXPECT_TRUE(sawEmpty) << failures.size() << " failure(s) reported for a blank page";
}

TEST_F(ReportCommandTest, FixtureReportRendersInHeadlessChromium) {
  if (!HaveChromium()) GTEST_SKIP() << "/usr/bin/chromium is not installed";
  for (const char* fixture : {"small-classification.pmml", "small-regression.pmml"}) {
    SCOPED_TRACE(fixture);
    const std::string html = Path(std::string(fixture) + ".html");
    ASSERT_EQ(Run({ReportFixture(fixture), "-o", html}), 0) << err_;
    ExpectRenderedPage(html, Path(std::string(fixture) + ".png"));
  }
}

TEST_F(ReportCommandTest, IrisModelReportRendersInHeadlessChromium) {
  if (!HaveChromium()) GTEST_SKIP() << "/usr/bin/chromium is not installed";
  const std::string source = KNN_SOURCE_DIR;
  const std::string settings = source + "/examples/iris/settings.xml";
  if (!fs::exists(settings)) GTEST_SKIP() << "examples/iris/settings.xml is not there yet";
  if (!fs::exists(KNN_CLI_PATH)) GTEST_SKIP() << "the knn program is not built";
  const std::string model = Path("iris.pmml");
  const std::string build = std::string("'") + KNN_CLI_PATH + "' build '" + settings + "' '" +
                            source + "/examples/iris/iris.csv' -o '" + model + "' --quiet";
  ASSERT_EQ(std::system(build.c_str()), 0) << build;
  ASSERT_EQ(Run({model, "-o", Path("iris.html")}), 0) << err_;
  const std::string html = ReadFile(Path("iris.html"));
  EXPECT_NE(html.find("<h3>Prediction quality</h3>"), std::string::npos);
  EXPECT_NE(html.find("class=\"cell diagonal\""), std::string::npos) << "no confusion matrix";
  ExpectRenderedPage(Path("iris.html"), Path("iris.png"));
}

}  // namespace
