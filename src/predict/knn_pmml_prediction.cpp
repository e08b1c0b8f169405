#include "predict/knn_pmml_prediction.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "boundary/status_codes.h"
#include "data/knn_case_value.h"
#include "data/knn_data_preparation.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "pmml/knn_pmml_writer.h"
#include "pmml/knn_xml_archive_element.h"

using VelXML::XMLElement;

KNNPMMLPrediction::KNNPMMLPrediction(const std::vector<KNNPredictionSummary*>& summaries,
                                     const KNNCaseRows& rows, KNNStopControl* stopControl)
    : KNNPredictionFactory(summaries, stopControl, true), rows_(rows) {}

void KNNPMMLPrediction::BeginOutput(bool noPredictions, const std::vector<bool>& isContinuous,
                                    const std::vector<int32_t>& kPerEntry, int32_t caseIdColumn,
                                    const std::string& caseIdName,
                                    const std::vector<std::vector<std::string>>& categoryTexts,
                                    const std::vector<XMLElement*>& neighbourTables,
                                    const std::vector<XMLElement*>& probabilityTables) {
  noPredictions_ = noPredictions;
  isContinuous_ = isContinuous;
  kPerEntry_ = kPerEntry;
  caseIdColumn_ = caseIdColumn;
  neighbourTables_ = neighbourTables;
  probabilityTables_ = probabilityTables;
  probabilityTables_.resize(neighbourTables_.size(), nullptr);
  rowNumber_ = 1;
  predictionVectors_.resize(neighbourTables_.size());
  categoryCounts_.assign(neighbourTables_.size(), 0);

  for (size_t r = 0; r < neighbourTables_.size(); ++r) {
    const int32_t K = kPerEntry_[r];
    std::string header = "ID;" + caseIdName;
    for (int32_t k = 1; k <= K; ++k) header += ";neighbor" + std::to_string(k);
    for (int32_t k = 1; k <= K; ++k) header += ";distance" + std::to_string(k);
    if (!noPredictions_) {
      for (int32_t k = 1; k <= K; ++k) header += ";prediction" + std::to_string(k);
    }
    const bool categorical = !noPredictions_ && !isContinuous_[r];
    if (categorical && r < categoryTexts.size()) {
      categoryCounts_[r] = static_cast<int32_t>(categoryTexts[r].size());
      std::string probabilityHeader = "ID";
      for (const std::string& text : categoryTexts[r]) probabilityHeader += ";probability-" + text;
      if (probabilityTables_[r] != nullptr) {
        KNNPMML::AddTableHeader(probabilityTables_[r], probabilityHeader);
      }
    }
    KNNPMML::AddTableHeader(neighbourTables_[r], header);
  }
}

VelCommon::VelStatus KNNPMMLPrediction::Accumulate(KNNNeighborList& list, const double* row) {
  const int32_t found = list.count;
  VelCommon::VelStatus status;
  for (size_t r = 0; r < summaries_.size() && r < kPerEntry_.size(); ++r) {
    // With one search for all responses, each response reads only its own K nearest.
    list.count = std::min(kPerEntry_[r], found);
    const std::vector<double>& v = summaries_[r]->PredictEachK(row, list);
    predictionVectors_[r].assign(v.begin(), v.end());
    status = summaries_[r]->AddError(row, predictionVectors_[r], accumulators_[r]);
    if (!status.IsOK()) break;
  }
  list.count = found;
  return status;
}

void KNNPMMLPrediction::Output(KNNNeighborList& list, const double* row) {
  const int32_t caseId =
      caseIdColumn_ >= 0 ? KNNCaseValue::TruncateToInt(row[caseIdColumn_]) : rowNumber_;
  for (size_t r = 0; r < neighbourTables_.size(); ++r) {
    const int32_t count = std::min(kPerEntry_[r], list.count);
    // Texts go straight into the row: a string per number would cost more than the number.
    rowText_.clear();
    KNNPMML::AppendIntText(rowText_, rowNumber_);
    rowText_ += ';';
    KNNPMML::AppendIntText(rowText_, caseId);
    for (int32_t j = 0; j < count; ++j) {
      const double* neighbour =
          rows_[static_cast<size_t>(list.items[static_cast<size_t>(j)].caseIndex)];
      rowText_ += ';';
      KNNPMML::AppendIntText(
          rowText_, caseIdColumn_ >= 0 ? KNNCaseValue::TruncateToInt(neighbour[caseIdColumn_]) : 0);
    }
    for (int32_t j = 0; j < count; ++j) {
      rowText_ += ';';
      KNNPMML::AppendNumberText(rowText_, list.items[static_cast<size_t>(j)].distance);
    }
    if (!noPredictions_ && r < predictionVectors_.size()) {
      const std::vector<double>& v = predictionVectors_[r];
      rowText_ += ';';
      if (isContinuous_[r]) {
        KNNPMML::AppendJoinedNumbers(rowText_, v, 0, static_cast<size_t>(count));
      } else {
        const auto ncat = static_cast<size_t>(categoryCounts_[r]);
        KNNPMML::AppendJoinedNumbers(
            rowText_, v, v.size() - std::min(v.size(), static_cast<size_t>(count)), v.size());
        if (probabilityTables_[r] != nullptr) {
          probabilityText_.clear();
          KNNPMML::AppendIntText(probabilityText_, rowNumber_);
          probabilityText_ += ';';
          KNNPMML::AppendJoinedNumbers(probabilityText_, v, 0, ncat);
          KNNPMML::AddTableRow(probabilityTables_[r], probabilityText_);
        }
      }
    }
    KNNPMML::AddTableRow(neighbourTables_[r], rowText_);
  }
  ++rowNumber_;
}

