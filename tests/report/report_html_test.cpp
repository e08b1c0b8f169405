#include "report/report_html.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "report/report.h"
#include "report/svg_format.h"
#include "report/svg_test_support.h"

namespace knnreport {
namespace {

using testing::ParseSvg;
using testing::ReportFixture;
using testing::SvgFragments;

std::string Report(const std::string& fixture) {
  std::ostringstream html;
  std::string error;
  EXPECT_TRUE(WriteHtmlReport(ReportFixture(fixture), html, error)) << error;
  return html.str();
}

// The text of the section that starts at `heading` and ends at the next <h3> or </section>.
std::string Section(const std::string& html, const std::string& heading) {
  const std::size_t start = html.find(heading);
  if (start == std::string::npos) return "";
  std::size_t end = std::min(html.find("<h3>", start + heading.size()),
                             html.find("</section>", start + heading.size()));
  return html.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Golden reports: the whole page, byte for byte. Set KNN_UPDATE_GOLDEN=1 to rewrite them
// after a deliberate change, then review the diff and the rendered page.
class GoldenReportTest : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenReportTest, MatchesTheReviewedPage) {
  const std::string fixture = GetParam();
  const std::string name = std::filesystem::path(fixture).stem().string() + ".html";
  const std::string goldenPath = std::string(KNN_SOURCE_DIR) + "/tests/report/golden/" + name;
  const std::string actual = Report(fixture);
  const char* update = std::getenv("KNN_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::ofstream(goldenPath, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << goldenPath;
  }
  const std::string expected = testing::ReadFile(goldenPath);
  ASSERT_FALSE(expected.empty()) << "missing golden file " << goldenPath;
  if (actual != expected) {
    const auto actualPath = std::filesystem::temp_directory_path() / ("actual-" + name);
    std::ofstream(actualPath, std::ios::binary) << actual;
    std::size_t line = 1;
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) {
      line += actual[i] == '\n' ? 1 : 0;
      ++i;
    }
    FAIL() << name << " differs from the golden page from line " << line << "; actual written to "
           << actualPath;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenReportTest,
                         ::testing::Values("small-classification.pmml", "small-regression.pmml"));

TEST(ReportHtmlTest, PageIsSelfContainedAndPrintable) {
  for (const char* fixture : {"small-classification.pmml", "small-regression.pmml"}) {
    SCOPED_TRACE(fixture);
    const std::string html = Report(fixture);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("@media print"), std::string::npos);
    for (const char* external : {"<script", "<img", "<link", "@import", " src="}) {
      EXPECT_EQ(html.find(external), std::string::npos) << external;
    }
    // The only URLs are the SVG namespace and fragment references inside the page.
    const std::regex url("(https?:|ftp:|file:|//)[^\"' )<]*");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), url);
         it != std::sregex_iterator(); ++it) {
      EXPECT_EQ(it->str(), "http://www.w3.org/2000/svg");
    }
    for (std::size_t at = html.find("url("); at != std::string::npos;
         at = html.find("url(", at + 1)) {
      EXPECT_EQ(html.compare(at, 5, "url(#"), 0);
    }
    const auto charts = SvgFragments(html);
    ASSERT_GE(charts.size(), 4u);
    std::set<std::string> ids;  // pattern ids stay unique across the page
    for (const auto& svg : charts) {
      const auto parsed = ParseSvg(svg);
      EXPECT_TRUE(parsed.ok);
      for (const auto& e : parsed.elements) {
        const auto id = e.attributes.find("id");
        if (id != e.attributes.end()) {
          EXPECT_TRUE(ids.insert(id->second).second) << id->second;
        }
      }
    }
  }
}

TEST(ReportHtmlTest, ClassificationKChoiceConfusionsAndEscaping) {
  const std::string html = Report("small-classification.pmml");
  // K = 3 has the lowest error (0.125); the best other K is 2 with 0.25.
  const std::string k = Section(html, "<h3>Choice of K</h3>");
  EXPECT_NE(k.find("The next best, K = 2, had 0.25 (0.125 higher)."), std::string::npos) << k;
  const auto chart = ParseSvg(SvgFragments(k).at(0));
  ASSERT_EQ(chart.WithClass("mark").size(), 4u);
  ASSERT_EQ(chart.WithClass("rule").size(), 1u);
  EXPECT_NEAR(chart.WithClass("rule")[0].Number("x1"), chart.WithClass("mark")[2].Number("cx"),
              0.01);
  // 7 of 8 correct; class b has 2 of 3; one b case went to "type c".
  const std::string quality = Section(html, "<h3>Prediction quality</h3>");
  EXPECT_NE(quality.find("87.5% of 8 training cases were classified correctly."),
            std::string::npos);
  EXPECT_NE(quality.find("<li>b &#8594; type c: 1 case(s)</li>"), std::string::npos);
  const auto heat = ParseSvg(SvgFragments(quality).at(0));
  EXPECT_EQ(heat.WithClass("cell").size(), 9u);
  std::vector<std::string> recall;
  for (const auto& e : heat.WithClass("side-text")) recall.push_back(e.text);
  EXPECT_EQ(recall, (std::vector<std::string>{"100%", "66.7%", "100%"}));
  // Nearest distances 0.05 .. 0.3, median of the 8 values (0.1 and 0.15) = 0.125.
  EXPECT_NE(html.find("lies between 0.05 and 0.3 (median 0.125)"), std::string::npos);
  // Importance without weights: one bar per feature, no weight column.
  const std::string importance = Section(html, "<h3>Feature importance and weights</h3>");
  EXPECT_EQ(ParseSvg(SvgFragments(importance).at(0)).WithClass("bar").size(), 2u);
  EXPECT_EQ(importance.find("<th>Weight</th>"), std::string::npos);
  // Document text is escaped wherever it appears.
  EXPECT_NE(html.find("<td>Width &amp; &lt;height&gt;</td>"), std::string::npos);
  EXPECT_EQ(html.find("<height>"), std::string::npos);
  EXPECT_EQ(html.find("<test>"), std::string::npos);
}

