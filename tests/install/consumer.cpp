// Uses the installed headers and libraries: the factory, the exported reporter, and the
// host status type. Exits non-zero on the first thing that does not work.
#include <cstdio>
#include <memory>
#include <sstream>

#include "host/vel_status.h"
#include "knn/knn.h"
#include "knn/progress_report.h"

namespace {

int Check(bool condition, const char* what) {
  if (!condition) std::fprintf(stderr, "consumer: %s\n", what);
  return condition ? 0 : 1;
}

}  // namespace

int main() {
  int failures = 0;
  std::unique_ptr<IVelFactory> factory(GetVelFactory());
  failures += Check(factory != nullptr, "GetVelFactory returned null");
  if (!factory) return 1;
  failures += Check(factory->GetStatus().IsOK(), "a fresh factory is not OK");

  // A stream already in a failed state is refused with the settings-stream code.
  std::istringstream broken("<settings/>");
  broken.setstate(std::ios::failbit);
  std::unique_ptr<IVelAlgorithm> algorithm(factory->CreateVelAlgorithm(broken));
  failures += Check(algorithm == nullptr, "a failed stream gave an algorithm");
  failures +=
      Check(factory->GetStatus().GetErrorCode() == 200002, "a failed stream did not give 200002");

  KNNReporter reporter;
  reporter.SetStartTime(1000.0);
  reporter.SetValues("buildModel", 1, 3500.0);
  failures += Check(reporter.DiscreteMeasure("buildModel") == 1, "reporter counter");
  failures += Check(reporter.ScaleMeasure("elapsedTime") == 2.5, "reporter elapsed time");

  std::printf("consumer: %s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
