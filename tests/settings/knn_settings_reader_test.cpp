#include "settings/knn_settings_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_warning.h"
#include "support/boundary_settings_doc.h"

namespace {

using knntest::SettingsDoc;
using VelCommon::VelStatus;

using Doc = SettingsDoc;

SettingsDoc Minimal() {
  return SettingsDoc::Minimal();
}

// Minimal(): id 0, focal 1, x1 2, x2 3, c1 4, y 5.
constexpr int kId = 0, kFocal = 1, kX1 = 2, kX2 = 3, kC1 = 4, kY = 5;

struct Reading {
  std::unique_ptr<KNNSettingsReader> reader = std::make_unique<KNNSettingsReader>();
  VelStatus status;
  KNNSettings& settings() const { return *reader->GetSettings(); }
};

Reading ReadDoc(const SettingsDoc& doc) {
  Reading reading;
  std::istringstream in(doc.Xml());
  reading.status = reading.reader->Read(in);
  return reading;
}

// Minimal() plus a numeric categorical fold field with five folds (index 6).
SettingsDoc WithFold() {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Categorical("fold", {"0", "1", "2", "3", "4"}, /*numeric=*/true);
  return doc;
}

SettingsDoc AutoK() {
  SettingsDoc doc = WithFold();
  doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "fold").Param("VFoldValue", 5);
  return doc;
}

SettingsDoc FeatureSelection() {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true);
  return doc;
}

// A document with n continuous predictors p0..p(n-1) (indices 2..n+1) and target y.
SettingsDoc ManyPredictors(int n) {
  SettingsDoc doc;
  doc.Continuous("id", 1.0, 50.0).Categorical("focal", {"0", "1"}, true);
  std::vector<std::string> inputs;
  for (int i = 0; i < n; ++i) {
    const std::string name = "p" + std::to_string(i);
    doc.Continuous(name, 0.0, 1.0);
    inputs.push_back(name);
  }
  doc.Categorical("y", {"a", "b"})
      .Target("y")
      .Inputs(inputs)
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
  return doc;
}

// A valid starting document, one edit to it, and the code the edited document must give.
struct CodeCase {
  const char* what;
  std::function<SettingsDoc()> base;
  std::function<void(SettingsDoc&)> edit;
  long code;

  SettingsDoc Doc() const {
    SettingsDoc doc = base();
    edit(doc);
    return doc;
  }
};

