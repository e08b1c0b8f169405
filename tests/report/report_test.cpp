// knn report as a command: arguments, one-line errors and exit codes, the page written
// whole where asked, and the page as a real browser renders it.
#include "report/report.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "report/svg_test_support.h"

#if __has_include(<png.h>)
#include <png.h>
#endif

namespace {

namespace fs = std::filesystem;
using knnreport::testing::ReportFixture;

class ReportCommandTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  std::string out, err;

  std::string Path(const std::string& name) const { return scratch.Path() + "/" + name; }
  // Runs the command, keeping what it printed.
  int Run(const std::vector<std::string>& args) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = RunReportCommand(args);
    out = ::testing::internal::GetCapturedStdout();
    err = ::testing::internal::GetCapturedStderr();
    return code;
  }
};

TEST_F(ReportCommandTest, BadArgumentsAndFilesExitWithOneLine) {
  const std::string good = ReportFixture("small-regression.pmml");
  knntest::WriteFile(Path("broken.pmml"), "<PMML><Header></PMML>");
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
    EXPECT_EQ(err.rfind("knn report: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(out.empty());
  }
  EXPECT_FALSE(fs::exists(Path("out.html")));
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.find("usage: knn report MODEL.pmml [-o REPORT.html]"), std::string::npos);
}

TEST_F(ReportCommandTest, WritesTheReportWholeWhereAsked) {
  const std::string model = ReportFixture("small-classification.pmml");
  std::ostringstream direct;
  std::string error;
  ASSERT_TRUE(WriteHtmlReport(model, direct, error));
  // An old, longer report is replaced whole, and no temporary file is left behind.
  knntest::WriteFile(Path("r.html"), std::string(500000, 'x'));
  ASSERT_EQ(Run({model, "-o", Path("r.html")}), 0) << err;
  EXPECT_EQ(knntest::ReadFile(Path("r.html")), direct.str());
  EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"r.html"});
  ASSERT_EQ(Run({model, "-o", "-"}), 0);  // standard output, with nothing else on it
  EXPECT_EQ(out, direct.str());
  // By default beside the model, named after it.
  fs::copy_file(model, Path("model.pmml"));
  ASSERT_EQ(Run({Path("model.pmml")}), 0) << err;
  EXPECT_EQ(knntest::ReadFile(Path("model.html")).rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(err.find(Path("model.html")), std::string::npos);
}

// Renders html with headless Chromium: a rendered page has ink on a fair share of it and
// many colours; a blank or failed one is flat. libpng is loaded at run time (no link need).
void ExpectRenderedPage(const std::string& html, const std::string& png) {
  const std::string command = "sh '" + std::string(KNN_SOURCE_DIR) +
                              "/scripts/render_report.sh' '" + html + "' '" + png + "' 1200,3000";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
#ifdef PNG_IMAGE_VERSION
  void* library = dlopen("libpng16.so.16", RTLD_NOW | RTLD_LOCAL);
  if (!library) GTEST_SKIP() << "libpng16 is not installed";
  const auto begin = reinterpret_cast<decltype(&png_image_begin_read_from_file)>(
      dlsym(library, "png_image_begin_read_from_file"));
  const auto finish =
      reinterpret_cast<decltype(&png_image_finish_read)>(dlsym(library, "png_image_finish_read"));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(begin && finish && begin(&image, png.c_str())) << png;
  image.format = PNG_FORMAT_RGB;
  rgb.resize(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(finish(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  dlclose(library);
  ASSERT_EQ(image.width, 1200u);
  ASSERT_GT(image.height, 1000u);
  std::size_t ink = 0, inkInTopQuarter = 0;
  std::set<unsigned> colours;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    const unsigned r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
    ink += r + g + b < 700;
    inkInTopQuarter += r + g + b < 700 && i / 3 / image.width < image.height / 4;
    if (colours.size() < 5000) colours.insert((r << 16) | (g << 8) | b);
  }
  const double share = static_cast<double>(ink) / (image.width * image.height);
  EXPECT_GT(share, 0.02) << "almost nothing drawn";
  EXPECT_LT(share, 0.6) << "mostly dark: not a page of text and charts";
  EXPECT_GT(inkInTopQuarter, 1000u) << "the header and first charts are missing";
  EXPECT_GT(colours.size(), 50u);
#else
  GTEST_SKIP() << "png.h is not installed";
#endif
}

// The fixtures and a report of a real model built by the knn program.
TEST_F(ReportCommandTest, ReportsRenderInHeadlessChromium) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "/usr/bin/chromium is not installed";
  const std::string build = "'" KNN_CLI_PATH "' build '" KNN_SOURCE_DIR
                            "/examples/iris/settings.xml' '" KNN_SOURCE_DIR
                            "/examples/iris/iris.csv' -o '" +
                            Path("iris.pmml") + "' --quiet";
  ASSERT_EQ(std::system(build.c_str()), 0) << build;
  for (const std::string& model : {ReportFixture("small-classification.pmml"),
                                   ReportFixture("small-regression.pmml"), Path("iris.pmml")}) {
    SCOPED_TRACE(model);
    const std::string html = Path(fs::path(model).stem().string() + ".html");
    ASSERT_EQ(Run({model, "-o", html}), 0) << err;
    ExpectRenderedPage(html, html + ".png");
  }
  EXPECT_NE(knntest::ReadFile(Path("iris.html")).find("class=\"cell diagonal\""), std::string::npos)
      << "no confusion matrix";
}

}  // namespace
