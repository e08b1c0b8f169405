// Command-line arguments of the knn commands and their help texts.
#pragma once

#include <string>
#include <vector>

#include "settings_inference.h"

namespace knncli {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,        // a component or host status that is an error
  kExitUsage = 2,         // usage errors and unreadable or malformed files
  kExitInterrupted = 130  // Ctrl-C
};

enum class ParseResult { kOk, kHelp, kError };

struct BuildArgs {
  std::string settings;
  std::string train;
  std::string output = "model.pmml";
  std::string display;
  std::string report;  // empty: no HTML report
  bool utf8 = false;
  bool quiet = false;
};

struct ScoreArgs {
  std::string settings;
  std::string train;
  std::string newData;
  std::string output;  // empty: standard output
  bool quiet = false;
};

struct InferArgs {
  std::string train;
  InferOptions options;
};

struct DemoArgs {
  std::string outDir = "knn-demo";
  bool quiet = false;
};

ParseResult ParseBuildArgs(const std::vector<std::string>& args, BuildArgs& out,
                           std::string& error);
ParseResult ParseScoreArgs(const std::vector<std::string>& args, ScoreArgs& out,
                           std::string& error);
ParseResult ParseInferArgs(const std::vector<std::string>& args, InferArgs& out,
                           std::string& error);
ParseResult ParseDemoArgs(const std::vector<std::string>& args, DemoArgs& out, std::string& error);

// Help of one command, or of the program for an empty or unknown command.
std::string HelpText(const std::string& command);

}  // namespace knncli
