// The build settings written back into the document's MiningBuildTask.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/pmml_fixture.h"

namespace {

using knntest::CompactText;
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

// Each parameter as name=value (a list parameter as name=[v1,v2]), space-separated, in
// document order.
std::string Parameters(const std::string& text) {
  std::string parameters;
  const std::regex token(
      "<Parameter name=\"([^\"]*)\"(?:[^>]*? value=\"([^\"]*)\")?[^>]*>|<Value "
      "value=\"([^\"]*)\"|</Parameter>");
  for (std::sregex_iterator it(text.begin(), text.end(), token), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1].matched) {
      parameters += " " + m[1].str() + (m[2].matched ? "=" + m[2].str() : "=[");
    } else if (m[3].matched) {
      parameters += (parameters.back() == '[' ? "" : ",") + m[3].str();
    } else {
      parameters += "]";
    }
  }
  return parameters.empty() ? parameters : parameters.substr(1);
}

using SettingsEchoTest = knntest::PmmlWriterTest;

TEST_F(SettingsEchoTest, FieldAndListParametersSkipAbsentVariables) {
  ASSERT_NO_FATAL_FAILURE(Build(EchoDoc().Param("TempFileDir", "/tmp/d\xC3\xA9j\xC3\xA0/"), kRows));
  writer->settings.CaseLabelVariable = 5;
  writer->settings.Responses = {-1, 5, -3};
  writer->settings.SpecifiedErrRange = 0.25;
  const std::string parameters = " " + Parameters(BuildTask(*writer)) + " ";
  for (const char* p : {"CaseLabelVar=y", "use_caselabels=true", "target=[y]",
                        "SpecifiedErrRange=0.25", "TempFileDir=/tmp/d\xC3\xA9j\xC3\xA0/"}) {
    EXPECT_NE(parameters.find(std::string(" ") + p + " "), std::string::npos) << p;
  }

  std::unique_ptr<VelXML::XMLElement> parent(VelXML::XMLElement::Create("P"));
  writer->AddFieldParameter(parent.get(), -1, "CaseIDVar", "fieldName");
  writer->AddListParameter(parent.get(), "inputs", {});
  EXPECT_EQ(CompactText(parent.release()), "<P/>");
}

}  // namespace
