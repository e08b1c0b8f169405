#include "commands.h"
#include "report/report.h"
#include "session.h"

namespace knncli {

int RunBuild(const BuildArgs& args) {
  // Before any output file exists, so that Ctrl-C can never leave one behind.
  InstallInterruptHandler();
  AtomicOutputFile model;
  AtomicOutputFile display;
  int code = Session::OpenOutput(model, args.output);
  if (code == kExitOk && !args.display.empty()) code = Session::OpenOutput(display, args.display);
  if (code != kExitOk) return code;
  Session session(args.quiet);
  code = session.Open(args.settings);
  if (code == kExitOk) code = session.BuildFrom(args.train);
  if (code == kExitOk) code = session.WriteModel(model, args.output, args.utf8);
  if (code == kExitOk && !args.display.empty()) code = session.WriteDisplay(display);
  if (code == kExitOk && !args.report.empty()) {
    code = RunReportCommand({args.output, "-o", args.report});
  }
  return code;
}

}  // namespace knncli
