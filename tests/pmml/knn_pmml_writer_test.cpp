// Whole model documents: schema-valid (PmmlBuild::Write validates every document it writes),
// byte-for-byte stable for the golden builds, all or nothing on every failure, and never a
// temporary file left behind.
#include "pmml/knn_pmml_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "knn/progress_report.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_cases.h"
#include "support/pmml_support.h"

namespace {

using knntest::PmmlCase;
using knntest::SelectCanonical;

// Every test gets its own system temporary folder, so a leftover file shows up.
class DocumentTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};

  std::string Document(const PmmlCase& c, const PMMLExportOptions* options = nullptr) {
    knntest::PmmlBuild build;
    EXPECT_FALSE(build.Build(c.settingsXml, c.rows).IsError()) << c.name;
    std::string document;
    EXPECT_TRUE(build.Write(document, options).IsOK()) << c.name;
    EXPECT_TRUE(scratch.Entries().empty()) << c.name << ": temporary files left";
    return document;
  }
};

class GoldenDocumentTest : public DocumentTest, public ::testing::WithParamInterface<PmmlCase> {};

TEST_P(GoldenDocumentTest, MatchesTheCheckedDocumentByteForByte) {
  const PmmlCase& c = GetParam();
  const std::string path = std::string(KNN_SOURCE_DIR) + "/tests/pmml/golden/" + c.name + ".pmml";
  PMMLExportOptions utf8;
  utf8.useUTF8 = true;
  const std::string document = Document(c, c.name == "non_ascii_utf8" ? &utf8 : nullptr);
  if (std::getenv("KNN_UPDATE_GOLDEN") != nullptr) {
    knntest::WriteFile(path, document);
    GTEST_SKIP() << "golden rewritten: " << path;
  }
  ASSERT_TRUE(knntest::FileExists(path)) << path;
  EXPECT_EQ(document, knntest::ReadFile(path));
}

INSTANTIATE_TEST_SUITE_P(Builds, GoldenDocumentTest, ::testing::ValuesIn(knntest::GoldenCases()),
                         [](const auto& info) { return info.param.name; });

// The goldens' neighbours, distances, predictions, probabilities, confusion counts and errors
// are recomputed by brute force, outside the component, by a script beside them.
TEST(GoldenDocuments, AgreeWithAnIndependentRecomputation) {
  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
  const std::string command = std::string("/usr/bin/python3 ") + KNN_SOURCE_DIR +
                              "/tests/pmml/golden/verify_goldens.py > /dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << "run " << command << " to see the differences";
}

// The two hand-worked example documents, with their stand-in vendor names replaced by this
// writer's, compared part by part (the example builds need a focal field they leave out).
TEST_F(DocumentTest, ReproducesTheTwoExamples) {
  knntest::ScopedCwd cwd(scratch.Path());  // the examples' ".\temp" files land here
  const std::pair<PmmlCase, const char*> examples[] = {
      {knntest::ExampleClassificationCase(), "example-classification.xml"},
      {knntest::ExampleClusteringCase(), "example-clustering.xml"}};
  for (const auto& [c, file] : examples) {
    std::string example =
        knntest::ReadFile(std::string(KNN_SOURCE_DIR) + "/../shared/pmml/" + file);
    if (example.empty()) GTEST_SKIP() << "the example documents are not beside the checkout";
    for (const auto& [from, to] : {std::pair<std::string, std::string>{
                                       "\"Orin Model Settings\"", KNNPMML::kSettingsExtensionName},
                                   {"\"Orin Models\"", KNNPMML::kModelsExtensionName},
                                   {"extender=\"Orin\"", KNNPMML::kExtenderName}}) {
      const std::string replacement = from.substr(0, from.find('"') + 1) + to + "\"";
      for (size_t at = example.find(from); at != std::string::npos;
           at = example.find(from, at + replacement.size())) {
        example.replace(at, from.size(), replacement);
      }
    }
    const std::string mine = Document(c);
    for (const std::string path :
         {"/p:PMML/@*", "//p:MiningBuildTask//p:Parameter[@name!='FocalVar']",
          "//p:DataField[@name!='focal']", "//p:NearestNeighborModel/@*",
          "//p:NearestNeighborModel/*[local-name()!='TrainingInstances']",
          "//p:TrainingInstances/@recordCount", "//p:InstanceField[@field!='focal']",
          "//p:row/*[local-name()!='focal']", "/p:PMML/p:Extension"}) {
      // Only the clustering example has the trailing extension.
      EXPECT_TRUE(path == "/p:PMML/p:Extension" || !SelectCanonical(example, path).empty());
      EXPECT_EQ(SelectCanonical(mine, path), SelectCanonical(example, path)) << file << path;
    }
  }
}