TEST(ReportHtmlTest, RegressionCombinedSelectionImportanceOrderAndResiduals) {
  const std::string html = Report("small-regression.pmml");
  EXPECT_EQ(html.find("<h3>Choice of K</h3>"), std::string::npos)
      << "a combined selection is shown once, as the choice of K and features";
  const std::string both = Section(html, "<h3>Choice of K and features</h3>");
  // K = 3 ends at 65.25, K = 2 at 80.25.
  EXPECT_NE(both.find("The next best, K = 2, ended at 80.25 (15 higher)."), std::string::npos);
  const auto chart = ParseSvg(SvgFragments(both).at(0));
  const auto lines = chart.WithClass("series");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_GT(lines[1].Number("stroke-width"), lines[0].Number("stroke-width"));
  EXPECT_EQ(chart.WithClass("special").size(), 2u) << "the forced set of each K";
  // Step table of the chosen K, with the change each step made.
  EXPECT_NE(both.find("<td>f3</td><td class=\"num\">70.5</td><td class=\"num\">-39.5</td>"),
            std::string::npos);
  // Importance follows the selection order f1, f3, f2, not the schema order f1, f2, f3.
  const std::string importance = Section(html, "<h3>Feature importance and weights</h3>");
  const std::size_t f1 = importance.find("<td>f1</td>");
  const std::size_t f3 = importance.find("<td>f3</td>");
  const std::size_t f2 = importance.find("<td>f2</td>");
  ASSERT_NE(f2, std::string::npos);
  EXPECT_LT(f1, f3);
  EXPECT_LT(f3, f2);
  EXPECT_EQ(ParseSvg(SvgFragments(importance).at(0)).WithClass("bar").size(), 6u);
  // Residuals actual - prediction3: -15 -10 5 5 20 25; SSE 1400, RMSE sqrt(1400 / 6).
  const std::string quality = Section(html, "<h3>Prediction quality</h3>");
  EXPECT_NE(
      quality.find("1,400 (root mean square error " + FormatNumber(std::sqrt(1400.0 / 6)) + ")"),
      std::string::npos);
  EXPECT_NE(quality.find("Mean residual 5 over 6 cases."), std::string::npos);
  const auto bins = ParseSvg(SvgFragments(quality).at(0)).WithClass("bin");
  ASSERT_FALSE(bins.empty());
  const double unit = bins[0].Number("height") / 2.0;  // the first bin holds -15 and -10
  std::size_t binned = 0;
  for (const auto& bin : bins) binned += std::lround(bin.Number("height") / unit);
  EXPECT_EQ(binned, 6u);
  EXPECT_NE(html.find("2 case(s) have an exact duplicate."), std::string::npos);
}

TEST(ReportHtmlTest, SaysWhatIsMissing) {
  ReportDocument bare;
  bare.models.emplace_back();
  bare.models[0].functionName = "clustering";
  bare.otherElements.push_back("TreeModel");
  std::ostringstream out;
  WriteReportHtml(bare, "bare.pmml", out);
  const std::string page = out.str();
  for (const char* note : {"The document has no data dictionary.", "The model has no target",
                           "The document has no neighbour table for this model.",
                           "Not shown in this report: TreeModel.",
                           "<th>Distance</th><td><span class=\"missing\">not recorded</span>"}) {
    EXPECT_NE(page.find(note), std::string::npos) << note;
  }
  ReportDocument empty;
  empty.rootName = "PMML";
  std::ostringstream none;
  WriteReportHtml(empty, "empty.pmml", none);
  EXPECT_NE(none.str().find("The document holds no nearest-neighbour model."), std::string::npos);
}

}  // namespace
}  // namespace knnreport
