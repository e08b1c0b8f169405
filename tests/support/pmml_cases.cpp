#include "support/pmml_cases.h"

#include "support/boundary_settings_doc.h"

namespace knntest {

namespace {

// Temporary files in the system folder, so the documents do not depend on where tests run.
SettingsDoc Base() {
  SettingsDoc doc;
  doc.Param("TempFileDir", "");
  return doc;
}

std::vector<std::vector<double>> Rows(size_t width, const std::vector<double>& values) {
  std::vector<std::vector<double>> rows;
  for (auto at = values.begin(); at != values.end(); at += static_cast<long>(width))
    rows.emplace_back(at, at + static_cast<long>(width));
  return rows;
}

// Regression of y with the median, K chosen by 3-fold cross-validation over K = 2..4.
PmmlCase RegressionMedianKSelectionCase() {
  SettingsDoc d = Base();
  d.Continuous("id", 1, 100).Continuous("x1", 0, 10).Continuous("x2", -5, 5);
  d.Categorical("fold", {"0", "1", "2"}, true).Categorical("focal", {"0", "1"}, true);
  d.Continuous("y", 0, 50).Target("y").Inputs({"x1", "x2"}).Param("CaseIDVar", "id");
  d.Param("FocalVar", "focal").Param("ComputePredValFunc", "Median").Flag("IsAutoKSelection", true);
  d.Param("MinK", 2).Param("MaxK", 4).Param("VFoldVar", "fold").Param("VFoldValue", 3);
  return {
      "regression_median_kselection", d.Xml(),
      Rows(6,
           {11, 1.13, -4.21, 0, 0, 3.0,  12, 2.27, 1.07, 1, 0, 5.5,  13, 2.91, -2.33, 2, 0, 6.0,
            14, 4.05, 3.58,  0, 0, 9.0,  15, 5.32, 0.12, 1, 0, 10.5, 16, 6.18, -1.46, 2, 0, 12.0,
            17, 6.97, 2.29,  0, 0, 14.5, 18, 8.44, 4.02, 1, 0, 16.0, 19, 9.51, -3.17, 2, 0, 19.0})};
}

// String categories whose values and labels hold ";", "\" and spaces.
PmmlCase StringLabelsCase() {
  SettingsDoc d = Base();
  d.Continuous("id", 1, 100).Categorical("kind", {"a;b", "c\\d", "e f"}).Continuous("x", 0, 1);
  d.Categorical("focal", {"no", "yes"});
  d.Categorical("grade", {"g 1", "g;2", "g\\3"}, {"first grade", "second;grade", "third\\grade"},
                false);
  d.Target("grade").Inputs({"kind", "x"}).Param("CaseIDVar", "id").Param("FocalVar", "focal");
  d.Param("FocalCaseValue", "yes").Param("SpecifiedK", 2);
  return {"string_labels_escaping", d.Xml(),
          Rows(5, {1, 0, 0.11, 0, 0, 2, 1, 0.52, 0, 1, 3, 2, 0.93, 1, 2,
                   4, 0, 0.24, 0, 0, 5, 1, 0.67, 0, 1, 6, 2, 0.79, 0, 2})};
}

// A case identifier field named "ID" and field names that are not XML names.
PmmlCase FieldNamedIdCase() {
  SettingsDoc d = Base();
  d.Continuous("ID", 1, 100).Continuous("2nd value", 0, 10).Continuous("x(1)", 0, 10);
  d.Categorical("a:b", {"p", "q"}).Categorical("focal", {"0", "1"}, true).Continuous("y", 0, 10);
  d.Target("y").Inputs({"2nd value", "x(1)", "a:b"}).Param("CaseIDVar", "ID");
  d.Param("FocalVar", "focal").Flag("RescaleMethod", false).Param("SpecifiedK", 1);
  return {"field_named_id", d.Xml(), Rows(6, {1, 1.1, 2.0, 0, 0, 1.0, 2, 3.2, 2.5, 1, 0, 4.0,
                                              3, 6.0, 8.3, 0, 0, 6.5, 4, 9.0, 7.1, 1, 0, 9.0})};
}

// Non-ASCII field name and category texts (written with the UTF-8 option).
PmmlCase NonAsciiCase() {
  SettingsDoc d = Base();
  d.Continuous("id", 1, 100).Continuous("gr\u00f6\u00dfe", 0, 10);
  d.Categorical("farbe", {"caf\xC3\xA9", "na\xC3\xAFve"}).Categorical("focal", {"0", "1"}, true);
  d.Target("farbe").Inputs({"gr\u00f6\u00dfe"}).Param("CaseIDVar", "id");
  d.Param("FocalVar", "focal").Param("SpecifiedK", 1);
  return {"non_ascii_utf8", d.Xml(),
          Rows(4, {1, 1.0, 0, 0, 2, 2.0, 0, 0, 3, 8.0, 1, 0, 4, 9.0, 1, 0})};
}

// Two targets (categorical y, continuous z) with one feature selected for each, so each
// model has its own feature set and its own scoring pass.
PmmlCase TwoTargetsCase() {
  SettingsDoc d = Base();
  d.Continuous("id", 1, 100).Continuous("x1", 0, 10).Continuous("x2", 0, 10);
  d.Categorical("c1", {"a", "b"}).Categorical("focal", {"0", "1"}, true);
  d.Categorical("y", {"low", "high"}).Continuous("z", 0, 50).Targets({"y", "z"});
  d.Inputs({"x1", "x2", "c1"}).Param("CaseIDVar", "id").Param("FocalVar", "focal");
  d.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 1).Param("SpecifiedK", 2);
  return {
      "two_targets_separate_features", d.Xml(),
      Rows(7, {1, 1.12, 9.03, 0, 0, 0, 40, 2, 2.37, 7.41, 1, 0, 0, 31, 3, 3.59, 6.18, 0, 0, 0, 27,
               4, 5.06, 2.22, 1, 0, 1, 8,  5, 6.43, 1.07, 1, 0, 1, 5,  6, 8.21, 3.64, 0, 0, 1, 15,
               7, 9.14, 4.89, 1, 0, 1, 22})};
}

}  // namespace

