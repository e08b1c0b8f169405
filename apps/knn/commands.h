// The knn commands; each returns the process exit code.
#pragma once

#include "command_line.h"

namespace knncli {

int RunBuild(const BuildArgs& args);
int RunScore(const ScoreArgs& args);
int RunInfer(const InferArgs& args);
int RunDemo(const DemoArgs& args);

}  // namespace knncli
