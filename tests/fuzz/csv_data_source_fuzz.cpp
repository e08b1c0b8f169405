// Arbitrary bytes as the training CSV of the knn host, against one fixed settings document
// that has a field of every kind: the reader must accept the file or name the problem, every
// stored value must be one the conversions can produce, and a build over what was accepted
// must end in a status, never a crash or an escaped exception.
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "csv_data_source.h"
#include "fuzz_entries.h"
#include "host/vel_missing.h"
#include "interrupt_flag.h"
#include "knn/knn.h"

namespace knnfuzz {
namespace {

// id is generated when the file has no such column; focal defaults to 0 likewise.
constexpr const char* kSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<settings>
  <fields>
    <field name="id" optype="continuous" dataType="integer" min="1" max="1000000" generated="row-number"/>
    <field name="x" optype="continuous" dataType="double" min="-100" max="100"/>
    <field name="day" optype="continuous" dataType="date" min="2000-01-01" max="2030-12-31"/>
    <field name="c" optype="categorical" dataType="string">
      <value value="a"/><value value="b"/><value value="&quot;q,&quot;"/>
    </field>
    <field name="n" optype="categorical" dataType="integer">
      <value value="1"/><value value="2"/><value value="3"/>
    </field>
    <field name="y" optype="categorical" dataType="string"><value value="no"/><value value="yes"/></field>
    <field name="z" optype="continuous" dataType="double" min="0" max="1"/>
    <field name="focal" optype="categorical" dataType="integer" default="0">
      <value value="0"/><value value="1"/>
    </field>
  </fields>
  <targets><field name="y"/><field name="z"/></targets>
  <inputs><field name="x"/><field name="day"/><field name="c"/><field name="n"/></inputs>
  <param name="CaseIDVar">id</param>
  <param name="FocalVar">focal</param>
  <param name="SpecifiedK">2</param>
  <param name="TempFileDir"></param>
</settings>
)";

std::unique_ptr<IVelAlgorithm> CreateAlgorithm(IVelFactory& factory) {
  std::istringstream settings(kSettings);
  std::unique_ptr<IVelAlgorithm> algorithm(factory.CreateVelAlgorithm(settings));
  KNN_FUZZ_CHECK(algorithm != nullptr);
  return algorithm;
}

}  // namespace

int FuzzCsvDataSource(const uint8_t* data, size_t size) {
  knncli::SetInterruptRequested(false);
  std::unique_ptr<IVelFactory> factory(GetVelFactory());
  std::unique_ptr<IVelAlgorithm> algorithm = CreateAlgorithm(*factory);
  const VelMTD::VelVarList& variables = *dynamic_cast<KNNAlgorithm&>(*algorithm).GetVarList();

  knncli::CsvDataSource source;
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const knncli::LoadOutcome outcome = source.LoadText(text, "fuzz.csv", variables, false, error);
  if (outcome != knncli::LoadOutcome::kOk) {
    KNN_FUZZ_CHECK(outcome == knncli::LoadOutcome::kError);
    KNN_FUZZ_CHECK(!error.empty());
    return 0;
  }
  KNN_FUZZ_CHECK(source.Width() == variables.Size());
  for (int r = 0; r < source.RecordCount(); ++r) {
    const double* row = source.Row(r);
    for (int v = 0; v < source.Width(); ++v) {
      const VelMTD::IVelVariable& variable = *variables.GetVarAt(v);
      const double value = row[v];
      if (variable.GetMeasureKind() == VelMTD::kContinuous) {
        KNN_FUZZ_CHECK(value == VelMV::gMissingValue || std::isfinite(value));
      } else {
        const int count = variable.GetCategories() ? variable.GetCategories()->Size() : 0;
        KNN_FUZZ_CHECK(value == -1.0 ||
                       (value >= 0.0 && value < count && value == std::floor(value)));
      }
    }
  }

  const VelCommon::VelStatus built = algorithm->Build(source);
  KNN_FUZZ_CHECK(built.GetErrorCode() != KNNStatus::kOutOfMemory);
  KNN_FUZZ_CHECK(algorithm->IsBuilt() == !built.IsError());
  if (built.IsError()) return 0;
  // Every accepted record can be scored again (those with missing inputs get a status).
  KNN_FUZZ_CHECK(source.Rewind());
  for (int r = 0; r < 4; ++r) {
    const VelCommon::Record* record = source.NextRecord();
    if (record == nullptr) break;
    std::vector<std::vector<double>> results;
    const VelCommon::VelStatus scored = algorithm->ScoreRecord(record, nullptr, &results);
    KNN_FUZZ_CHECK(scored.GetErrorCode() != KNNStatus::kOutOfMemory);
    if (!scored.IsError()) {
      KNN_FUZZ_CHECK(results.size() == 2);
      for (const auto& perTarget : results) {
        for (double value : perTarget) KNN_FUZZ_CHECK(!std::isnan(value));
      }
    }
  }
  return 0;
}

}  // namespace knnfuzz
