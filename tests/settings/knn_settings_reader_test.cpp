#include "settings/knn_settings_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_warning.h"
#include "support/boundary_settings_doc.h"

namespace {

using Doc = knntest::SettingsDoc;
using VelCommon::VelStatus;

// Minimal(): id 0, focal 1, x1 2, x2 3, c1 4, y 5.
constexpr int kId = 0, kFocal = 1, kX1 = 2, kX2 = 3, kC1 = 4, kY = 5;

struct Reading {
  std::unique_ptr<KNNSettingsReader> reader = std::make_unique<KNNSettingsReader>();
  VelStatus status;
  KNNSettings& settings() const { return *reader->GetSettings(); }
};

Reading ReadDoc(const Doc& doc) {
  Reading reading;
  std::istringstream in(doc.Xml());
  reading.status = reading.reader->Read(in);
  return reading;
}

// "a b c" -> {"a", "b", "c"}; keeps the case tables on one line each.
std::vector<std::string> Names(const std::string& spaced) {
  std::vector<std::string> names;
  std::istringstream in(spaced);
  for (std::string name; in >> name;) names.push_back(name);
  return names;
}

Doc Minimal() {
  return Doc::Minimal();
}

// Minimal() plus a numeric categorical fold field with five folds (index 6), used for K.
Doc AutoK() {
  Doc doc = Doc::Minimal();
  doc.Categorical("fold", Names("0 1 2 3 4"), /*numeric=*/true)
      .Flag("IsAutoKSelection", true)
      .Param("VFoldVar", "fold")
      .Param("VFoldValue", 5);
  return doc;
}

Doc FeatureSelection() {
  Doc doc = Doc::Minimal();
  doc.Flag("IsFeatureSelection", true);
  return doc;
}

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
  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
  return doc;
}

Doc Three() {
  return ManyPredictors(3);
}

// A valid starting document, one edit to it, and the code the edited document must give.
struct CodeCase {
  long code;
  Doc (*base)();
  void (*edit)(Doc&);
  const char* what;
};
// clang-format off
#define CODE(code, base, edit) CodeCase{code, base, [](Doc& d) { d.edit; }, #base ": " #edit}
#define CODE_F(code, base, call) CodeCase{code, base, [](Doc& d) { call; }, #base ": " #call}
// clang-format on

Doc Edited(const CodeCase& c) {
  Doc doc = c.base();
  c.edit(doc);
  return doc;
}

void OneWeight(Doc& d, const std::string& features, const std::string& weights) {
  d.ParamList("SpecifiedFeature", Names(features))
      .ParamList("SpecifiedFeatureWeight", Names(weights));
}

