// Whole model documents: schema-valid, byte-for-byte stable for the golden builds, all or
// nothing on every failure, and never a temporary file left behind.
#include "pmml/knn_pmml_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "knn/progress_report.h"
#include "model/knn_model.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_cases.h"
#include "support/pmml_support.h"

namespace {

using knntest::PmmlBuild;
using knntest::PmmlCase;
using knntest::SelectCanonical;

std::string GoldenPath(const std::string& name) {
  return std::string(KNN_SOURCE_DIR) + "/tests/pmml/golden/" + name + ".pmml";
}

// Every test gets its own system temporary folder, so a leftover file shows up.
// PmmlBuild::Write validates every written document against the PMML schema.
class DocumentTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};

  std::string Document(const PmmlCase& c, const PMMLExportOptions* options = nullptr) {
    PmmlBuild build;
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
  PMMLExportOptions utf8;
  utf8.useUTF8 = true;
  const std::string document = Document(c, c.name == "non_ascii_utf8" ? &utf8 : nullptr);
  if (std::getenv("KNN_UPDATE_GOLDEN") != nullptr) {
    knntest::WriteFile(GoldenPath(c.name), document);
    GTEST_SKIP() << "golden rewritten: " << GoldenPath(c.name);
  }
  ASSERT_TRUE(knntest::FileExists(GoldenPath(c.name))) << GoldenPath(c.name);
  EXPECT_EQ(document, knntest::ReadFile(GoldenPath(c.name))) << c.name;
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

// The example documents, with their stand-in vendor names replaced by this writer's.
std::string Example(const std::string& file) {
  std::string text = knntest::ReadFile(std::string(KNN_SOURCE_DIR) + "/../shared/pmml/" + file);
  if (text.empty()) text = knntest::ReadFile("/work/shared/pmml/" + file);
  const std::pair<std::string, std::string> names[] = {
      {"\"Orin Model Settings\"", std::string("\"") + KNNPMML::kSettingsExtensionName + "\""},
      {"\"Orin Models\"", std::string("\"") + KNNPMML::kModelsExtensionName + "\""},
      {"extender=\"Orin\"", std::string("extender=\"") + KNNPMML::kExtenderName + "\""}};
  for (const auto& [from, to] : names) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// The example builds need a focal field that the examples leave out; everything else is
// compared part by part.
TEST_F(DocumentTest, ReproducesTheTwoExamples) {
  knntest::ScopedCwd cwd(scratch.Path());  // the examples' ".\temp" files land here
  const std::pair<PmmlCase, const char*> examples[] = {
      {knntest::ExampleClassificationCase(), "example-classification.xml"},
      {knntest::ExampleClusteringCase(), "example-clustering.xml"}};
  for (const auto& [c, file] : examples) {
    const std::string mine = Document(c);
    const std::string example = Example(file);
    if (example.empty()) GTEST_SKIP() << "the example documents are not beside the checkout";
    for (const char* path :
         {"/p:PMML/@*", "//p:MiningBuildTask//p:Parameter[@name!='FocalVar']",
          "//p:DataField[@name!='focal']", "//p:NearestNeighborModel/@*",
          "//p:NearestNeighborModel/*[local-name()!='TrainingInstances']",
          "//p:TrainingInstances/@recordCount", "//p:InstanceField[@field!='focal']",
          "//p:row/*[local-name()!='focal']", "/p:PMML/p:Extension"}) {
      // Only the clustering example has the trailing extension.
      EXPECT_TRUE(std::string(path) == "/p:PMML/p:Extension" ||
                  !SelectCanonical(example, path).empty())
          << file << path;
      EXPECT_EQ(SelectCanonical(mine, path), SelectCanonical(example, path)) << file << path;
    }
  }
}

TEST_F(DocumentTest, HeaderFollowsTheOptions) {
  const PmmlCase c = knntest::ClusteringCityBlockCase();
  const std::string defaults = Document(c);  // as in the goldens
  PMMLExportOptions options;
  options.applicationName = "Host & Co";
  options.applicationVersion = "2.1";
  options.copyrightText = "(c) someone";
  EXPECT_EQ(SelectCanonical(Document(c, &options), "/p:PMML/p:Header"),
            "<Header copyright=\"(c) someone\"><Application name=\"Host &amp; Co\" "
            "version=\"2.1\"/></Header>\n");
  PMMLExportOptions empty;
  EXPECT_EQ(Document(c, &empty), defaults);  // empty texts mean the defaults
}

// A well-formed field format goes in as markup, anything else as text that reads back
// exactly, and an empty one leaves no trailing extension.
TEST_F(DocumentTest, FieldFormatIsMarkupOnlyWhenWellFormed) {
  EXPECT_EQ(SelectCanonical(Document(knntest::ClusteringCityBlockCase()), "/p:PMML/*[last()]"),
            std::string("<Extension extender=\"") + KNNPMML::kExtenderName +
                "\" name=\"DataDictionaryFieldProperties\"><FieldFormats><FieldFormat "
                "field=\"spend\" decimals=\"2\"/></FieldFormats></Extension>\n");
  EXPECT_EQ(
      SelectCanonical(Document(knntest::RegressionMedianKSelectionCase()), "/p:PMML/p:Extension"),
      "");
  PmmlCase c = knntest::ClusteringCityBlockCase();
  const std::string text = "<a>unclosed & \"odd\"";
  const size_t from = c.settingsXml.find("<param name=\"fieldFormat\">") + 26;
  c.settingsXml.replace(from, c.settingsXml.find("</param>", from) - from,
                        knntest::XmlEscape(text));
  const std::string document = Document(c);
  ASSERT_TRUE(knntest::IsWellFormed(document));
  EXPECT_NE(SelectCanonical(document, "string(/p:PMML/p:Extension)").find(text), std::string::npos);
}

TEST_F(DocumentTest, NonAsciiNamesAndCategoriesSurviveInBothEncodings) {
  const PmmlCase c = knntest::NonAsciiCase();
  PMMLExportOptions utf8;
  utf8.useUTF8 = true;
  const std::string document = Document(c, &utf8);
  EXPECT_NE(document.find("<DataField name=\"gr\xC3\xB6\xC3\x9F"
                          "e\""),
            std::string::npos);
  EXPECT_NE(document.find("<Value value=\"caf\xC3\xA9\" property=\"valid\"/>"), std::string::npos);
  // A non-ASCII name cannot name a column: "field" and the variable's index.
  EXPECT_EQ(SelectCanonical(document, "//p:InstanceField[@column='field1']/@field"),
            "field=\"gr\xC3\xB6\xC3\x9F"
            "e\"\n");
  EXPECT_NE(document.find("<field1>8</field1>"), std::string::npos);
  EXPECT_NE(document.find("<farbe>na\xC3\xAFve</farbe>"), std::string::npos);
  // On this platform the code page is UTF-8: both writers give the same bytes.
  EXPECT_EQ(Document(c), document);
}

// Failures: nothing written, nothing left behind.
class FailureTest : public DocumentTest {
 protected:
  // Builds the classification case with the given temporary folder text.
  void BuildWithTempDir(PmmlBuild& build, const std::string& directory) {
    PmmlCase c = knntest::ClassificationWithSelectionCase();
    const std::string from = "<param name=\"TempFileDir\"></param>";
    const size_t at = c.settingsXml.find(from);
    ASSERT_NE(at, std::string::npos) << c.settingsXml;
    c.settingsXml.replace(
        at, from.size(),
        "<param name=\"TempFileDir\">" + knntest::XmlEscape(directory) + "</param>");
    ASSERT_FALSE(build.Build(c.settingsXml, c.rows).IsError());
  }
};

TEST_F(FailureTest, NotBuiltWritesNothing) {
  PmmlBuild build;
  ASSERT_NO_FATAL_FAILURE(BuildWithTempDir(build, ""));
  KNNAlgorithm* algorithm = build.Knn();
  KNNModel unbuilt(algorithm->GetSettings(), algorithm->GetVarList(), nullptr,
                   algorithm->GetDataPreparation());
  KNNStopControl stop;
  std::ostringstream out;
  EXPECT_EQ(KNNWritePMML(*algorithm->GetSettings(), *algorithm->GetVarList(), unbuilt,
                         *algorithm->GetDataPreparation(), stop, out, nullptr)
                .GetErrorCode(),
            KNNStatus::kNotBuilt);
  EXPECT_TRUE(out.str().empty());
}

TEST_F(FailureTest, TemporaryFolderThatCannotHoldFiles) {
  for (const std::string& directory : {scratch.Path() + "/missing/", std::string()}) {
    knntest::ScopedEnv badTmp("TMPDIR", (scratch.Path() + "/absent").c_str());
    PmmlBuild build;
    ASSERT_NO_FATAL_FAILURE(BuildWithTempDir(build, directory));
    std::string document;
    const VelCommon::VelStatus status = build.Write(document);  // checks the stream is empty
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kTempFileFailed) << directory;
    EXPECT_TRUE(status.IsError());
    EXPECT_TRUE(scratch.Entries().empty());
  }
}

// The scoring pass asks once per case (8 cases), then the training table once per row: the
// 10th answer stops the table at its second row, the 3rd stops the scoring pass.
TEST_F(FailureTest, InterruptDuringTheScoringPassOrTheTrainingTable) {
  const struct {
    int stopAt;
    int code;
  } cases[] = {{10, KNNStatus::kInterrupted}, {3, KNNStatus::kScoringTablesFailed}};
  for (const auto& c : cases) {
    PmmlBuild build;
    ASSERT_NO_FATAL_FAILURE(BuildWithTempDir(build, ""));
    knn_test::CountingInterruptCheck check(c.stopAt);
    build.Algorithm()->SetInterruptCheck(&check);
    std::string document;
    EXPECT_EQ(build.Write(document).GetErrorCode(), c.code) << c.stopAt;
    EXPECT_EQ(check.Questions(), c.stopAt);
    EXPECT_TRUE(scratch.Entries().empty());
  }
}

// A temporary file that stops growing (the process may not write files past a size limit)
// fails the document with 200056. Runs in a child process so the limit stays there.
TEST_F(FailureTest, TemporaryFileThatFailsWhileRowsAreWritten) {
  PmmlBuild build;
  ASSERT_NO_FATAL_FAILURE(BuildWithTempDir(build, ""));
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::ostringstream out;
    const VelCommon::VelStatus status = build.Algorithm()->WritePMML(out, nullptr);
    _exit(status.GetErrorCode() == KNNStatus::kStreamFailed && out.str().empty() ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0) << "the write did not fail with 200056 and no output";
  EXPECT_TRUE(scratch.Entries().empty());
}

// Records the stage code of every report.
class StageRecorder : public IVelProgressListener {
 public:
  void Notify(ProgressReport* report) override {
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> stages;
};

TEST_F(DocumentTest, StagesAreReportedPerModelAndASecondWriteGivesTheSameDocument) {
  const PmmlCase c = knntest::TwoTargetsCase();
  PmmlBuild build;
  ASSERT_FALSE(build.Build(c.settingsXml, c.rows).IsError());
  StageRecorder recorder;
  build.Algorithm()->SetProgressListener(&recorder);
  std::string first;
  std::string second;
  ASSERT_TRUE(build.Write(first).IsOK());
  // writeOrigToDisk (9) and compDisSaveToDisk (10) per model, then writePMML (11).
  EXPECT_EQ(recorder.stages, (std::vector<int>{9, 10, 9, 10, 11}));
  ASSERT_TRUE(build.Write(second).IsOK());
  EXPECT_EQ(first, second);

  recorder.stages.clear();
  knntest::ScratchDir missing;
  knntest::ScopedEnv noTmp("TMPDIR", (missing.Path() + "/absent").c_str());
  EXPECT_TRUE(build.Write(second).IsError());
  // The first model's training table never starts: nothing is reported as written.
  EXPECT_EQ(std::count(recorder.stages.begin(), recorder.stages.end(), 11), 0);
}

}  // namespace
