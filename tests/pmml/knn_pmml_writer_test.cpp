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

std::string GoldenPath(const std::string& name) {
  return std::string(KNN_SOURCE_DIR) + "/tests/pmml/golden/" + name + ".pmml";
}

std::string Issues(const std::vector<knntest::SchemaIssue>& issues) {
  std::string text;
  for (const auto& issue : issues) text += std::to_string(issue.line) + ": " + issue.message + "\n";
  return text;
}

// Every test gets its own system temporary folder, so a leftover file shows up.
class DocumentTest : public ::testing::Test {
 protected:
  knntest::ScratchDir scratch;
  knntest::ScopedEnv tmpdir{"TMPDIR", scratch.Path().c_str()};

  // Builds the case and writes its document; fails the test when either step fails.
  std::string Document(const PmmlCase& c, const PMMLExportOptions* options = nullptr) {
    PmmlBuild build;
    const VelCommon::VelStatus built = build.Build(c.settingsXml, c.rows);
    EXPECT_FALSE(built.IsError()) << c.name << " build: " << built.GetErrorCode();
    std::string document;
    const VelCommon::VelStatus written = build.Write(document, options);
    EXPECT_TRUE(written.IsOK()) << c.name << " write: " << written.GetErrorCode();
    EXPECT_TRUE(scratch.Entries().empty()) << c.name << ": temporary files left";
    return document;
  }
};

// ---------------------------------------------------------------------------------------
// Golden documents

class GoldenDocumentTest : public DocumentTest, public ::testing::WithParamInterface<PmmlCase> {};