// Every reading code, each reached by one small change to a valid document.
const std::vector<CodeCase>& ReadingCodeCases() {
  static const std::vector<CodeCase> cases = {
      {"CaseIDVar holds an element", Minimal,
       [](Doc& d) { d.ParamRaw("CaseIDVar", "<item>id</item>"); }, 200026},
      {"CaseIDVar empty", Minimal, [](Doc& d) { d.Param("CaseIDVar", ""); }, 200009},
      {"CaseIDVar absent", Minimal, [](Doc& d) { d.RemoveParam("CaseIDVar"); }, 200009},
      {"CaseIDVar unknown", Minimal, [](Doc& d) { d.Param("CaseIDVar", "nope"); }, 200052},
      {"CaseIDVar categorical", Minimal, [](Doc& d) { d.Param("CaseIDVar", "c1"); }, 200043},
      {"CaseLabelVar unreadable", Minimal,
       [](Doc& d) { d.Flag("use_caselabels", true).ParamRaw("CaseLabelVar", "<item>c1</item>"); },
       200055},
      {"CaseLabelVar absent with use_caselabels", Minimal,
       [](Doc& d) { d.Flag("use_caselabels", true); }, 200055},
      {"CaseLabelVar unknown", Minimal,
       [](Doc& d) { d.Flag("use_caselabels", true).Param("CaseLabelVar", "nope"); }, 200054},
      {"CaseLabelVar continuous", Minimal,
       [](Doc& d) { d.Flag("use_caselabels", true).Param("CaseLabelVar", "x1"); }, 200053},
      {"FocalVar unreadable", Minimal, [](Doc& d) { d.ParamRaw("FocalVar", "<a/>"); }, 200027},
      {"FocalVar absent", Minimal, [](Doc& d) { d.RemoveParam("FocalVar"); }, 200027},
      {"FocalVar unknown", Minimal, [](Doc& d) { d.Param("FocalVar", "nope"); }, 200030},
      {"target list unreadable", Minimal, [](Doc& d) { d.Extra("<targets><x/></targets>"); },
       200029},
      {"target unknown", Minimal, [](Doc& d) { d.Target("nope"); }, 200028},
      {"target repeated", Minimal,
       [](Doc& d) {
         d.Targets({"y", "y"});
       },
       200050},
      {"target repeated and another unknown", Minimal,
       [](Doc& d) {
         d.Targets({"y", "y", "nope"});
       },
       200028},
      {"predictor list unreadable", Minimal, [](Doc& d) { d.Extra("<inputs><x/></inputs>"); },
       200021},
      {"predictor unknown", Minimal, [](Doc& d) { d.Input("nope"); }, 200022},
      {"predictor repeated", Minimal, [](Doc& d) { d.Input("x1"); }, 200050},
      {"predictor repeated and another unknown", Minimal,
       [](Doc& d) {
         d.Inputs({"x1", "x1", "nope"});
       },
       200022},
      {"predictor is the target", Minimal, [](Doc& d) { d.Input("y"); }, 200010},
      {"no predictor", Minimal, [](Doc& d) { d.Inputs({}); }, 200038},
      {"only the case ID as predictor", Minimal, [](Doc& d) { d.Inputs({"id"}); }, 200047},
      {"only case ID and focal as predictors", Minimal,
       [](Doc& d) {
         d.Inputs({"focal", "id"});
       },
       200047},
      {"RescaleMethod unreadable", Minimal, [](Doc& d) { d.Param("RescaleMethod", "maybe"); },
       200011},
      {"DistMetric in other letter case", Minimal,
       [](Doc& d) { d.Param("DistMetric", "cityblock"); }, 200012},
      {"DistMetric with trailing text", Minimal,
       [](Doc& d) { d.Param("DistMetric", "Euclidean2"); }, 200012},
      {"DistMetric unreadable", Minimal, [](Doc& d) { d.ParamRaw("DistMetric", "<a/>"); }, 200012},
      {"TempFileDir unreadable", Minimal, [](Doc& d) { d.ParamRaw("TempFileDir", "<a/>"); },
       200019},
      {"ComputePredValFunc unknown", Minimal,
       [](Doc& d) { d.Param("ComputePredValFunc", "median"); }, 200013},
      {"ComputePredValFunc unreadable", Minimal,
       [](Doc& d) { d.ParamRaw("ComputePredValFunc", "<a/>"); }, 200013},
      {"IsFeatureWeight unreadable", Minimal, [](Doc& d) { d.Param("IsFeatureWeight", "yes"); },
       200015},
      {"IsFeatureSelection unreadable", Minimal, [](Doc& d) { d.Param("IsFeatureSelection", "2"); },
       200016},
      {"ForcedVariables unreadable", FeatureSelection,
       [](Doc& d) { d.ParamRaw("ForcedVariables", "<x/>"); }, 200040},
      {"forced variable unknown", FeatureSelection,
       [](Doc& d) {
         d.ParamList("ForcedVariables", {"x1", "nope"});
       },
       200051},
      {"forced variable repeated", FeatureSelection,
       [](Doc& d) {
         d.ParamList("ForcedVariables", {"x1", "x1"});
       },
       200050},
      {"IsAutoFeatureSelection unreadable", FeatureSelection,
       [](Doc& d) { d.Param("IsAutoFeatureSelection", "x"); }, 200017},
      {"SpecifiedErrRange above 1", FeatureSelection,
       [](Doc& d) { d.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 1.5); },
       200039},
      {"SpecifiedErrRange below 0", FeatureSelection,
       [](Doc& d) { d.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", -0.1); },
       200039},
      {"SpecifiedErrRange unreadable", FeatureSelection,
       [](Doc& d) { d.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", "abc"); },
       200039},
      {"NSpecifiedFeatures negative", FeatureSelection,
       [](Doc& d) { d.Param("NSpecifiedFeatures", -1); }, 200005},
      {"NSpecifiedFeatures zero without forced variables", FeatureSelection,
       [](Doc& d) { d.Param("NSpecifiedFeatures", 0); }, 200005},
      {"NSpecifiedFeatures unreadable", FeatureSelection,
       [](Doc& d) { d.Param("NSpecifiedFeatures", "2.5"); }, 200005},
      {"MinK equal to MaxK without K selection", Minimal,
       [](Doc& d) { d.Param("MinK", 5).Param("MaxK", 5); }, 200006},
      {"MinK zero", Minimal, [](Doc& d) { d.Param("MinK", 0); }, 200006},
      {"MaxK unreadable", Minimal, [](Doc& d) { d.Param("MaxK", "ten"); }, 200006},
      {"SpecifiedK zero", Minimal, [](Doc& d) { d.Param("SpecifiedK", 0); }, 200018},
      {"SpecifiedK unreadable", Minimal, [](Doc& d) { d.Param("SpecifiedK", "3x"); }, 200018},
      {"SpecifiedK negative without targets", Minimal,
       [](Doc& d) { d.Targets({}).Param("SpecifiedK", -2); }, 200018},
      {"VFoldVar absent", AutoK, [](Doc& d) { d.RemoveParam("VFoldVar"); }, 200008},
      {"VFoldVar unreadable", AutoK, [](Doc& d) { d.ParamRaw("VFoldVar", "<a/>"); }, 200008},
      {"VFoldValue below 2", AutoK, [](Doc& d) { d.Param("VFoldValue", 1); }, 200007},
      {"VFoldValue unreadable", AutoK, [](Doc& d) { d.Param("VFoldValue", "five"); }, 200007},
      {"VFoldVar unknown", AutoK, [](Doc& d) { d.Param("VFoldVar", "nope"); }, 200036},
      {"VFoldVar continuous", AutoK, [](Doc& d) { d.Param("VFoldVar", "x2"); }, 200032},
      {"VFoldValue differs from the fold categories", AutoK,
       [](Doc& d) { d.Param("VFoldValue", 4); }, 200041},
      {"unused continuous field without maximum", Minimal,
       [](Doc& d) { d.Continuous("z", 0.0, std::nullopt); }, 200037},
      {"unused continuous field without minimum", Minimal,
       [](Doc& d) { d.Continuous("z", std::nullopt, 1.0); }, 200037},
      {"unused continuous field with equal bounds", Minimal,
       [](Doc& d) { d.Continuous("z", 2.0, 2.0); }, 200042},
      {"specified feature unknown", Minimal,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"nope"}).ParamList("SpecifiedFeatureWeight", {"1"});
       },
       200066},
      {"specified feature repeated", Minimal,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1", "x1"})
             .ParamList("SpecifiedFeatureWeight", {"1", "2"});
       },
       200066},
      {"SpecifiedFeature unreadable", Minimal,
       [](Doc& d) { d.ParamRaw("SpecifiedFeature", "<a/>"); }, 200066},
      {"specified feature weight unreadable", Minimal,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1"}).ParamList("SpecifiedFeatureWeight", {"heavy"});
       },
       200066},
      {"specified features with feature weighting", Minimal,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1"})
             .ParamList("SpecifiedFeatureWeight", {"1"})
             .Flag("IsFeatureWeight", true);
       },
       200067},
      {"specified features with feature selection", FeatureSelection,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1"}).ParamList("SpecifiedFeatureWeight", {"1"});
       },
       200067},
      {"specified features with K selection", AutoK,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1"}).ParamList("SpecifiedFeatureWeight", {"1"});
       },
       200067},
      {"specified features with too few weights", Minimal,
       [](Doc& d) {
         d.ParamList("SpecifiedFeature", {"x1", "x2"}).ParamList("SpecifiedFeatureWeight", {"1"});
       },
       200067},
      {"specified features without weights", Minimal,
       [](Doc& d) { d.ParamList("SpecifiedFeature", {"x1"}); }, 200067},
  };
  return cases;
}

