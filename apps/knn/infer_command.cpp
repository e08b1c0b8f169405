#include <cstdio>

#include "commands.h"
#include "csv_reader.h"
#include "session.h"
#include "settings_inference.h"

namespace knncli {

int RunInfer(const InferArgs& args) {
  std::string text;
  std::string error;
  if (!ReadWholeFile(args.train, text, error)) {
    PrintError(error);
    return kExitUsage;
  }
  std::string document;
  std::vector<std::string> notes;
  if (!InferSettings(text, args.train, args.options, document, notes, error)) {
    PrintError(error);
    return kExitUsage;
  }
  for (const std::string& note : notes) PrintError("note: " + note);
  if (std::fwrite(document.data(), 1, document.size(), stdout) != document.size() ||
      std::fflush(stdout) != 0) {
    PrintError("writing the settings document failed");
    return kExitUsage;
  }
  return kExitOk;
}

}  // namespace knncli
