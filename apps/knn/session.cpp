#include "session.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "csv_reader.h"
#include "host/vel_display.h"
#include "model_summary.h"
#include "scored_csv.h"
#include "status_messages.h"

namespace knncli {

void PrintError(const std::string& message) {
  std::fprintf(stderr, "knn: %s\n", message.c_str());
}

Session::Session(bool quiet) {
  InstallInterruptHandler();
  if (!quiet && isatty(STDERR_FILENO) == 1) progress_ = std::make_unique<ProgressPrinter>(stderr);
}

int Session::Fail(const VelCommon::VelStatus& status) {
  PrintWarnings();
  if (status.GetErrorCode() == 1 || InterruptRequested()) {
    PrintError("interrupted");
    return kExitInterrupted;
  }
  PrintError(StatusMessage(status, settingsKnown_ ? &settings_ : nullptr));
  return kExitFailed;
}

int Session::Load(CsvDataSource& source, const std::string& path, bool absentAreMissing) {
  std::string error;
  switch (source.Load(path, *settings_.variables, absentAreMissing, error)) {
    case LoadOutcome::kOk:
      return kExitOk;
    case LoadOutcome::kInterrupted:
      PrintError("interrupted");
      return kExitInterrupted;
    case LoadOutcome::kError:
      break;
  }
  PrintError(error);
  return kExitUsage;
}

void Session::CollectWarnings() {
  if (!algorithm_) return;
  const std::vector<VelCommon::VelStatus>* list = algorithm_->GetWarnings();
  if (list == nullptr) return;
  for (const VelCommon::VelStatus& warning : *list) {
    bool known = false;
    for (const VelCommon::VelStatus& seen : warnings_) known = known || seen == warning;
    if (!known) warnings_.push_back(warning);
  }
}

void Session::PrintWarnings() {
  for (; warningsPrinted_ < warnings_.size(); ++warningsPrinted_) {
    PrintError("warning " +
               StatusMessage(warnings_[warningsPrinted_], settingsKnown_ ? &settings_ : nullptr));
  }
}

int Session::Open(const std::string& settingsPath) {
  std::string document;
  std::string error;
  if (!ReadWholeFile(settingsPath, document, error)) {
    PrintError(error);
    return kExitUsage;
  }
  if (!library_.Open(ComponentCandidates(ExecutableDir()), error)) {
    PrintError("cannot load the component: " + error);
    return kExitFailed;
  }
  factory_ = library_.CreateFactory();
  if (!factory_) {
    PrintError("the component returned no factory");
    return kExitFailed;
  }
  // The host's own reading gives field names for messages and the variable list the data
  // is converted with; the component's verdict on the settings comes first.
  const VelCommon::VelStatus hostReading = ReadSettingsInfo(document, settings_);
  settingsKnown_ = !hostReading.IsError();
  std::istringstream stream(document);
  algorithm_.reset(factory_->CreateVelAlgorithm(stream));
  if (!algorithm_) return Fail(factory_->GetStatus());
  if (factory_->GetStatus().IsWarning()) warnings_.push_back(factory_->GetStatus());
  CollectWarnings();
  if (!settingsKnown_) return Fail(hostReading);
  algorithm_->SetInterruptCheck(&interruptCheck_);
  if (progress_) algorithm_->SetProgressListener(progress_.get());
  return kExitOk;
}

int Session::BuildFrom(const std::string& trainPath) {
  if (const int exit = Load(train_, trainPath, false); exit != kExitOk) return exit;
  const VelCommon::VelStatus status = algorithm_->Build(train_);
  CollectWarnings();
  // A streamed file that failed on a later pass gave the build too few records: its reason
  // comes first, whatever the component made of them.
  if (!train_.PassError().empty()) {
    PrintWarnings();
    PrintError(train_.PassError());
    return kExitUsage;
  }
  if (status.IsError()) return Fail(status);
  if (InterruptRequested()) return Fail(VelCommon::VelStatus(1, false));
  return kExitOk;
}

int Session::OpenOutput(AtomicOutputFile& file, const std::string& path) {
  std::string error;
  if (file.Open(path, error)) return kExitOk;
  PrintError(error);
  return kExitUsage;
}

int Session::WriteModel(AtomicOutputFile& out, const std::string& path, bool utf8) {
  std::string error;
  PMMLExportOptions options;
  options.useUTF8 = utf8;
  options.applicationName = "knn";
  options.applicationVersion = KNN_VERSION;
  const VelCommon::VelStatus status = algorithm_->WritePMML(out.Stream(), &options);
  CollectWarnings();
  if (status.IsError()) return Fail(status);
  // A Ctrl-C that came after the component's last look still cancels the output.
  if (InterruptRequested()) return Fail(VelCommon::VelStatus(1, false));
  if (!out.Commit(error)) {
    PrintError(error);
    return kExitUsage;
  }
  std::vector<ModelSummary> summaries;
  if (!ReadModelSummaries(path, summaries, error)) {
    PrintError(error);
    return kExitFailed;
  }
  for (const ModelSummary& summary : summaries) {
    std::fprintf(stderr, "%s\n", FormatSummary(summary).c_str());
  }
  PrintWarnings();
  return kExitOk;
}

int Session::WriteDisplay(AtomicOutputFile& out) {
  std::string error;
  algorithm_->Display(out.Stream());
  // The display keeps the stream it was given; it must not outlive the file.
  VelComponentDisplay::SetOutStream(nullptr);
  if (!out.Commit(error)) {
    PrintError(error);
    return kExitUsage;
  }
  return kExitOk;
}

VelCommon::VelStatus Session::Score(const VelCommon::Record& record,
                                    std::vector<std::vector<double>>& results) {
  results.clear();
  return algorithm_->ScoreRecord(&record, nullptr, &results);
}

int Session::WriteScores(const std::string& newPath, AtomicOutputFile* file) {
  CsvDataSource scored;
  if (const int exit = Load(scored, newPath, true); exit != kExitOk) return exit;
  std::string error;
  for (const std::string& field : scored.AbsentFields()) {
    PrintError("note: " + newPath + " has no column '" + field + "'; its values are missing");
  }

  // The number of neighbours per target is known only from a scored record: take the first
  // training case (or new record) that scores. Both files are read record by record, so a
  // large one is never held in memory.
  std::vector<std::vector<double>> results;
  ScoredCsvLayout layout;
  bool sized = false;
  for (CsvDataSource* source : {&train_, &scored}) {
    if (sized || !source->Rewind()) continue;
    while (const VelCommon::Record* record = source->NextRecord()) {
      if (Score(*record, results).IsError()) continue;
      if (!layout.Init(settings_, results, error)) {
        PrintError(error);
        return kExitFailed;
      }
      sized = true;
      break;
    }
  }
  if (!sized) layout.InitEmpty();

  std::ostream& out = file == nullptr ? std::cout : file->Stream();
  out << layout.Header() << '\n';
  int number = 0;
  const VelCommon::Record* record = scored.Rewind() ? scored.NextRecord() : nullptr;
  for (; record != nullptr; record = scored.NextRecord()) {
    if (InterruptRequested()) return Fail(VelCommon::VelStatus(1, false));
    const VelCommon::VelStatus status = Score(*record, results);
    out << layout.Row(++number, status.GetErrorCode(), status.IsError() ? nullptr : &results)
        << '\n';
  }
  for (const CsvDataSource* source : {&train_, &scored}) {
    if (!source->PassError().empty()) {
      PrintError(source->PassError());
      return kExitUsage;
    }
  }
  out.flush();
  if (file == nullptr) {
    if (!out) {
      PrintError("writing the scored records failed");
      return kExitUsage;
    }
  } else if (!file->Commit(error)) {
    PrintError(error);
    return kExitUsage;
  }
  PrintWarnings();
  return kExitOk;
}

}  // namespace knncli
