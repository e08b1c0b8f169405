// knn: the command-line host of the nearest-neighbour component.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "report/report.h"
#include "session.h"

namespace {

using knncli::ParseResult;

template <typename Args, typename Parse, typename Run>
int Dispatch(const std::string& command, const std::vector<std::string>& args, Parse parse,
             Run run) {
  Args parsed;
  std::string error;
  switch (parse(args, parsed, error)) {
    case ParseResult::kHelp:
      std::fputs(knncli::HelpText(command).c_str(), stdout);
      return knncli::kExitOk;
    case ParseResult::kError:
      knncli::PrintError(command + ": " + error + " (see knn " + command + " --help)");
      return knncli::kExitUsage;
    case ParseResult::kOk:
      break;
  }
  return run(parsed);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    std::fputs(knncli::HelpText("").c_str(), stderr);
    return knncli::kExitUsage;
  }
  const std::string& command = all[0];
  const std::vector<std::string> args(all.begin() + 1, all.end());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(knncli::HelpText(args.empty() ? "" : args[0]).c_str(), stdout);
    return knncli::kExitOk;
  }
  if (command == "--version") {
    std::printf("knn %s\n", KNN_VERSION);
    return knncli::kExitOk;
  }
  if (command == "build") {
    return Dispatch<knncli::BuildArgs>(command, args, knncli::ParseBuildArgs, knncli::RunBuild);
  }
  if (command == "score") {
    return Dispatch<knncli::ScoreArgs>(command, args, knncli::ParseScoreArgs, knncli::RunScore);
  }
  if (command == "infer") {
    return Dispatch<knncli::InferArgs>(command, args, knncli::ParseInferArgs, knncli::RunInfer);
  }
  if (command == "report") {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
      std::fputs(knncli::HelpText(command).c_str(), stdout);
      return knncli::kExitOk;
    }
    return RunReportCommand(args);
  }
  if (command == "demo") {
    return Dispatch<knncli::DemoArgs>(command, args, knncli::ParseDemoArgs, knncli::RunDemo);
  }
  knncli::PrintError("unknown command '" + command + "' (see knn --help)");
  return knncli::kExitUsage;
}
