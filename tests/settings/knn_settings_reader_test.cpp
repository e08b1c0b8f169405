#include "settings/knn_settings_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_warning.h"
#include "support/boundary_settings_doc.h"

namespace {

using Doc = knntest::SettingsDoc;
using VelCommon::VelStatus;

// Doc::Minimal(): id 0, focal 1, x1 2, x2 3, c1 4, y 5.
constexpr int kId = 0, kFocal = 1, kX1 = 2, kX2 = 3, kC1 = 4, kY = 5;

struct Reading {
  explicit Reading(const Doc& doc) {
    std::istringstream in(doc.Xml());
    status = reader.Read(in);
  }
  const KNNSettings& s() const { return *reader.GetSettings(); }
  KNNSettingsReader reader;
  VelStatus status;
};

// n continuous predictors p0..p(n-1) (indices 2..n+1) and target y.
Doc ManyPredictors(int n) {
  Doc doc;
  doc.Continuous("id", 1.0, 50.0).Categorical("focal", {"0", "1"}, true);
  std::vector<std::string> inputs;
  for (int i = 0; i < n; ++i) {
    inputs.push_back("p" + std::to_string(i));
    doc.Continuous(inputs.back(), 0.0, 1.0);
  }
  doc.Categorical("y", {"a", "b"}).Target("y").Inputs(inputs);
  return doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
}

// clang-format off
// A valid starting document, one edit to it, and the code the edited document must give.
struct CodeCase { long code; void (*edit)(Doc&); const char* what; };
#define CODE(code, edit) CodeCase{code, [](Doc& d) { d.edit; }, #edit}
#define SELECT Flag("IsFeatureSelection", true)
#define AUTOK Categorical("fold", {"0", "1", "2", "3", "4"}, true).Flag("IsAutoKSelection", true) \
    .Param("VFoldVar", "fold").Param("VFoldValue", 5)
#define FEATURES(names, weights) \
  ParamList("SpecifiedFeature", std::vector<std::string> names) \
  .ParamList("SpecifiedFeatureWeight", std::vector<std::string> weights)
// clang-format on

// Every reading code, each reached by one small change to a valid document.
TEST(KNNSettingsReaderCodes, EveryCheckYieldsItsErrorCode) {
  // clang-format off
  const CodeCase cases[] = {
      CODE(200026, ParamRaw("CaseIDVar", "<item>id</item>")),
      CODE(200009, RemoveParam("CaseIDVar")), CODE(200052, Param("CaseIDVar", "nope")),
      CODE(200043, Param("CaseIDVar", "c1")), CODE(200055, Flag("use_caselabels", true)),
      CODE(200054, Flag("use_caselabels", true).Param("CaseLabelVar", "nope")),
      CODE(200053, Flag("use_caselabels", true).Param("CaseLabelVar", "x1")),
      CODE(200027, RemoveParam("FocalVar")), CODE(200030, Param("FocalVar", "nope")),
      CODE(200029, Extra("<targets><x/></targets>")), CODE(200028, Targets({"y", "y", "nope"})),
      CODE(200050, Targets({"y", "y"})), CODE(200021, Extra("<inputs><x/></inputs>")),
      CODE(200022, Input("nope")), CODE(200010, Input("y")), CODE(200038, Inputs({})),
      CODE(200047, Inputs({"focal", "id"})), CODE(200011, Param("RescaleMethod", "maybe")),
      CODE(200012, Param("DistMetric", "cityblock")), CODE(200019, ParamRaw("TempFileDir", "<a/>")),
      CODE(200013, Param("ComputePredValFunc", "median")),
      CODE(200015, Param("IsFeatureWeight", "yes")), CODE(200016, Param("IsFeatureSelection", "2")),
      CODE(200040, SELECT.ParamRaw("ForcedVariables", "<x/>")),
      CODE(200051, SELECT.ParamList("ForcedVariables", {"x1", "nope"})),
      CODE(200017, SELECT.Param("IsAutoFeatureSelection", "x")),
      CODE(200039, SELECT.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 1.5)),
      CODE(200005, SELECT.Param("NSpecifiedFeatures", 0)),
      CODE(200006, Param("MinK", 5).Param("MaxK", 5)),
      CODE(200018, Targets({}).Param("SpecifiedK", -2)),
      CODE(200008, AUTOK.RemoveParam("VFoldVar")), CODE(200007, AUTOK.Param("VFoldValue", 1)),
      CODE(200036, AUTOK.Param("VFoldVar", "nope")), CODE(200032, AUTOK.Param("VFoldVar", "x2")),
      CODE(200041, AUTOK.Param("VFoldValue", 4)), CODE(200037, Continuous("z", 0.0, std::nullopt)),
      CODE(200042, Continuous("z", 2.0, 2.0)), CODE(200066, FEATURES(({"x1"}), ({"heavy"}))),
      CODE(200067, ParamList("SpecifiedFeature", {"x1"})),
      CODE(200067, AUTOK.FEATURES(({"x1"}), ({"1"}))),
      // Earlier steps take precedence; a later error replaces the feature-count warning.
      CODE(200052, Param("CaseIDVar", "nope").Param("FocalVar", "nope")),
      CODE(200028, Target("t?").Input("p?")),
      CODE(200018, SELECT.Param("NSpecifiedFeatures", 7).Param("SpecifiedK", 0)),
  };
  // clang-format on
  for (const CodeCase& c : cases) {
    Doc doc = Doc::Minimal();
    c.edit(doc);
    const Reading r(doc);
    EXPECT_TRUE(r.status.IsError()) << c.what;
    EXPECT_EQ(r.status.GetErrorCode(), c.code) << c.what;
    EXPECT_EQ(r.reader.GetStatus(), r.status) << c.what;
  }
  Doc unbounded;  // case ID and focal variables need no range of their own
  unbounded.Continuous("id", std::nullopt, std::nullopt).Continuous("focal", 0.0, 0.0);
  unbounded.Continuous("x", 0.0, 1.0).Input("x").Param("CaseIDVar", "id");
  // With feature selection the fold keys are not needed at all.
  const Doc combined = Doc::Minimal().SELECT.Flag("IsAutoKSelection", true).Param("VFoldVar", "x");
  for (const Doc& doc : {ManyPredictors(30), combined, unbounded.Param("FocalVar", "focal")}) {
    EXPECT_TRUE(Reading(doc).status.IsOK()) << doc.Xml();
  }
  const Reading equalBounds(Doc::Minimal().Continuous("z", 2.0, 2.0).Continuous("w", 0.0, 1.0));
  EXPECT_EQ(equalBounds.status.GetDiscreteDatum(0), 6);  // the variable's index
}

