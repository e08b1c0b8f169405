#include "progress_printer.h"

#include "knn/progress_report.h"

namespace knncli {

std::string StageText(int stageCode, int casesRead) {
  // Stage codes are those the component's reporter answers for "ReportStage".
  switch (stageCode) {
    case 0:
      return "reading cases: " + std::to_string(casesRead);
    case 1:
      return "model selection done";
    case 2:
      return "building the model done";
    case 3:
      return "scoring training cases done";
    case 4:
      return "K selection done";
    case 5:
      return "feature selection done";
    case 6:
      return "K and feature selection done";
    case 7:
      return "feature importance done";
    case 8:
      return "feature weighting done";
    case 9:
      return "writing training instances done";
    case 10:
      return "writing neighbour tables done";
    case 11:
      return "writing PMML done";
    default:
      return std::string();
  }
}

ProgressPrinter::ProgressPrinter(std::FILE* out)
    : out_(out), start_(std::chrono::steady_clock::now()) {}

// The report lives in the component, which the host never links: the sanitizer's check of
// its dynamic type would need the component's type information at link time.
__attribute__((no_sanitize("vptr"))) void ProgressPrinter::Notify(ProgressReport* report) {
  if (report == nullptr) return;
  const int stage = report->DiscreteMeasure("ReportStage");
  const std::string text = StageText(stage, report->DiscreteMeasure("cases"));
  if (text.empty()) return;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  std::fprintf(out_, "[%8.2f s] %s\n", elapsed.count(), text.c_str());
  std::fflush(out_);
}

}  // namespace knncli
