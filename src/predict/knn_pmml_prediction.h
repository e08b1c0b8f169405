// Scoring of every training case for the model document: the "neighborsDistances" and
// "predictionProbability" tables of each model, and the training errors and confusion counts
// that the model statistics report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/vel_xml.h"
#include "predict/knn_prediction_factory.h"

class KNNPMMLWriter;

class KNNPMMLPrediction : public KNNPredictionFactory {
 public:
  // summaries: one predictor per model (absent ones included); rows: the case store's rows.
  KNNPMMLPrediction(const std::vector<KNNPredictionSummary*>& summaries, const KNNCaseRows& rows,
                    KNNStopControl* stopControl);

  // The training error of every present predictor, in model order.
  std::vector<double> GetErrors() const override { return errors_; }
  VelCommon::VelStatus Accumulate(KNNNeighborList& list, const double* row) override;
  void Output(KNNNeighborList& list, const double* row) override;

  // Starts a pass: one entry per table pair, each with its own K. Writes every header.
  // Probability tables are null for continuous responses and without predictions.
  void BeginOutput(bool noPredictions, const std::vector<bool>& isContinuous,
                   const std::vector<int32_t>& kPerEntry, int32_t caseIdColumn,
                   const std::string& caseIdName,
                   const std::vector<std::vector<std::string>>& categoryTexts,
                   const std::vector<VelXML::XMLElement*>& neighbourTables,
                   const std::vector<VelXML::XMLElement*>& probabilityTables);
  // Appends the error of every present predictor of the pass just run.
  void ComputeErrors();

  int32_t RowNumber() const { return rowNumber_; }

 private:
  const KNNCaseRows& rows_;
  std::vector<double> errors_;
  std::vector<int32_t> kPerEntry_;
  std::vector<bool> isContinuous_;
  int32_t caseIdColumn_ = -1;
  bool noPredictions_ = false;
  std::vector<VelXML::XMLElement*> neighbourTables_;
  std::vector<VelXML::XMLElement*> probabilityTables_;
  std::vector<int32_t> categoryCounts_;
  int32_t rowNumber_ = 1;
  std::vector<std::vector<double>> predictionVectors_;
  std::string rowText_;  // reused for every row
  std::string probabilityText_;
};

// Writes model i's scoring tables into extension; the whole scoring pass runs with i = 0.
// Failures go to the writer's status: 200057 (a table file), 200063 (the scoring loop),
// 200056 (a table file failed while filled).
void WriteScoringTables(KNNPMMLWriter& writer, VelXML::XMLElement* extension, int32_t i);