TEST_P(GoldenDocumentTest, MatchesTheCheckedDocumentByteForByte) {
  const PmmlCase& c = GetParam();
  PMMLExportOptions utf8;
  utf8.useUTF8 = true;
  const std::string document = Document(c, c.name == "non_ascii_utf8" ? &utf8 : nullptr);
  EXPECT_EQ(Issues(knntest::UntoleratedIssues(document)), "") << c.name;
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

// ---------------------------------------------------------------------------------------
// The two hand-worked examples

// The example documents, with their stand-in vendor names replaced by this writer's.
std::string Example(const std::string& file) {
  std::string text = knntest::ReadFile(std::string(KNN_SOURCE_DIR) + "/../shared/pmml/" + file);
  if (text.empty()) text = knntest::ReadFile("/work/shared/pmml/" + file);
  const auto replace = [&text](const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  };
  replace("\"Orin Model Settings\"", std::string("\"") + KNNPMML::kSettingsExtensionName + "\"");
  replace("\"Orin Models\"", std::string("\"") + KNNPMML::kModelsExtensionName + "\"");
  replace("extender=\"Orin\"", std::string("extender=\"") + KNNPMML::kExtenderName + "\"");
  return text;
}

// The example builds need a focal field that the examples leave out; everything else is
// compared part by part.
void CompareWithExample(const std::string& mine, const std::string& example,
                        const std::vector<std::string>& paths) {
  if (example.empty()) GTEST_SKIP() << "the example documents are not beside the checkout";
  for (const std::string& path : paths) {
    const bool optional = path == "/p:PMML/p:Extension";  // only the clustering example has it
    EXPECT_TRUE(optional || !knntest::SelectCanonical(example, path).empty()) << path;
    EXPECT_EQ(knntest::SelectCanonical(mine, path), knntest::SelectCanonical(example, path))
        << path;
  }
}

const std::vector<std::string> kExampleParts = {
    "/p:PMML/@*",
    "//p:MiningBuildTask//p:Parameter[@name!='FocalVar']",
    "//p:DataField[@name!='focal']",
    "//p:NearestNeighborModel/@*",
    "//p:NearestNeighborModel/*[local-name()!='TrainingInstances']",
    "//p:TrainingInstances/@recordCount",
    "//p:InstanceField[@field!='focal']",
    "//p:row/*[local-name()!='focal']",
    "/p:PMML/p:Extension",
};

TEST_F(DocumentTest, ReproducesTheClassificationExample) {
  knntest::ScopedCwd cwd(scratch.Path());  // the example's ".\temp" files land here
  const std::string mine = Document(knntest::ExampleClassificationCase());
  EXPECT_EQ(Issues(knntest::UntoleratedIssues(mine)), "");
  CompareWithExample(mine, Example("example-classification.xml"), kExampleParts);
}

TEST_F(DocumentTest, ReproducesTheClusteringExample) {
  knntest::ScopedCwd cwd(scratch.Path());
  const std::string mine = Document(knntest::ExampleClusteringCase());
  EXPECT_EQ(Issues(knntest::UntoleratedIssues(mine)), "");
  CompareWithExample(mine, Example("example-clustering.xml"), kExampleParts);
}

// ---------------------------------------------------------------------------------------
// Header and options

TEST_F(DocumentTest, HeaderFollowsTheOptions) {
  const PmmlCase c = knntest::ClusteringCityBlockCase();
  const std::string defaults = Document(c);
  EXPECT_EQ(knntest::SelectCanonical(defaults, "/p:PMML/p:Header"),
            std::string("<Header copyright=\"") + KNNPMML::kDefaultCopyright +
                "\"><Application name=\"NearestNeighbor\"/></Header>\n");

  PMMLExportOptions options;
  options.applicationName = "Host & Co";
  options.applicationVersion = "2.1";
  options.copyrightText = "(c) someone";
  const std::string given = Document(c, &options);
  EXPECT_EQ(knntest::SelectCanonical(given, "/p:PMML/p:Header"),
            "<Header copyright=\"(c) someone\"><Application name=\"Host &amp; Co\" "
            "version=\"2.1\"/></Header>\n");

  PMMLExportOptions empty;
  EXPECT_EQ(Document(c, &empty), defaults);  // empty texts mean the defaults
}

// Local names of the elements that xpath selects, in document order.
std::vector<std::string> ElementNames(const std::string& document, const std::string& xpath) {
  std::vector<std::string> names;
  std::istringstream lines(knntest::SelectCanonical(document, xpath));
  for (std::string line; std::getline(lines, line);) {
    const size_t end = line.find_first_of(" />", 1);
    names.push_back(line.substr(1, end - 1));
  }
  return names;
}

TEST_F(DocumentTest, RootCarriesTheNamespacesAndChildrenComeInDocumentOrder) {
  const std::string document = Document(knntest::TwoTargetsCase());
  EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PMML version=\"4.3\" "
                           "xmlns=\"http://www.dmg.org/PMML-4_3\" "
                           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                           "xsi:schemaLocation=\"http://www.dmg.org/PMML-4_3 pmml-4-3.xsd\">",
                           0),
            0u);
  EXPECT_EQ(ElementNames(document, "/p:PMML/*"),
            (std::vector<std::string>{"Header", "MiningBuildTask", "DataDictionary",
                                      "NearestNeighborModel", "NearestNeighborModel"}));
  const std::vector<std::string> modelChildren = {"Extension",
                                                  "MiningSchema",
                                                  "ModelStats",
                                                  "ModelExplanation",
                                                  "LocalTransformations",
                                                  "TrainingInstances",
                                                  "ComparisonMeasure",
                                                  "KNNInputs"};
  EXPECT_EQ(ElementNames(document, "/p:PMML/p:NearestNeighborModel[1]/*"), modelChildren);
  EXPECT_EQ(ElementNames(document, "/p:PMML/p:NearestNeighborModel[2]/*"), modelChildren);
  // Both models carry the same full training table.
  EXPECT_EQ(
      knntest::SelectCanonical(document, "/p:PMML/p:NearestNeighborModel[1]/p:TrainingInstances"),
      knntest::SelectCanonical(document, "/p:PMML/p:NearestNeighborModel[2]/p:TrainingInstances"));
}