TEST(KNNSettingsReaderCodes, EveryCheckYieldsItsErrorCode) {
  for (const CodeCase& c : ReadingCodeCases()) {
    SCOPED_TRACE(c.what);
    const Reading reading = ReadDoc(c.Doc());
    EXPECT_TRUE(reading.status.IsError());
    EXPECT_EQ(reading.status.GetErrorCode(), c.code);
    EXPECT_EQ(reading.reader->GetStatus(), reading.status);
  }
}

TEST(KNNSettingsReaderCodes, TheValidStartingPointsAreAccepted) {
  for (const SettingsDoc& doc :
       {SettingsDoc::Minimal(), WithFold(), AutoK(), FeatureSelection(), ManyPredictors(30)}) {
    const Reading reading = ReadDoc(doc);
    EXPECT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode() << "\n" << doc.Xml();
  }
}

TEST(KNNSettingsReaderCodes, EarlierStepsTakePrecedence) {
  const std::vector<CodeCase> cases = {
      {"case ID before focal", Minimal,
       [](Doc& d) { d.Param("CaseIDVar", "nope").Param("FocalVar", "nope"); }, 200052},
      {"targets before predictors", Minimal, [](Doc& d) { d.Target("t?").Input("p?"); }, 200028},
      {"repeated predictor before predictor-is-target", Minimal,
       [](Doc& d) {
         d.Inputs({"y", "y"});
       },
       200050},
      {"DistMetric before ComputePredValFunc", Minimal,
       [](Doc& d) { d.Param("DistMetric", "x").Param("ComputePredValFunc", "x"); }, 200012},
      {"K range before SpecifiedK", Minimal,
       [](Doc& d) { d.Param("MinK", 9).Param("SpecifiedK", 0); }, 200006},
      {"a later error replaces the feature-count warning", [] { return ManyPredictors(3); },
       [](Doc& d) {
         d.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 7).Param("SpecifiedK", 0);
       },
       200018},
      {"a missing range found after an equal range", Minimal,
       [](Doc& d) { d.Continuous("z1", 1.0, 1.0).Continuous("z2", 0.0, std::nullopt); }, 200037},
      {"an equal range found after a missing range", Minimal,
       [](Doc& d) { d.Continuous("z1", std::nullopt, 1.0).Continuous("z2", 4.0, 4.0); }, 200042},
      {"settings errors before range checks", Minimal,
       [](Doc& d) { d.Continuous("z", 1.0, 1.0).Param("SpecifiedK", 0); }, 200018},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadDoc(c.Doc()).status.GetErrorCode(), c.code);
  }
}

