// Helpers for the model-document tests: scoped environment and working-folder overrides, files,
// and PMML schema validation and XPath queries through libxml2.
#pragma once

#include <stdlib.h>

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
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

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

struct SchemaIssue {
  int line = 0;
  std::string message;
};

// True when libxml2 reads text as a complete document without any error.
bool IsWellFormed(const std::string& text);

// Schema issues of a model document (first "not well-formed" when it does not parse), less the
// one deviation its element rules force: the focal flag's Extension written after the Value
// children of a string DataField.
std::vector<SchemaIssue> UntoleratedIssues(const std::string& document);

// Canonical text (no layout whitespace) of the nodes xpath selects, one per line, with the PMML
// namespace bound to "p". Attributes give name="value"; a string or number result as it stands.
std::string SelectCanonical(const std::string& document, const std::string& xpath);

}  // namespace knntest