// Every reading code, each reached by one small change to a valid document.
TEST(KNNSettingsReaderCodes, EveryCheckYieldsItsErrorCode) {
  const std::vector<CodeCase> cases = {
      CODE(200026, Minimal, ParamRaw("CaseIDVar", "<item>id</item>")),
      CODE(200009, Minimal, Param("CaseIDVar", "")),
      CODE(200009, Minimal, RemoveParam("CaseIDVar")),
      CODE(200052, Minimal, Param("CaseIDVar", "nope")),
      CODE(200043, Minimal, Param("CaseIDVar", "c1")),
      CODE(200055, Minimal, Flag("use_caselabels", true).ParamRaw("CaseLabelVar", "<i/>")),
      CODE(200055, Minimal, Flag("use_caselabels", true)),
      CODE(200054, Minimal, Flag("use_caselabels", true).Param("CaseLabelVar", "nope")),
      CODE(200053, Minimal, Flag("use_caselabels", true).Param("CaseLabelVar", "x1")),
      CODE(200027, Minimal, ParamRaw("FocalVar", "<a/>")),
      CODE(200027, Minimal, RemoveParam("FocalVar")),
      CODE(200030, Minimal, Param("FocalVar", "nope")),
      CODE(200029, Minimal, Extra("<targets><x/></targets>")),
      CODE(200028, Minimal, Target("nope")),
      CODE(200050, Minimal, Targets(Names("y y"))),
      CODE(200028, Minimal, Targets(Names("y y nope"))),
      CODE(200021, Minimal, Extra("<inputs><x/></inputs>")),
      CODE(200022, Minimal, Input("nope")),
      CODE(200050, Minimal, Input("x1")),
      CODE(200022, Minimal, Inputs(Names("x1 x1 nope"))),
      CODE(200010, Minimal, Input("y")),
      CODE(200038, Minimal, Inputs({})),
      CODE(200047, Minimal, Inputs(Names("focal id"))),
      CODE(200011, Minimal, Param("RescaleMethod", "maybe")),
      CODE(200012, Minimal, Param("DistMetric", "cityblock")),
      CODE(200012, Minimal, Param("DistMetric", "Euclidean2")),
      CODE(200019, Minimal, ParamRaw("TempFileDir", "<a/>")),
      CODE(200013, Minimal, Param("ComputePredValFunc", "median")),
      CODE(200015, Minimal, Param("IsFeatureWeight", "yes")),
      CODE(200016, Minimal, Param("IsFeatureSelection", "2")),
      CODE(200040, FeatureSelection, ParamRaw("ForcedVariables", "<x/>")),
      CODE(200051, FeatureSelection, ParamList("ForcedVariables", Names("x1 nope"))),
      CODE(200050, FeatureSelection, ParamList("ForcedVariables", Names("x1 x1"))),
      CODE(200017, FeatureSelection, Param("IsAutoFeatureSelection", "x")),
      CODE(200039, FeatureSelection,
           Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 1.5)),
      CODE(200039, FeatureSelection,
           Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", -0.1)),
      CODE(200039, FeatureSelection,
           Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", "abc")),
      CODE(200005, FeatureSelection, Param("NSpecifiedFeatures", -1)),
      CODE(200005, FeatureSelection, Param("NSpecifiedFeatures", 0)),
      CODE(200005, FeatureSelection, Param("NSpecifiedFeatures", "2.5")),
      CODE(200006, Minimal, Param("MinK", 5).Param("MaxK", 5)),
      CODE(200006, Minimal, Param("MinK", 0)),
      CODE(200006, Minimal, Param("MaxK", "ten")),
      CODE(200018, Minimal, Param("SpecifiedK", 0)),
      CODE(200018, Minimal, Param("SpecifiedK", "3x")),
      CODE(200018, Minimal, Targets({}).Param("SpecifiedK", -2)),
      CODE(200008, AutoK, RemoveParam("VFoldVar")),
      CODE(200008, AutoK, ParamRaw("VFoldVar", "<a/>")),
      CODE(200007, AutoK, Param("VFoldValue", 1)),
      CODE(200007, AutoK, Param("VFoldValue", "five")),
      CODE(200036, AutoK, Param("VFoldVar", "nope")),
      CODE(200032, AutoK, Param("VFoldVar", "x2")),
      CODE(200041, AutoK, Param("VFoldValue", 4)),
      CODE(200037, Minimal, Continuous("z", 0.0, std::nullopt)),
      CODE(200037, Minimal, Continuous("z", std::nullopt, 1.0)),
      CODE(200042, Minimal, Continuous("z", 2.0, 2.0)),
      CODE_F(200066, Minimal, OneWeight(d, "nope", "1")),
      CODE_F(200066, Minimal, OneWeight(d, "x1 x1", "1 2")),
      CODE(200066, Minimal, ParamRaw("SpecifiedFeature", "<a/>")),
      CODE_F(200066, Minimal, OneWeight(d, "x1", "heavy")),
      CODE_F(200067, Minimal, OneWeight(d.Flag("IsFeatureWeight", true), "x1", "1")),
      CODE_F(200067, FeatureSelection, OneWeight(d, "x1", "1")),
      CODE_F(200067, AutoK, OneWeight(d, "x1", "1")),
      CODE_F(200067, Minimal, OneWeight(d, "x1 x2", "1")),
      CODE(200067, Minimal, ParamList("SpecifiedFeature", {"x1"})),
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Reading reading = ReadDoc(Edited(c));
    EXPECT_TRUE(reading.status.IsError());
    EXPECT_EQ(reading.status.GetErrorCode(), c.code);
    EXPECT_EQ(reading.reader->GetStatus(), reading.status);
  }
}

TEST(KNNSettingsReaderCodes, TheValidStartingPointsAreAccepted) {
  // Case ID and focal variables need no range of their own.
  Doc unbounded;
  unbounded.Continuous("id", std::nullopt, std::nullopt).Continuous("focal", 0.0, 0.0);
  unbounded.Continuous("x", 0.0, 1.0)
      .Input("x")
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
  for (const Doc& doc : {Minimal(), AutoK(), FeatureSelection(), ManyPredictors(30), unbounded}) {
    const Reading reading = ReadDoc(doc);
    EXPECT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode() << "\n" << doc.Xml();
  }
}

TEST(KNNSettingsReaderCodes, EarlierStepsTakePrecedence) {
  const std::vector<CodeCase> cases = {
      CODE(200052, Minimal, Param("CaseIDVar", "nope").Param("FocalVar", "nope")),
      CODE(200028, Minimal, Target("t?").Input("p?")),
      CODE(200050, Minimal, Inputs(Names("y y"))),
      CODE(200012, Minimal, Param("DistMetric", "x").Param("ComputePredValFunc", "x")),
      CODE(200006, Minimal, Param("MinK", 9).Param("SpecifiedK", 0)),
      CODE(200018, Three,  // a later error replaces the feature-count warning
           Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 7).Param("SpecifiedK", 0)),
      CODE(200037, Minimal, Continuous("z1", 1.0, 1.0).Continuous("z2", 0.0, std::nullopt)),
      CODE(200042, Minimal, Continuous("z1", std::nullopt, 1.0).Continuous("z2", 4.0, 4.0)),
      CODE(200018, Minimal, Continuous("z", 1.0, 1.0).Param("SpecifiedK", 0)),
  };
  for (const CodeCase& c : cases)
    EXPECT_EQ(ReadDoc(Edited(c)).status.GetErrorCode(), c.code) << c.what;
}