// ---------------------------------------------------------------------------------------
// Field format text

TEST_F(DocumentTest, WellFormedFieldFormatIsCopiedAsMarkup) {
  const std::string document = Document(knntest::ClusteringCityBlockCase());
  EXPECT_EQ(knntest::SelectCanonical(document, "/p:PMML/*[last()]"),
            std::string("<Extension extender=\"") + KNNPMML::kExtenderName +
                "\" name=\"DataDictionaryFieldProperties\"><FieldFormats><FieldFormat "
                "field=\"spend\" decimals=\"2\"/></FieldFormats></Extension>\n");
}

TEST_F(DocumentTest, FieldFormatThatIsNotMarkupIsWrittenAsText) {
  PmmlCase c = knntest::ClusteringCityBlockCase();
  const std::string text = "<a>unclosed & \"odd\"";
  c.settingsXml = knntest::SettingsDoc()
                      .Continuous("CustNo", 1, 1000)
                      .Continuous("spend", 0, 500)
                      .Categorical("focal", {"0", "1"}, true)
                      .Inputs({"spend"})
                      .Param("CaseIDVar", "CustNo")
                      .Param("FocalVar", "focal")
                      .Param("TempFileDir", "")
                      .Param("SpecifiedK", 1)
                      .Param("fieldFormat", text)
                      .Xml();
  c.rows = {{1, 10, 0}, {2, 20, 0}, {3, 30, 0}};
  const std::string document = Document(c);
  ASSERT_TRUE(knntest::IsWellFormed(document));
  EXPECT_EQ(Issues(knntest::UntoleratedIssues(document)), "");
  // The text reads back exactly, as character data of the trailing extension.
  EXPECT_NE(knntest::SelectCanonical(document, "string(/p:PMML/p:Extension)").find(text),
            std::string::npos);
}

TEST_F(DocumentTest, EmptyFieldFormatLeavesNoTrailingExtension) {
  const std::string document = Document(knntest::RegressionMedianKSelectionCase());
  EXPECT_EQ(knntest::SelectCanonical(document, "/p:PMML/p:Extension"), "");
}

// ---------------------------------------------------------------------------------------
// UTF-8 and code-page output

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
  EXPECT_EQ(knntest::SelectCanonical(document, "//p:InstanceField[@column='field1']/@field"),
            "field=\"gr\xC3\xB6\xC3\x9F"
            "e\"\n");
  EXPECT_NE(document.find("<field1>8</field1>"), std::string::npos);
  EXPECT_NE(document.find("<farbe>na\xC3\xAFve</farbe>"), std::string::npos);
  // On this platform the code page is UTF-8: both writers give the same bytes.
  EXPECT_EQ(Document(c), document);
}

// ---------------------------------------------------------------------------------------
// Failures: nothing written, nothing left behind

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
  const PmmlCase c = knntest::ClassificationWithSelectionCase();
  ASSERT_FALSE(build.Build(c.settingsXml, c.rows).IsError());
  KNNAlgorithm* algorithm = build.Knn();
  ASSERT_NE(algorithm, nullptr);
  KNNModel unbuilt(algorithm->GetSettings(), algorithm->GetVarList(), nullptr,
                   algorithm->GetDataPreparation());
  KNNStopControl stop;
  std::ostringstream out;
  const VelCommon::VelStatus status =
      KNNWritePMML(*algorithm->GetSettings(), *algorithm->GetVarList(), unbuilt,
                   *algorithm->GetDataPreparation(), stop, out, nullptr);
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kNotBuilt);
  EXPECT_TRUE(out.str().empty());
}