void KNNPMMLPrediction::ComputeErrors() {
  const std::vector<double> errors = KNNPredictionFactory::GetErrors();
  errors_.insert(errors_.end(), errors.begin(), errors.end());
}

namespace {

KNNPMML::ElementPtr NewScoringTable(KNNPMMLWriter& writer, const char* name) {
  KNNPMML::ElementPtr table;
  if (writer.streamLargeTables == 1) {
    table = KNNPMML::KNNXMLArchiveElement::CreateStreamed("SimpleTable", writer.useUTF8,
                                                          writer.settings.FileTempDir);
  } else {
    table = KNNPMML::NewElement("SimpleTable");
  }
  if (table != nullptr) table->AddAttribute("name", name);
  return table;
}

// Makes model r's tables and appends them to the writer's lists; false when a file failed.
bool CreateTables(KNNPMMLWriter& writer, size_t r) {
  KNNPMML::ElementPtr neighbours = NewScoringTable(writer, "neighborsDistances");
  if (!neighbours) return false;
  KNNPMML::ElementPtr probabilities;
  if (writer.responseCount > 0 && !writer.models[r]->IsContinuousResponse()) {
    probabilities = NewScoringTable(writer, "predictionProbability");
    if (!probabilities) return false;
  }
  writer.neighbourTables.push_back(std::move(neighbours));
  writer.probabilityTables.push_back(std::move(probabilities));
  return true;
}

std::vector<std::string> TextsOf(const KNNPMMLWriter& writer, size_t r) {
  const KNNSingleResponseModel& model = *writer.models[r];
  if (writer.responseCount == 0 || model.IsContinuousResponse()) return {};
  return writer.CategoryTexts(model.GetResponseIndex());
}

// Runs the scoring pass over every training case and leaves the tables filled.
void ScoreAllModels(KNNPMMLWriter& writer) {
  const KNNCaseRows& rows = writer.dataPreparation.caseRows;
  writer.neighbourTables.clear();
  writer.probabilityTables.clear();
  writer.predictors.clear();
  for (const KNNSingleResponseModel* model : writer.models) {
    writer.predictors.push_back(model->GetPredictor());
  }
  writer.scoringOutput =
      std::make_unique<KNNPMMLPrediction>(writer.predictors, rows, &writer.stopControl);
  KNNPMMLPrediction& scoring = *writer.scoringOutput;

  const bool noPredictions = writer.responseCount == 0;
  const int32_t caseIdColumn = writer.settings.CaseIDVariable;
  const std::string caseIdName = writer.VariableName(caseIdColumn);
  const auto fail = [&writer](long code) { writer.status = KNNStatus::Error(code); };

  if (!writer.sharedFeatureSet) {
    for (size_t r = 0; r < writer.models.size(); ++r) {
      KNNSingleResponseModel& model = *writer.models[r];
      if (!CreateTables(writer, r)) return fail(KNNStatus::kTempFileFailed);
      if (model.GetPredictor() != nullptr) scoring.SetSummaries({model.GetPredictor()});
      scoring.BeginOutput(noPredictions, {model.IsContinuousResponse()}, {model.GetK()},
                          caseIdColumn, caseIdName, {TextsOf(writer, r)},
                          {writer.neighbourTables[r].get()}, {writer.probabilityTables[r].get()});
      if (scoring.ScoreCases(model, rows, -1, model.GetK()).IsError()) {
        return fail(KNNStatus::kScoringTablesFailed);
      }
      scoring.ComputeErrors();
    }
    return;
  }

  int32_t maxK = 0;
  std::vector<bool> isContinuous;
  std::vector<int32_t> kPerEntry;
  std::vector<std::vector<std::string>> texts;
  std::vector<XMLElement*> neighbourTables;
  std::vector<XMLElement*> probabilityTables;
  for (size_t r = 0; r < writer.models.size(); ++r) {
    const KNNSingleResponseModel& model = *writer.models[r];
    if (!CreateTables(writer, r)) return fail(KNNStatus::kTempFileFailed);
    maxK = std::max(maxK, model.GetK());
    isContinuous.push_back(model.IsContinuousResponse());
    kPerEntry.push_back(model.GetK());
    texts.push_back(TextsOf(writer, r));
    neighbourTables.push_back(writer.neighbourTables[r].get());
    probabilityTables.push_back(writer.probabilityTables[r].get());
  }
  if (writer.models.empty()) return;
  scoring.BeginOutput(noPredictions, isContinuous, kPerEntry, caseIdColumn, caseIdName, texts,
                      neighbourTables, probabilityTables);
  if (scoring.ScoreCases(*writer.models[0], rows, -1, maxK).IsError()) {
    return fail(KNNStatus::kScoringTablesFailed);
  }
  scoring.ComputeErrors();
}

void Attach(KNNPMMLWriter& writer, XMLElement* extension, std::unique_ptr<XMLElement>& slot) {
  if (!slot) return;
  const XMLElement* table = slot.get();  // extension is plain: the table stays alive
  KNNPMML::AddChildTo(extension, std::move(slot));
  writer.CheckStreamedElement(table);
}

}  // namespace

void WriteScoringTables(KNNPMMLWriter& writer, XMLElement* extension, int32_t i) {
  if (i == 0) {
    ScoreAllModels(writer);
    if (writer.status.IsError()) return;
  }
  const auto index = static_cast<size_t>(i);
  if (index >= writer.neighbourTables.size()) return;
  Attach(writer, extension, writer.neighbourTables[index]);
  if (writer.responseCount > 0 && index < writer.probabilityTables.size()) {
    Attach(writer, extension, writer.probabilityTables[index]);
  }
}