TEST_F(DocumentTest, HeaderFollowsTheOptionsAndAFieldFormatThatIsNotMarkupIsText) {
  PmmlCase c = knntest::ClusteringCityBlockCase();
  PMMLExportOptions options, empty;
  options.applicationName = "Host & Co";
  options.applicationVersion = "2.1";
  options.copyrightText = "(c) someone";
  EXPECT_EQ(SelectCanonical(Document(c, &options), "/p:PMML/p:Header"),
            "<Header copyright=\"(c) someone\"><Application name=\"Host &amp; Co\" "
            "version=\"2.1\"/></Header>\n");
  EXPECT_EQ(Document(c, &empty), Document(c));  // empty texts mean the defaults

  const std::string text = "<a>unclosed & \"odd\"";
  const size_t from = c.settingsXml.find("<param name=\"fieldFormat\">") + 26;
  c.settingsXml.replace(from, c.settingsXml.find("</param>", from) - from,
                        knntest::XmlEscape(text));
  EXPECT_NE(SelectCanonical(Document(c), "string(/p:PMML/p:Extension)").find(text),
            std::string::npos);
}

struct StageRecorder : IVelProgressListener {
  void Notify(ProgressReport* report) override {
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> stages;
};

// Failures, all or nothing: a temporary folder that cannot hold files, or an interrupt. The
// scoring pass asks once per case (8 cases), then the training table once per row, so the
// 10th answer stops the table at its second row and the 3rd stops the scoring pass. A failed
// write never reports the document as written; a good one reports writeOrigToDisk (9) and
// compDisSaveToDisk (10) per model, then writePMML (11), and a second write is the same.
TEST_F(DocumentTest, FailuresWriteNothingAndLeaveNothing) {
  const struct {
    std::string directory;
    const char* tmpdir;  // below the scratch folder
    int stopAt, code;
  } cases[] = {{scratch.Path() + "/missing/", "/absent", 1000, KNNStatus::kTempFileFailed},
               {"", "/absent", 1000, KNNStatus::kTempFileFailed},
               {"", "", 10, KNNStatus::kInterrupted},
               {"", "", 3, KNNStatus::kScoringTablesFailed},
               {"", "", 1000, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.directory << c.tmpdir << " " << c.stopAt);
    knntest::ScopedEnv tmp("TMPDIR", (scratch.Path() + c.tmpdir).c_str());
    PmmlCase built = knntest::ClassificationWithSelectionCase();
    const std::string from = "<param name=\"TempFileDir\"></param>";
    const size_t at = built.settingsXml.find(from);
    ASSERT_NE(at, std::string::npos);
    built.settingsXml.replace(
        at, from.size(),
        "<param name=\"TempFileDir\">" + knntest::XmlEscape(c.directory) + "</param>");
    knntest::PmmlBuild build;
    ASSERT_FALSE(build.Build(built.settingsXml, built.rows).IsError());
    knn_test::CountingInterruptCheck check(c.stopAt);
    StageRecorder recorder;
    build.Algorithm()->SetInterruptCheck(&check);
    build.Algorithm()->SetProgressListener(&recorder);
    std::string document, again;
    const VelCommon::VelStatus status = build.Write(document);  // checks the stream is empty
    EXPECT_EQ(status.GetErrorCode(), c.code);
    EXPECT_TRUE(c.stopAt == 1000 || check.Questions() == c.stopAt) << check.Questions();
    EXPECT_TRUE(scratch.Entries().empty());
    if (c.code != 0) {
      EXPECT_EQ(std::count(recorder.stages.begin(), recorder.stages.end(), 11), 0);
      continue;
    }
    EXPECT_EQ(recorder.stages, (std::vector<int>{9, 10, 11}));
    ASSERT_TRUE(build.Write(again).IsOK());
    EXPECT_EQ(again, document);
  }
}

}  // namespace