TEST(KNNSettingsReaderCodes, FailedStreamIsRejectedBeforeParsing) {
  for (std::ios_base::iostate state :
       {std::ios_base::failbit, std::ios_base::badbit, std::ios_base::eofbit}) {
    std::istringstream in(SettingsDoc::Minimal().Xml());
    in.setstate(state);
    KNNSettingsReader reader;
    const VelStatus status = reader.Read(in);
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(status.GetErrorCode(), 200002);
    // The record and the list exist even after a failure, owned by the reader.
    EXPECT_NE(reader.GetSettings(), nullptr);
    EXPECT_NE(reader.GetVariables(), nullptr);
  }
}

TEST(KNNSettingsReaderCodes, ParserErrorsPassThroughUnchanged) {
  KNNSettingsReader reader;
  std::istringstream notXml("<settings><fields>");
  EXPECT_EQ(reader.Read(notXml).GetErrorCode(), VelCommon::kHostXmlNotWellFormed);
  KNNSettingsReader other;
  std::istringstream wrongRoot("<?xml version=\"1.0\"?><config/>");
  EXPECT_EQ(other.Read(wrongRoot).GetErrorCode(), VelCommon::kHostRootNotSettings);
}

TEST(KNNSettingsReaderCodes, EqualBoundsCarryTheVariableIndex) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Continuous("z", 2.0, 2.0).Continuous("w", 0.0, 1.0);  // z is index 6, used nowhere
  const Reading reading = ReadDoc(doc);
  ASSERT_EQ(reading.status.GetErrorCode(), 200042);
  EXPECT_EQ(reading.status.GetDiscreteDatum(0), 6);
}

TEST(KNNSettingsReaderCodes, CaseIdAndFocalNeedNoRange) {
  SettingsDoc doc;
  doc.Continuous("id", std::nullopt, std::nullopt)
      .Continuous("focal", 0.0, 0.0)
      .Continuous("x", 0.0, 1.0)
      .Input("x")
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
  EXPECT_TRUE(ReadDoc(doc).status.IsOK());
}

