// The build settings written back into the document's MiningBuildTask.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "pmml/knn_pmml_writer.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_support.h"

namespace {

using knntest::CompactText;
using knntest::PmmlBuild;
using knntest::SettingsDoc;

SettingsDoc EchoDoc() {
  return SettingsDoc()
      .Continuous("id", 1, 1000)
      .Continuous("x1", 0, 10)
      .Continuous("x2", 0, 10)
      .Categorical("fold", {"0", "1"}, true)
      .Categorical("focal", {"0", "1"}, true)
      .Categorical("y", {"a", "b"})
      .Target("y")
      .Inputs({"x1", "x2"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Param("TempFileDir", "");
}

const std::vector<std::vector<double>> kRows = {{1, 1.1, 2.3, 0, 0, 0}, {2, 2.2, 1.7, 1, 0, 0},
                                                {3, 7.4, 8.1, 0, 0, 1}, {4, 8.9, 6.6, 1, 0, 1},
                                                {5, 3.3, 4.4, 0, 0, 0}, {6, 6.1, 7.9, 1, 0, 1}};

// The MiningBuildTask of writer as compact text.
std::string BuildTask(KNNPMMLWriter& writer) {
  writer.root.reset(VelXML::XMLElement::Create("PMML"));
  writer.WriteMiningBuildTask();
  return CompactText(writer.root.release());
}

// Each parameter as name=value (a list parameter as name=[v1,v2]), in document order.
std::vector<std::string> Parameters(const std::string& text) {
  std::vector<std::string> parameters;
  const std::string open = "<Parameter name=\"";
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
    const size_t nameStart = at + open.size();
    const std::string name = text.substr(nameStart, text.find('"', nameStart) - nameStart);
    const size_t close = text.find('>', at);
    if (text[close - 1] == '/') {
      const size_t valueStart = text.find("value=\"", at) + 7;
      parameters.push_back(name + "=" +
                           text.substr(valueStart, text.find('"', valueStart) - valueStart));
      continue;
    }
    std::string values;
    const size_t end = text.find("</Parameter>", at);
    const std::string value = "<Value value=\"";
    for (size_t v = text.find(value, at); v < end; v = text.find(value, v + 1)) {
      if (!values.empty()) values += ',';
      const size_t start = v + value.size();
      values += text.substr(start, text.find('"', start) - start);
    }
    parameters.push_back(name + "=[" + values + "]");
  }
  return parameters;
}

class SettingsEchoTest : public ::testing::Test {
 protected:
  PmmlBuild build;
  std::unique_ptr<KNNPMMLWriter> writer;
  void Build(const SettingsDoc& doc) {
    const VelCommon::VelStatus status = build.Build(doc.Xml(), kRows);
    ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
    writer = build.MakeWriter();
    ASSERT_NE(writer, nullptr);
  }
};

TEST_F(SettingsEchoTest, FixedKWithFeatureSelectionAndForcedFeatures) {
  ASSERT_NO_FATAL_FAILURE(Build(EchoDoc()
                                    .Flag("IsFeatureSelection", true)
                                    .ParamList("ForcedVariables", {"x2"})
                                    .Param("NSpecifiedFeatures", 1)
                                    .Param("SpecifiedK", 2)
                                    .Param("DistMetric", "CityBlock")
                                    .Param("ComputePredValFunc", "Median")));
  const std::string text = BuildTask(*writer);
  EXPECT_EQ(text.rfind(std::string("<PMML><MiningBuildTask><Extension extender=\"") +
                           KNNPMML::kExtenderName + "\" name=\"" + KNNPMML::kSettingsExtensionName +
                           "\"><Parameters><Parameter ",
                       0),
            0u)
      << text;
  EXPECT_EQ(Parameters(text),
            (std::vector<std::string>{
                "CaseIDVar=id", "FocalVar=focal", "RescaleMethod=true", "DistMetric=CityBlock",
                "ComputePredValFunc=Median", "use_caselabels=false", "IsFeatureImportance=false",
                "IsFeatureSelection=true", "IsAutoFeatureSelection=false", "IsFeatureWeight=false",
                "IsAutoKSelection=false", "NSpecifiedFeatures=1", "SpecifiedK=2", "VFoldValue=10",
                // a fixed number of features leaves SpecifiedErrRange at -1: not written
                "TempFileDir=", "ForcedVariables=[x2]", "target=[y]", "inputs=[x1,x2]"}));
}

TEST_F(SettingsEchoTest, AutomaticKPutsMinKAndMaxKWhereSpecifiedKWouldBe) {
  ASSERT_NO_FATAL_FAILURE(Build(EchoDoc()
                                    .Flag("IsAutoKSelection", true)
                                    .Param("MinK", 1)
                                    .Param("MaxK", 3)
                                    .Param("VFoldVar", "fold")
                                    .Param("VFoldValue", 2)
                                    .Flag("RescaleMethod", false)
                                    .Flag("IsFeatureWeight", true)));
  EXPECT_EQ(Parameters(BuildTask(*writer)),
            (std::vector<std::string>{"CaseIDVar=id",
                                      "VFoldVar=fold",
                                      "FocalVar=focal",
                                      "RescaleMethod=false",
                                      "DistMetric=Euclidean",
                                      "ComputePredValFunc=Mean",
                                      "use_caselabels=false",
                                      "IsFeatureImportance=true",
                                      "IsFeatureSelection=false",
                                      "IsAutoFeatureSelection=false",
                                      "IsFeatureWeight=true",
                                      "IsAutoKSelection=true",
                                      "NSpecifiedFeatures=0",
                                      "MinK=1",
                                      "MaxK=3",
                                      "VFoldValue=2",
                                      "SpecifiedErrRange=0.01",
                                      "TempFileDir=",
                                      "target=[y]",
                                      "inputs=[x1,x2]"}));
}

TEST_F(SettingsEchoTest, ClusteringHasNoTargetParameter) {
  ASSERT_NO_FATAL_FAILURE(Build(EchoDoc().Targets({}).Param("SpecifiedK", 1)));
  const std::vector<std::string> parameters = Parameters(BuildTask(*writer));
  ASSERT_FALSE(parameters.empty());
  EXPECT_EQ(parameters.back(), "inputs=[x1,x2]");
  for (const std::string& p : parameters) EXPECT_NE(p.rfind("target=", 0), 0u) << p;
}

TEST_F(SettingsEchoTest, FieldAndListParametersSkipAbsentVariables) {
  ASSERT_NO_FATAL_FAILURE(Build(EchoDoc().Param("TempFileDir", "/tmp/d\xC3\xA9j\xC3\xA0/")));
  writer->settings.CaseLabelVariable = 5;
  writer->settings.Responses = {-1, 5, -3};
  writer->settings.SpecifiedErrRange = 0.25;
  const std::vector<std::string> parameters = Parameters(BuildTask(*writer));
  const auto has = [&parameters](const std::string& p) {
    return std::find(parameters.begin(), parameters.end(), p) != parameters.end();
  };
  EXPECT_TRUE(has("CaseLabelVar=y"));
  EXPECT_TRUE(has("use_caselabels=true"));
  EXPECT_TRUE(has("target=[y]"));
  EXPECT_TRUE(has("SpecifiedErrRange=0.25"));
  EXPECT_TRUE(has("TempFileDir=/tmp/d\xC3\xA9j\xC3\xA0/"));

  std::unique_ptr<VelXML::XMLElement> parent(VelXML::XMLElement::Create("P"));
  writer->AddFieldParameter(parent.get(), -1, "CaseIDVar", "fieldName");
  writer->AddListParameter(parent.get(), "inputs", {});
  EXPECT_EQ(CompactText(parent.release()), "<P/>");
}

}  // namespace
