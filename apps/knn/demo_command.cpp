#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "component_loader.h"
#include "report/report.h"
#include "session.h"

namespace knncli {
namespace {

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The example sits beside the sources in a build tree (<build>/bin/knn) and under
// share/knn when installed (<prefix>/bin/knn).
std::string FindIrisExample() {
  const std::string exeDir = ExecutableDir();
  const std::string candidates[] = {exeDir + "/../../examples/iris",
                                    exeDir + "/../" KNN_INSTALL_DATADIR "/knn/examples/iris"};
  for (const std::string& dir : candidates) {
    if (!IsFile(dir + "/settings.xml") || !IsFile(dir + "/iris.csv")) continue;
    char resolved[PATH_MAX];
    return realpath(dir.c_str(), resolved) != nullptr ? std::string(resolved) : dir;
  }
  return std::string();
}

bool MakeFolders(const std::string& path, std::string& error) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string prefix = path.substr(0, pos);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      error = "cannot create the folder '" + prefix + "': " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

int RunDemo(const DemoArgs& args) {
  // Before any output file exists, so that Ctrl-C can never leave one behind.
  InstallInterruptHandler();
  const std::string example = FindIrisExample();
  if (example.empty()) {
    PrintError("cannot find the bundled iris example next to the knn executable");
    return kExitUsage;
  }
  std::string error;
  if (!MakeFolders(args.outDir, error)) {
    PrintError(error);
    return kExitUsage;
  }
  const std::string model = args.outDir + "/model.pmml";
  const std::string scored = args.outDir + "/scored.csv";
  std::fprintf(stderr, "knn demo: iris example from %s\n", example.c_str());
  AtomicOutputFile modelFile;
  AtomicOutputFile scoredFile;
  int code = Session::OpenOutput(modelFile, model);
  if (code == kExitOk) code = Session::OpenOutput(scoredFile, scored);
  if (code != kExitOk) return code;
  Session session(args.quiet);
  code = session.Open(example + "/settings.xml");
  if (code == kExitOk) code = session.BuildFrom(example + "/iris.csv");
  if (code == kExitOk) code = session.WriteModel(modelFile, model, false);
  if (code == kExitOk) code = session.WriteScores(example + "/iris.csv", &scoredFile);
  const std::string report = args.outDir + "/report.html";
  if (code == kExitOk) code = RunReportCommand({model, "-o", report});
  if (code == kExitOk) {
    std::fprintf(stderr, "knn demo: wrote %s, %s and %s\n", model.c_str(), scored.c_str(),
                 report.c_str());
  }
  return code;
}

}  // namespace knncli