TEST(KNNSettingsReaderWarning, TooManyFixedFeaturesAreLoweredWithAWarning) {
  KNNWarning::Instance().Clear();
  SettingsDoc doc = ManyPredictors(10);
  doc.Flag("IsFeatureSelection", true)
      .ParamList("ForcedVariables", {"p0", "p1"})
      .Param("NSpecifiedFeatures", 9);
  const Reading reading = ReadDoc(doc);
  EXPECT_TRUE(reading.status.IsWarning());
  EXPECT_EQ(reading.status.GetErrorCode(), 200068);
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, 8);
  EXPECT_EQ(reading.settings().SpecifiedErrRange, -1.0);
  ASSERT_EQ(KNNWarning::Instance().List().size(), 1u);
  EXPECT_EQ(KNNWarning::Instance().List()[0], VelStatus(200068, true));
  // Reading went on: the later keys were still taken.
  EXPECT_EQ(reading.settings().TotalVarNum, 13);
  EXPECT_FALSE(reading.settings().usedVariables.empty());
}

TEST(KNNSettingsReaderWarning, WarningSurvivesLaterSuccessfulSteps) {
  KNNWarning::Instance().Clear();
  SettingsDoc doc = ManyPredictors(4);
  doc.Flag("IsFeatureSelection", true)
      .Param("NSpecifiedFeatures", 6)
      .Param("SpecifiedK", 4)
      .Param("MinK", 2)
      .Param("MaxK", 8);
  const Reading reading = ReadDoc(doc);
  EXPECT_EQ(reading.status, VelStatus(200068, true));
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, 4);
  EXPECT_EQ(reading.settings().SpecifiedK, 4);
  EXPECT_EQ(reading.settings().MaxK, 8);
}

TEST(KNNSettingsReaderValues, DefaultsOfEveryKey) {
  const Reading reading = ReadDoc(SettingsDoc::Minimal());
  ASSERT_TRUE(reading.status.IsOK());
  const KNNSettings& s = reading.settings();
  EXPECT_EQ(s.RescaleMethod, 0);
  EXPECT_EQ(s.DistMetric, 0);
  EXPECT_EQ(s.FileTempDir, ".\\temp");
  EXPECT_EQ(s.fieldFormat, "");
  EXPECT_EQ(s.FocalCaseValueText, "");
  EXPECT_EQ(s.ComputePredValFunc, 0);
  EXPECT_FALSE(s.IsFeaImportance);
  EXPECT_FALSE(s.IsFeaWeight);
  EXPECT_FALSE(s.IsFeaSelection);
  EXPECT_FALSE(s.IsAutoFeaSelection);
  EXPECT_FALSE(s.IsAutoKSelection);
  EXPECT_EQ(s.SpecifiedFeaNum, 0);
  EXPECT_EQ(s.SpecifiedErrRange, 0.01);
  EXPECT_EQ(s.SpecifiedK, 3);
  EXPECT_EQ(s.MinK, 3);
  EXPECT_EQ(s.MaxK, 5);
  EXPECT_EQ(s.VFoldValue, 10);
  EXPECT_EQ(s.VFoldVariable, -1);
  EXPECT_EQ(s.CaseLabelVariable, -1);
  EXPECT_TRUE(s.ForcedVariables.empty());
  EXPECT_TRUE(s.SpecifiedFeatures.empty());
  EXPECT_TRUE(s.SpecifiedFeatureWeights.empty());
  EXPECT_EQ(s.CaseIDVariable, kId);
  EXPECT_EQ(s.FocalCaseVariable, kFocal);
  EXPECT_TRUE(s.IfSpecifiedFocalCaseVariable);
  EXPECT_EQ(s.FocalCaseValue, 0);
  EXPECT_EQ(s.TotalVarNum, 6);
  EXPECT_EQ(s.progressListener, nullptr);
  EXPECT_EQ(s.reporter, nullptr);
}

TEST(KNNSettingsReaderValues, GivenKeysReachTheirFields) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Flag("RescaleMethod", false)
      .Param("DistMetric", "CityBlock")
      .Param("ComputePredValFunc", "Median")
      .Flag("IsFeatureWeight", true)
      .Param("TempFileDir", "/tmp/knn files")
      .Param("fieldFormat", " %.3f ")
      .Param("FocalCaseValue", "1")
      .Param("MinK", 2)
      .Param("MaxK", 9)
      .Param("SpecifiedK", 7)
      .Flag("IsFeatureImportance", false);
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
  EXPECT_EQ(s.MinK, 2);
  EXPECT_EQ(s.MaxK, 9);
  EXPECT_EQ(s.SpecifiedK, 7);
}