TEST(KNNSettingsReaderCodes, StreamAndParserFailures) {
  std::istringstream failed(Doc::Minimal().Xml()), notXml("<settings>"), wrongRoot("<config/>");
  failed.setstate(std::ios_base::badbit);
  EXPECT_EQ(KNNSettingsReader().Read(failed), VelStatus(200002, false));
  // The host parser's own codes pass through unchanged.
  EXPECT_EQ(KNNSettingsReader().Read(notXml).GetErrorCode(), VelCommon::kHostXmlNotWellFormed);
  EXPECT_EQ(KNNSettingsReader().Read(wrongRoot).GetErrorCode(), VelCommon::kHostRootNotSettings);
}

TEST(KNNSettingsReaderValues, GivenKeysReachTheirFields) {
  EXPECT_EQ(Reading(Doc::Minimal()).s().FileTempDir, ".\\temp");
  // Importance follows weighting, not its own key.
  Doc weighted = Doc::Minimal().Flag("IsFeatureWeight", true);
  EXPECT_TRUE(Reading(weighted.Flag("IsFeatureImportance", false)).s().IsFeaImportance);
  Doc doc = Doc::Minimal().FEATURES(({"x2", "c1"}), ({"0.5", "2"}));
  doc.Flag("RescaleMethod", false).Param("DistMetric", "CityBlock");
  doc.Param("ComputePredValFunc", "Median").Param("TempFileDir", "/tmp/knn files");
  doc.Param("fieldFormat", " %.3f ").Param("FocalCaseValue", "1");
  const Reading r(doc.Param("MinK", 2).Param("MaxK", 9).Param("SpecifiedK", 7));
  ASSERT_TRUE(r.status.IsOK()) << r.status.GetErrorCode();
  const KNNSettings& s = r.s();
  EXPECT_EQ(std::vector<int>({s.RescaleMethod, s.DistMetric, s.ComputePredValFunc}),
            std::vector<int>({1, 1, 1}));
  EXPECT_EQ(s.FileTempDir + s.fieldFormat + s.FocalCaseValueText, "/tmp/knn files %.3f 1");
  EXPECT_EQ(std::vector<int>({s.MinK, s.MaxK, s.SpecifiedK}), std::vector<int>({2, 9, 7}));
  EXPECT_EQ(s.SpecifiedFeatures, (std::vector<int>{kX2, kC1}));
  EXPECT_EQ(s.SpecifiedFeatureWeights, (std::vector<double>{0.5, 2.0}));
  // Specified features are no references of their own.
  EXPECT_EQ(s.usedVariables, (std::vector<int>{kId, kFocal, kY, kX1, kX2, kC1}));
}

TEST(KNNSettingsReaderValues, WithoutTargetsOnlySpecifiedKIsRead) {
  Doc doc = Doc::Minimal();
  doc.Targets({}).Flag("IsAutoKSelection", true).Flag("IsFeatureSelection", true);
  doc.Flag("IsFeatureWeight", true).Param("ComputePredValFunc", "bogus");
  doc.Param("MinK", 5).Param("MaxK", 5).Param("SpecifiedK", 6);  // the range would be rejected
  const Reading r(doc);
  ASSERT_TRUE(r.status.IsOK()) << r.status.GetErrorCode();
  const KNNSettings& s = r.s();
  EXPECT_FALSE(s.IsAutoKSelection || s.IsFeaSelection || s.IsFeaWeight || s.IsFeaImportance);
  EXPECT_EQ(std::vector<int>({s.MinK, s.MaxK, s.SpecifiedK}), std::vector<int>({3, 5, 6}));
}