TEST(KNNSettingsReaderCodes, StreamAndParserFailures) {
  for (std::ios_base::iostate state :
       {std::ios_base::failbit, std::ios_base::badbit, std::ios_base::eofbit}) {
    std::istringstream in(Doc::Minimal().Xml());
    in.setstate(state);
    KNNSettingsReader reader;
    EXPECT_EQ(reader.Read(in), VelStatus(200002, false));
    // The record and the list exist even after a failure, owned by the reader.
    EXPECT_NE(reader.GetSettings(), nullptr);
    EXPECT_NE(reader.GetVariables(), nullptr);
  }
  // The host parser's own codes pass through unchanged.
  std::istringstream notXml("<settings><fields>"), wrongRoot("<?xml version=\"1.0\"?><config/>");
  EXPECT_EQ(KNNSettingsReader().Read(notXml).GetErrorCode(), VelCommon::kHostXmlNotWellFormed);
  EXPECT_EQ(KNNSettingsReader().Read(wrongRoot).GetErrorCode(), VelCommon::kHostRootNotSettings);
}

TEST(KNNSettingsReaderCodes, EqualBoundsCarryTheVariableIndex) {
  Doc doc = Doc::Minimal();
  doc.Continuous("z", 2.0, 2.0).Continuous("w", 0.0, 1.0);  // z is index 6, used nowhere
  const Reading reading = ReadDoc(doc);
  ASSERT_EQ(reading.status.GetErrorCode(), 200042);
  EXPECT_EQ(reading.status.GetDiscreteDatum(0), 6);
}