TEST(KNNSettingsReaderValues, WithoutTargetsOnlySpecifiedKIsRead) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Targets({})
      .Flag("IsAutoKSelection", true)
      .Flag("IsFeatureSelection", true)
      .Flag("IsFeatureWeight", true)
      .Param("MinK", 5)
      .Param("MaxK", 5)  // would be rejected if read
      .Param("ComputePredValFunc", "bogus")
      .Param("SpecifiedK", 6);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  const KNNSettings& s = reading.settings();
  EXPECT_TRUE(s.Responses.empty());
  EXPECT_FALSE(s.IsAutoKSelection);
  EXPECT_FALSE(s.IsFeaSelection);
  EXPECT_FALSE(s.IsFeaWeight);
  EXPECT_FALSE(s.IsFeaImportance);
  EXPECT_EQ(s.MinK, 3);
  EXPECT_EQ(s.MaxK, 5);
  EXPECT_EQ(s.SpecifiedK, 6);
}

TEST(KNNSettingsReaderValues, FixedFeatureCountDefaults) {
  struct CountCase {
    int predictors;
    std::vector<std::string> forced;
    int expected;
  };
  const std::vector<CountCase> cases = {
      {30, {}, 20}, {20, {}, 20}, {5, {}, 5}, {5, {"p0"}, 4}, {25, {"p1", "p2"}, 18}};
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.predictors);
    SettingsDoc doc = ManyPredictors(c.predictors);
    doc.Flag("IsFeatureSelection", true);
    if (!c.forced.empty()) doc.ParamList("ForcedVariables", c.forced);
    const Reading reading = ReadDoc(doc);
    ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
    EXPECT_EQ(reading.settings().SpecifiedFeaNum, c.expected);
    EXPECT_EQ(reading.settings().SpecifiedErrRange, -1.0);
    EXPECT_FALSE(reading.settings().IsAutoFeaSelection);
  }
}

TEST(KNNSettingsReaderValues, FixedFeatureCountBoundaries) {
  // Three predictors: one forced plus two more fills them exactly; all forced and none more
  // still selects one feature.
  SettingsDoc exact = ManyPredictors(3);
  exact.Flag("IsFeatureSelection", true)
      .ParamList("ForcedVariables", {"p0"})
      .Param("NSpecifiedFeatures", 2);
  const Reading full = ReadDoc(exact);
  EXPECT_TRUE(full.status.IsOK());
  EXPECT_EQ(full.settings().SpecifiedFeaNum, 2);

  SettingsDoc forcedOnly = ManyPredictors(3);
  forcedOnly.Flag("IsFeatureSelection", true)
      .ParamList("ForcedVariables", {"p0"})
      .Param("NSpecifiedFeatures", 0);
  const Reading none = ReadDoc(forcedOnly);
  EXPECT_TRUE(none.status.IsOK());
  EXPECT_EQ(none.settings().SpecifiedFeaNum, 0);
}

TEST(KNNSettingsReaderValues, AutomaticFeatureSelection) {
  SettingsDoc doc = FeatureSelection();
  doc.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 0.25);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK());
  EXPECT_TRUE(reading.settings().IsAutoFeaSelection);
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, -1);
  EXPECT_EQ(reading.settings().SpecifiedErrRange, 0.25);

  SettingsDoc edge = FeatureSelection();
  edge.Flag("IsAutoFeatureSelection", true).Param("SpecifiedErrRange", 1.0);
  EXPECT_TRUE(ReadDoc(edge).status.IsOK());
}

TEST(KNNSettingsReaderValues, ForcedVariablesLeaveTargetsOut) {
  SettingsDoc doc = FeatureSelection();
  doc.ParamList("ForcedVariables", {"c1", "y", "x1"});
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  EXPECT_EQ(reading.settings().ForcedVariables, (std::vector<int>{kC1, kX1}));
  // The count of forced names still includes the target: min(3, 20) - 3 = 0.
  EXPECT_EQ(reading.settings().SpecifiedFeaNum, 0);
}