TEST_F(FailureTest, TemporaryFolderThatCannotHoldFiles) {
  for (const std::string& directory : {scratch.Path() + "/missing/", std::string()}) {
    knntest::ScopedEnv badTmp("TMPDIR", (scratch.Path() + "/absent").c_str());
    PmmlBuild build;
    BuildWithTempDir(build, directory);
    std::string document;
    const VelCommon::VelStatus status = build.Write(document);
    EXPECT_EQ(status.GetErrorCode(), KNNStatus::kTempFileFailed) << directory;
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(document, "");
    EXPECT_TRUE(scratch.Entries().empty());
  }
}

TEST_F(FailureTest, InterruptWhileTheTrainingTableIsWritten) {
  PmmlBuild build;
  BuildWithTempDir(build, "");
  // The scoring pass asks once per case (8 cases), then the training table once per row:
  // the 10th answer stops the table at its second row.
  knn_test::CountingInterruptCheck check(10);
  build.Algorithm()->SetInterruptCheck(&check);
  std::string document;
  const VelCommon::VelStatus status = build.Write(document);
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(check.Questions(), 10);
  EXPECT_EQ(document, "");
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(FailureTest, InterruptDuringTheScoringPassFailsTheScoringTables) {
  PmmlBuild build;
  BuildWithTempDir(build, "");
  knn_test::CountingInterruptCheck check(3);
  build.Algorithm()->SetInterruptCheck(&check);
  std::string document;
  const VelCommon::VelStatus status = build.Write(document);
  EXPECT_EQ(status.GetErrorCode(), KNNStatus::kScoringTablesFailed);
  EXPECT_EQ(document, "");
  EXPECT_TRUE(scratch.Entries().empty());
}

// A temporary file that stops growing (the process may not write files past a size limit)
// fails the document with 200056. Runs in a child process so the limit stays there.
TEST_F(FailureTest, TemporaryFileThatFailsWhileRowsAreWritten) {
  PmmlBuild build;
  BuildWithTempDir(build, "");
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string document;
    const VelCommon::VelStatus status = build.Write(document);
    const bool ok = status.GetErrorCode() == KNNStatus::kStreamFailed && document.empty();
    _exit(ok ? 0 : 1);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0) << "the write did not fail with 200056 and no output";
  EXPECT_TRUE(scratch.Entries().empty());
}

TEST_F(FailureTest, ASecondWriteGivesTheSameDocument) {
  PmmlBuild build;
  BuildWithTempDir(build, "");
  std::string first;
  std::string second;
  ASSERT_TRUE(build.Write(first).IsOK());
  ASSERT_TRUE(build.Write(second).IsOK());
  EXPECT_EQ(first, second);
  EXPECT_TRUE(scratch.Entries().empty());
}

}  // namespace

namespace {

// Records the stage code of every report.
class StageRecorder : public IVelProgressListener {
 public:
  void Notify(ProgressReport* report) override {
    stages.push_back(report->DiscreteMeasure("ReportStage"));
  }
  std::vector<int> stages;
};

TEST_F(DocumentTest, WritingStagesAreReportedPerModelAndOnceForTheWholeDocument) {
  const PmmlCase c = knntest::TwoTargetsCase();
  PmmlBuild build;
  ASSERT_FALSE(build.Build(c.settingsXml, c.rows).IsError());
  StageRecorder recorder;
  build.Algorithm()->SetProgressListener(&recorder);
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  // writeOrigToDisk (9) and compDisSaveToDisk (10) per model, then writePMML (11).
  EXPECT_EQ(recorder.stages, (std::vector<int>{9, 10, 9, 10, 11}));

  recorder.stages.clear();
  PMMLExportOptions options;
  knntest::ScratchDir missing;
  knntest::ScopedEnv noTmp("TMPDIR", (missing.Path() + "/absent").c_str());
  EXPECT_TRUE(build.Write(document, &options).IsError());
  // The first model's training table never starts: nothing is reported as written.
  EXPECT_EQ(std::count(recorder.stages.begin(), recorder.stages.end(), 11), 0);
}

}  // namespace