TEST(KNNSettingsReaderWarning, TooManyFixedFeaturesAreLoweredAndReadingGoesOn) {
  KNNWarning::Instance().Clear();
  Doc doc = ManyPredictors(10);
  doc.Flag("IsFeatureSelection", true).ParamList("ForcedVariables", {"p0", "p1"});
  doc.Param("NSpecifiedFeatures", 9).Param("SpecifiedK", 4).Param("MinK", 2).Param("MaxK", 8);
  const Reading reading = ReadDoc(doc);
  EXPECT_EQ(reading.status, VelStatus(200068, true));
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, 8);
  EXPECT_EQ(reading.settings().SpecifiedErrRange, -1.0);
  EXPECT_EQ(KNNWarning::Instance().List(), std::vector<VelStatus>{VelStatus(200068, true)});
  // The later keys were still taken.
  EXPECT_EQ(reading.settings().SpecifiedK, 4);
  EXPECT_EQ(reading.settings().MaxK, 8);
  EXPECT_EQ(reading.settings().TotalVarNum, 13);
  EXPECT_FALSE(reading.settings().usedVariables.empty());
}

TEST(KNNSettingsReaderValues, DefaultsOfEveryKey) {
  const Reading reading = ReadDoc(Doc::Minimal());
  ASSERT_TRUE(reading.status.IsOK());
  const KNNSettings& s = reading.settings();
  for (const int zero :
       {s.RescaleMethod, s.DistMetric, s.ComputePredValFunc, s.SpecifiedFeaNum, s.FocalCaseValue}) {
    EXPECT_EQ(zero, 0);
  }
  for (const bool off : {s.IsFeaImportance, s.IsFeaWeight, s.IsFeaSelection, s.IsAutoFeaSelection,
                         s.IsAutoKSelection}) {
    EXPECT_FALSE(off);
  }
  EXPECT_EQ(s.FileTempDir, ".\\temp");
  EXPECT_EQ(s.fieldFormat, "");
  EXPECT_EQ(s.FocalCaseValueText, "");
  EXPECT_EQ(s.SpecifiedErrRange, 0.01);
  EXPECT_EQ(s.SpecifiedK, 3);
  EXPECT_EQ(s.MinK, 3);
  EXPECT_EQ(s.MaxK, 5);
  EXPECT_EQ(s.VFoldValue, 10);
  EXPECT_EQ(s.VFoldVariable, -1);
  EXPECT_EQ(s.CaseLabelVariable, -1);
  EXPECT_TRUE(s.ForcedVariables.empty() && s.SpecifiedFeatures.empty() &&
              s.SpecifiedFeatureWeights.empty());
  EXPECT_EQ(s.CaseIDVariable, kId);
  EXPECT_EQ(s.FocalCaseVariable, kFocal);
  EXPECT_TRUE(s.IfSpecifiedFocalCaseVariable);
  EXPECT_EQ(s.TotalVarNum, 6);
  EXPECT_EQ(s.progressListener, nullptr);
  EXPECT_EQ(s.reporter, nullptr);
}

TEST(KNNSettingsReaderValues, GivenKeysReachTheirFields) {
  Doc doc = Doc::Minimal();
  doc.Flag("RescaleMethod", false)
      .Param("DistMetric", "CityBlock")
      .Param("ComputePredValFunc", "Median");
  doc.Flag("IsFeatureWeight", true).Flag("IsFeatureImportance", false);
  doc.Param("TempFileDir", "/tmp/knn files")
      .Param("fieldFormat", " %.3f ")
      .Param("FocalCaseValue", "1");
  doc.Param("MinK", 2).Param("MaxK", 9).Param("SpecifiedK", 7);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  const KNNSettings& s = reading.settings();
  EXPECT_EQ(s.RescaleMethod, 1);
  EXPECT_EQ(s.DistMetric, 1);
  EXPECT_EQ(s.ComputePredValFunc, 1);
  EXPECT_TRUE(s.IsFeaWeight);
  EXPECT_TRUE(s.IsFeaImportance);  // importance follows weighting, not its own key
  EXPECT_EQ(s.FileTempDir, "/tmp/knn files");
  EXPECT_EQ(s.fieldFormat, " %.3f ");
  EXPECT_EQ(s.FocalCaseValueText, "1");
  EXPECT_EQ(std::vector<int>({s.MinK, s.MaxK, s.SpecifiedK}), std::vector<int>({2, 9, 7}));
}

