#include "commands.h"
#include "session.h"

namespace knncli {

int RunScore(const ScoreArgs& args) {
  // Before any output file exists, so that Ctrl-C can never leave one behind.
  InstallInterruptHandler();
  AtomicOutputFile output;
  if (!args.output.empty()) {
    const int code = Session::OpenOutput(output, args.output);
    if (code != kExitOk) return code;
  }
  Session session(args.quiet);
  int code = session.Open(args.settings);
  if (code == kExitOk) code = session.BuildFrom(args.train);
  if (code == kExitOk)
    code = session.WriteScores(args.newData, args.output.empty() ? nullptr : &output);
  return code;
}

}  // namespace knncli
