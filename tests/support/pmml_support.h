// Helpers for the model-document tests: scratch folders, environment and working-folder
// overrides, files, and PMML schema validation and XPath queries through libxml2.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/cli_process.h"

namespace knntest {

using ScratchDir = clitest::TempDir;
using clitest::FileExists;
inline constexpr auto& ReadFile = clitest::ReadText;
inline constexpr auto& WriteFile = clitest::WriteText;

// Sets (or, with null, unsets) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Changes the working folder for the scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& path) { std::filesystem::current_path(path); }
  ~ScopedCwd() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path old_ = std::filesystem::current_path();
};

// One problem as libxml2 reports it.
struct SchemaIssue {
  int line = 0;
  std::string message;
};

// True when text is a complete XML document libxml2 reads without any error.
bool IsWellFormed(const std::string& text);

// Schema issues of a model document (first "not well-formed" when it does not parse), less the
// one deviation its element rules force: the focal flag's Extension written after the Value
// children of a string DataField.
std::vector<SchemaIssue> UntoleratedIssues(const std::string& document);

// Canonical text (no layout whitespace) of the nodes xpath selects in document, one per line;
// the PMML namespace is bound to the prefix "p". Attributes give name="value"; a string or
// number result is given as it stands.
std::string SelectCanonical(const std::string& document, const std::string& xpath);

}  // namespace knntest