TEST(KNNSettingsReaderValues, TargetAndPredictorLists) {
  SettingsDoc doc;
  doc.Continuous("t1", 0.0, 1.0)               // 0
      .Categorical("k1", {"a", "b"})           // 1
      .Continuous("id", 1.0, 9.0)              // 2
      .Continuous("x", 0.0, 1.0)               // 3
      .Categorical("k2", {"1", "2"}, true)     // 4
      .Continuous("t2", 0.0, 1.0)              // 5
      .Categorical("focal", {"0", "1"}, true)  // 6
      .Categorical("c", {"u", "v"})            // 7
      .Continuous("w", 0.0, 1.0)               // 8
      .Targets({"t2", "k2", "t1", "k1"})
      .Inputs({"w", "c", "id", "x", "focal"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal");
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
  SettingsDoc doc = SettingsDoc::Minimal();
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
  SettingsDoc doc = FeatureSelection();
  doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "nope");
  const Reading combined = ReadDoc(doc);
  ASSERT_TRUE(combined.status.IsOK()) << combined.status.GetErrorCode();
  EXPECT_EQ(combined.settings().VFoldVariable, -1);
}

TEST(KNNSettingsReaderValues, SpecifiedFeaturesAndWeights) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.ParamList("SpecifiedFeature", {"x2", "c1"}).ParamList("SpecifiedFeatureWeight", {"0.5", "2"});
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
  EXPECT_EQ(reading.settings().SpecifiedFeatures, (std::vector<int>{kX2, kC1}));
  EXPECT_EQ(reading.settings().SpecifiedFeatureWeights, (std::vector<double>{0.5, 2.0}));
  // Specified features are not references of their own.
  EXPECT_EQ(reading.settings().usedVariables, (std::vector<int>{kId, kFocal, kY, kX1, kX2, kC1}));
}

TEST(KNNSettingsReaderUsedVariables, FirstReferenceOrderWithoutRepeats) {
  // Indices: fold 0, x 1, lab 2, t 3, id 4, y 5, focal 6, v 7.
  auto base = [] {
    SettingsDoc doc;
    doc.Categorical("fold", {"a", "b", "c"})
        .Continuous("x", 0.0, 1.0)
        .Categorical("lab", {"p", "q"})
        .Continuous("t", 0.0, 1.0)
        .Continuous("id", 1.0, 9.0)
        .Categorical("y", {"m", "n"})
        .Categorical("focal", {"0", "1"}, true)
        .Continuous("v", 0.0, 1.0)
        .Targets({"t", "y"})
        .Inputs({"v", "x", "id"})
        .Param("CaseIDVar", "id")
        .Param("FocalVar", "focal")
        .Flag("use_caselabels", true)
        .Param("CaseLabelVar", "lab");
    return doc;
  };
  {
    SettingsDoc doc = base();
    doc.Flag("IsAutoKSelection", true).Param("VFoldVar", "fold").Param("VFoldValue", 3);
    const Reading reading = ReadDoc(doc);
    ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
    const std::vector<int> expected{4, 2, 6, 5, 3, 1, 7, 0};
    EXPECT_EQ(reading.reader->GetUsedVariables(), expected);
    EXPECT_EQ(reading.settings().usedVariables, expected);
  }
  {
    SettingsDoc doc = base();
    doc.Flag("IsFeatureSelection", true)
        .Flag("IsAutoFeatureSelection", true)
        .ParamList("ForcedVariables", {"v", "fold", "t"});
    const Reading reading = ReadDoc(doc);
    ASSERT_TRUE(reading.status.IsOK()) << reading.status.GetErrorCode();
    EXPECT_EQ(reading.settings().usedVariables, (std::vector<int>{4, 2, 6, 5, 3, 1, 7, 0}));
    EXPECT_EQ(reading.settings().ForcedVariables, (std::vector<int>{7, 0}));
  }
}

TEST(KNNSettingsReaderUsedVariables, NotCopiedAfterAnError) {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Param("SpecifiedK", 0);
  const Reading reading = ReadDoc(doc);
  ASSERT_TRUE(reading.status.IsError());
  EXPECT_TRUE(reading.settings().usedVariables.empty());
  EXPECT_EQ(reading.settings().TotalVarNum, 0);
}

}  // namespace