TEST(KNNSettingsReaderValues, WithoutTargetsOnlySpecifiedKIsRead) {
  Doc doc = Doc::Minimal();
  doc.Targets({}).Flag("IsAutoKSelection", true).Flag("IsFeatureSelection", true);
  doc.Flag("IsFeatureWeight", true).Param("ComputePredValFunc", "bogus");
  doc.Param("MinK", 5).Param("MaxK", 5).Param("SpecifiedK", 6);  // the range would be rejected
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  const KNNSettings& s = reading.settings();
  EXPECT_TRUE(s.Responses.empty());
  EXPECT_FALSE(s.IsAutoKSelection || s.IsFeaSelection || s.IsFeaWeight || s.IsFeaImportance);
  EXPECT_EQ(std::vector<int>({s.MinK, s.MaxK, s.SpecifiedK}), std::vector<int>({3, 5, 6}));
}

TEST(KNNSettingsReaderValues, FixedFeatureCounts) {
  struct CountCase {
    int predictors;
    std::string forced;
    int given;  // NSpecifiedFeatures; -1: absent
    int expected;
  };
  const std::vector<CountCase> cases = {
      {30, "", -1, 20},      {20, "", -1, 20}, {5, "", -1, 5}, {5, "p0", -1, 4},
      {25, "p1 p2", -1, 18}, {3, "p0", 2, 2},  // one forced plus two fills them exactly
      {3, "p0", 0, 0}};                        // forced only
  for (const CountCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.predictors << " forced '" << c.forced << "' given " << c.given);
    Doc doc = ManyPredictors(c.predictors);
    doc.Flag("IsFeatureSelection", true);
    if (!c.forced.empty()) doc.ParamList("ForcedVariables", Names(c.forced));
    if (c.given >= 0) doc.Param("NSpecifiedFeatures", c.given);
    const Reading reading = ReadDoc(doc);
    ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
    EXPECT_EQ(reading.settings().SpecifiedFeaNum, c.expected);
    EXPECT_EQ(reading.settings().SpecifiedErrRange, -1.0);
    EXPECT_FALSE(reading.settings().IsAutoFeaSelection);
  }
}

TEST(KNNSettingsReaderValues, AutomaticFeatureSelection) {
  for (const double range : {0.25, 1.0}) {
    Doc doc = FeatureSelection();
    doc.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", range);
    const Reading reading = ReadDoc(doc);
    ASSERT_TRUE(reading.status.IsOK()) << range;
    EXPECT_TRUE(reading.settings().IsAutoFeaSelection);
    EXPECT_EQ(reading.settings().SpecifiedFeaNum, -1);
    EXPECT_EQ(reading.settings().SpecifiedErrRange, range);
  }
}

TEST(KNNSettingsReaderValues, ForcedVariablesLeaveTargetsOut) {
  Doc doc = FeatureSelection();
  doc.ParamList("ForcedVariables", Names("c1 y x1"));
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  EXPECT_EQ(reading.settings().ForcedVariables, (std::vector<int>{kC1, kX1}));
  // The count of forced names still includes the target: min(3, 20) - 3 = 0.
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, 0);
}

TEST(KNNSettingsReaderValues, TargetAndPredictorLists) {
  Doc doc;
  doc.Continuous("t1", 0.0, 1.0).Categorical("k1", {"a", "b"}).Continuous("id", 1.0, 9.0);  // 0-2
  doc.Continuous("x", 0.0, 1.0)
      .Categorical("k2", {"1", "2"}, true)
      .Continuous("t2", 0.0, 1.0);  // 3-5
  doc.Categorical("focal", {"0", "1"}, true)
      .Categorical("c", {"u", "v"})
      .Continuous("w", 0.0, 1.0);  // 6-8
  doc.Targets(Names("t2 k2 t1 k1")).Inputs(Names("w c id x focal"));
  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  const KNNSettings& s = reading.settings();
  EXPECT_EQ(s.ResponseCategorical, (std::vector<int>{4, 1}));
  EXPECT_EQ(s.ResponseContinuous, (std::vector<int>{5, 0}));
  EXPECT_EQ(s.Responses, (std::vector<int>{4, 1, 5, 0}));
  // Settings order, without the case ID and focal variables.
  EXPECT_EQ(s.FeatureCategorical, (std::vector<int>{7}));
  EXPECT_EQ(s.FeatureContinuous, (std::vector<int>{8, 3}));
  EXPECT_EQ(s.AllFeatures, (std::vector<int>{3, 7, 8}));
  EXPECT_EQ(s.FeatureNum, 3);
  EXPECT_EQ(s.TotalVarNum, 9);
}