TEST(KNNSettingsReaderValues, FeatureSelectionCountsAndTheLoweringWarning) {
  struct CountCase {
    int predictors;
    std::vector<std::string> forced;
    int given;  // NSpecifiedFeatures; -1: absent, -2: automatic selection
    int expected;
  };
  const CountCase cases[] = {{30, {}, -1, 20},         {5, {}, -1, 5},
                             {5, {"p0"}, -1, 4},       {25, {"p1", "p2"}, -1, 18},
                             {3, {"p0"}, 2, 2},        {3, {"p0"}, 0, 0},
                             {3, {"p0", "y"}, -1, 1},   // the target counts among the forced names
                             {10, {"p0", "p1"}, 9, 8},  // lowered with a warning
                             {3, {}, -2, -1}};
  for (const CountCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.predictors << " " << c.forced.size() << " " << c.given);
    Doc doc = ManyPredictors(c.predictors).Flag("IsFeatureSelection", true);
    if (!c.forced.empty()) doc.ParamList("ForcedVariables", c.forced);
    if (c.given >= 0) doc.Param("NSpecifiedFeatures", c.given);
    if (c.given == -2) doc.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 0.25);
    KNNWarning::Instance().Clear();
    const Reading r(doc.Param("SpecifiedK", 4));  // a key read after the feature count
    const std::vector<VelStatus> warnings{VelStatus(200068, true)};
    EXPECT_EQ(KNNWarning::Instance().List(),
              c.expected < c.given ? warnings : std::vector<VelStatus>{});
    ASSERT_EQ(r.status, c.expected < c.given ? warnings[0] : VelStatus());
    EXPECT_EQ(r.s().SpecifiedK, 4);
    EXPECT_EQ(r.s().SpecifiedFeaNum, c.expected);
    EXPECT_EQ(r.s().SpecifiedErrRange, c.given == -2 ? 0.25 : -1.0);
    EXPECT_EQ(r.s().IsAutoFeaSelection, c.given == -2);
    std::vector<int> forced;  // targets are left out
    for (const std::string& name : c.forced) {
      if (name != "y") forced.push_back(2 + std::stoi(name.substr(1)));
    }
    EXPECT_EQ(r.s().ForcedVariables, forced);
  }
}

TEST(KNNSettingsReaderValues, VariableRolesAndUsedVariablesInFirstReferenceOrder) {
  Doc doc;  // fold 0, x 1, lab 2, t 3, id 4, y 5, focal 6, v 7, k 8, t2 9, c 10
  doc.Categorical("fold", {"a", "b", "c"}).Continuous("x", 0.0, 1.0).Categorical("lab", {"p", "q"});
  doc.Continuous("t", 0.0, 1.0).Continuous("id", 1.0, 9.0).Categorical("y", {"m", "n"});
  doc.Categorical("focal", {"0", "1"}, true).Continuous("v", 0.0, 1.0);
  doc.Categorical("k", {"1", "2"}, true).Continuous("t2", 0.0, 1.0).Categorical("c", {"u", "v"});
  doc.Targets({"t2", "k", "t", "y"}).Inputs({"v", "c", "x", "id", "lab", "focal"});
  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
  doc.Flag("use_caselabels", true).Param("CaseLabelVar", "lab");
  doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "fold").Param("VFoldValue", 3);
  const Reading r(doc);
  ASSERT_TRUE(r.status.IsOK()) << r.status.GetErrorCode();
  const KNNSettings& s = r.s();
  EXPECT_EQ(s.Responses, (std::vector<int>{8, 5, 9, 3}));  // categorical, then continuous
  EXPECT_EQ(s.ResponseContinuous, (std::vector<int>{9, 3}));
  EXPECT_EQ(s.FeatureContinuous, (std::vector<int>{7, 1}));  // settings order
  EXPECT_EQ(s.FeatureCategorical, (std::vector<int>{10}));
  EXPECT_EQ(s.AllFeatures, (std::vector<int>{1, 7, 10}));  // no case ID, focal or label
  EXPECT_EQ(std::vector<int>({s.CaseLabelVariable, s.VFoldVariable, s.VFoldValue, s.TotalVarNum}),
            std::vector<int>({2, 0, 3, 11}));
  const std::vector<int> used{4, 2, 6, 8, 5, 9, 3, 1, 7, 10, 0};
  EXPECT_EQ(r.reader.GetUsedVariables(), used);
  EXPECT_EQ(s.usedVariables, used);

  const Reading failed(Doc::Minimal().Param("SpecifiedK", 0));
  ASSERT_TRUE(failed.status.IsError());
  EXPECT_TRUE(failed.s().usedVariables.empty());
  EXPECT_EQ(failed.s().TotalVarNum, 0);
}

}  // namespace