PmmlCase ClassificationWithSelectionCase() {
  SettingsDoc d = Base();
  d.Continuous("id", 1, 100).Continuous("x1", 0, 10).Continuous("x2", 0, 10);
  d.Categorical("c1", {"a", "b", "c"}).Categorical("focal", {"0", "1"}, true);
  d.Categorical("y", {"no", "yes"}).Target("y").Inputs({"x1", "x2", "c1"}).Param("CaseIDVar", "id");
  d.Param("FocalVar", "focal").Flag("IsFeatureSelection", true);
  d.ParamList("ForcedVariables", {"x2"}).Param("NSpecifiedFeatures", 1);
  d.Flag("IsFeatureWeight", true).Param("SpecifiedK", 3);
  return {"classification_selection_weighting", d.Xml(),
          Rows(6, {1, 1.13, 2.07, 0, 0, 0, 2, 2.31, 1.42, 0, 0, 0, 3, 3.06, 4.18, 1, 0, 0,
                   4, 6.24, 7.11, 2, 0, 1, 5, 7.52, 8.37, 2, 0, 1, 6, 8.09, 6.46, 1, 0, 1,
                   7, 4.47, 5.29, 0, 0, 1, 8, 5.68, 2.93, 1, 0, 0})};
}

PmmlCase ClusteringCityBlockCase() {
  SettingsDoc d = Base();
  d.Continuous("CustNo", 1, 1000).Categorical("region", {"north", "south", "east"});
  d.Continuous("spend", 0, 500).Continuous("visits", 0, 20).Categorical("focal", {"0", "1"}, true);
  d.Inputs({"region", "spend", "visits"}).Param("CaseIDVar", "CustNo").Param("FocalVar", "focal");
  d.Param("DistMetric", "CityBlock").Param("SpecifiedK", 2);
  d.Param("fieldFormat",
          "<FieldFormats>\n  <FieldFormat field=\"spend\" decimals=\"2\"/>\n</FieldFormats>");
  return {"clustering_cityblock_fieldformat", d.Xml(),
          Rows(5, {501, 0, 100, 3, 0,   502, 1, 150, 10, 0,  503, 0, 400,
                   4,   0, 504, 2, 250, 12,  0, 505, 1,  50, 1,   0})};
}

PmmlCase ExampleClassificationCase() {
  SettingsDoc d = Base();
  d.Continuous("CaseID", 1, 1000).Continuous("age", 20, 60).Continuous("income", 0, 100);
  d.Categorical("churn", {"no", "yes"}).Categorical("focal", {"0", "1"}, true).Target("churn");
  d.Inputs({"age", "income"}).Param("CaseIDVar", "CaseID").Param("FocalVar", "focal");
  d.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 2).Flag("IsFeatureWeight", true);
  d.Param("SpecifiedK", 1).Param("TempFileDir", ".\\temp");
  return {"example_classification", d.Xml(),
          Rows(5, {101, 60, 0, 0, 0, 102, 20, 95, 1, 0, 103, 58, 100, 1, 0})};
}

PmmlCase ExampleClusteringCase() {
  SettingsDoc d = Base();
  d.Continuous("CustNo", 1, 1000).Categorical("region", {"north", "south"});
  d.Continuous("spend", 0, 500).Categorical("focal", {"0", "1"}, true).Inputs({"region", "spend"});
  d.Param("CaseIDVar", "CustNo").Param("FocalVar", "focal").Param("DistMetric", "CityBlock");
  d.Param("SpecifiedK", 2).Param("TempFileDir", ".\\temp");
  d.Param("fieldFormat",
          "<FieldFormats><FieldFormat field=\"spend\" decimals=\"2\"/></FieldFormats>");
  return {"example_clustering", d.Xml(), Rows(4, {501, 0, 100, 0, 502, 1, 150, 0, 503, 0, 400, 0})};
}

std::vector<PmmlCase> GoldenCases() {
  return {ClassificationWithSelectionCase(),
          RegressionMedianKSelectionCase(),
          TwoTargetsCase(),
          ClusteringCityBlockCase(),
          StringLabelsCase(),
          FieldNamedIdCase(),
          NonAsciiCase()};
}

}  // namespace knntest