TEST(KNNSettingsReaderValues, CaseLabelIsTakenOutOfThePredictors) {
  Doc doc = Doc::Minimal();
  doc.Flag("use_caselabels", true).Param("CaseLabelVar", "c1");
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK());
  EXPECT_EQ(reading.settings().CaseLabelVariable, kC1);
  EXPECT_TRUE(reading.settings().FeatureCategorical.empty());
  EXPECT_EQ(reading.settings().AllFeatures, (std::vector<int>{kX1, kX2}));
}

TEST(KNNSettingsReaderValues, CrossValidatedKSelection) {
  const Reading reading = ReadDoc(AutoK());
  ASSERT_TRUE(reading.status.IsOK());
  EXPECT_TRUE(reading.settings().IsAutoKSelection);
  EXPECT_EQ(reading.settings().VFoldValue, 5);
  EXPECT_EQ(reading.settings().VFoldVariable, 6);

  // With feature selection the fold keys are not needed at all.
  Doc doc = FeatureSelection();
  doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "nope");
  const Reading combined = ReadDoc(doc);
  ASSERT_TRUE(combined.status.IsOK()) << combined.status.GetErrorCode();
  EXPECT_EQ(combined.settings().VFoldVariable, -1);
}

TEST(KNNSettingsReaderValues, SpecifiedFeaturesAndWeights) {
  Doc doc = Doc::Minimal();
  OneWeight(doc, "x2 c1", "0.5 2");
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  EXPECT_EQ(reading.settings().SpecifiedFeatures, (std::vector<int>{kX2, kC1}));
  EXPECT_EQ(reading.settings().SpecifiedFeatureWeights, (std::vector<double>{0.5, 2.0}));
  // Specified features are not references of their own.
  EXPECT_EQ(reading.settings().usedVariables, (std::vector<int>{kId, kFocal, kY, kX1, kX2, kC1}));
}

TEST(KNNSettingsReaderUsedVariables, FirstReferenceOrderWithoutRepeats) {
  // Indices: fold 0, x 1, lab 2, t 3, id 4, y 5, focal 6, v 7.
  Doc doc;
  doc.Categorical("fold", {"a", "b", "c"}).Continuous("x", 0.0, 1.0).Categorical("lab", {"p", "q"});
  doc.Continuous("t", 0.0, 1.0).Continuous("id", 1.0, 9.0).Categorical("y", {"m", "n"});
  doc.Categorical("focal", {"0", "1"}, true).Continuous("v", 0.0, 1.0);
  doc.Targets(Names("t y"))
      .Inputs(Names("v x id"))
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
  doc.Flag("use_caselabels", true).Param("CaseLabelVar", "lab");
  doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "fold").Param("VFoldValue", 3);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  const std::vector<int> expected{4, 2, 6, 5, 3, 1, 7, 0};
  EXPECT_EQ(reading.reader->GetUsedVariables(), expected);
  EXPECT_EQ(reading.settings().usedVariables, expected);
}

TEST(KNNSettingsReaderUsedVariables, NotCopiedAfterAnError) {
  Doc doc = Doc::Minimal();
  doc.Param("SpecifiedK", 0);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsError());
  EXPECT_TRUE(reading.settings().usedVariables.empty());
  EXPECT_EQ(reading.settings().TotalVarNum, 0);
}

}  // namespace
