#include "report/report_html.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "report/report.h"
#include "report/svg_format.h"
#include "report/svg_test_support.h"

namespace knnreport {
namespace {

std::string Report(const std::string& fixture) {
  std::ostringstream html;
  std::string error;
  EXPECT_TRUE(WriteHtmlReport(testing::ReportFixture(fixture), html, error)) << error;
  return html.str();
}

// Golden reports: the whole page, byte for byte. Set KNN_UPDATE_GOLDEN=1 to rewrite them
// after a deliberate change, then review the diff and the rendered page.
TEST(ReportHtmlTest, MatchesTheReviewedGoldenPages) {
  const char* update = std::getenv("KNN_UPDATE_GOLDEN");
  for (const std::string fixture : {"small-classification", "small-regression"}) {
    const std::string golden = KNN_SOURCE_DIR "/tests/report/golden/" + fixture + ".html";
    const std::string actual = Report(fixture + ".pmml");
    if (update && std::string(update) == "1") knntest::WriteFile(golden, actual);
    const std::string expected = knntest::ReadFile(golden);
    ASSERT_FALSE(expected.empty()) << "missing golden file " << golden;
    if (actual == expected) continue;
    const std::string saved = (std::filesystem::temp_directory_path() / (fixture + ".html"));
    knntest::WriteFile(saved, actual);
    const auto a =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first;
    ADD_FAILURE() << fixture << " differs from the golden page from line "
                  << 1 + std::count(actual.begin(), a, '\n') << "; actual written to " << saved;
  }
}

// The facts below are worked out by hand from the fixtures, so that the goldens cannot
// quietly hold a wrong figure.
TEST(ReportHtmlTest, HandCheckedFiguresAndEscaping) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"small-classification.pmml",
       {// K = 3 has the lowest error (0.125); the best other K is 2 with 0.25.
        "The next best, K = 2, had 0.25 (0.125 higher).",
        // 7 of 8 correct; one b case went to "type c".
        "87.5% of 8 training cases were classified correctly.",
        "<li>b &#8594; type c: 1 case(s)</li>",
        // Nearest distances 0.05 .. 0.3, the middle two of 8 are 0.1 and 0.15.
        "lies between 0.05 and 0.3 (median 0.125)", "<td>Width &amp; &lt;height&gt;</td>"}},
      {"small-regression.pmml",
       {// K = 3 ends at 65.25, K = 2 at 80.25; f3 was the step that took 110 down to 70.5.
        "The next best, K = 2, ended at 80.25 (15 higher).",
        "<td>f3</td><td class=\"num\">70.5</td><td class=\"num\">-39.5</td>",
        // Residuals actual - prediction: -15 -10 5 5 20 25: SSE 1400, RMSE sqrt(1400 / 6).
        "1,400 (root mean square error " + FormatNumber(std::sqrt(1400.0 / 6)) + ")",
        "Mean residual 5 over 6 cases.", "2 case(s) have an exact duplicate."}}};
  for (const auto& [fixture, sentences] : cases) {
    const std::string html = Report(fixture);
    for (const std::string& sentence : sentences) {
      EXPECT_NE(html.find(sentence), std::string::npos) << fixture << ": " << sentence;
    }
    EXPECT_EQ(html.find("<height>"), std::string::npos);
  }
}

TEST(ReportHtmlTest, SaysWhatIsMissing) {
  ReportDocument bare;
  bare.models.emplace_back();
  bare.models[0].functionName = "clustering";
  bare.otherElements.push_back("TreeModel");
  std::ostringstream page, none;
  WriteReportHtml(bare, "bare.pmml", page);
  for (const char* note : {"The document has no data dictionary.", "The model has no target",
                           "The document has no neighbour table for this model.",
                           "Not shown in this report: TreeModel.",
                           "<th>Distance</th><td><span class=\"missing\">not recorded</span>"}) {
    EXPECT_NE(page.str().find(note), std::string::npos) << note;
  }
  ReportDocument empty;
  empty.rootName = "PMML";
  WriteReportHtml(empty, "empty.pmml", none);
  EXPECT_NE(none.str().find("The document holds no nearest-neighbour model."), std::string::npos);
}

}  // namespace
}  // namespace knnreport
