// Helpers for the model-document tests: scratch folders, environment and working-folder
// overrides, file reading, and PMML schema validation and XPath queries through libxml2.
#pragma once

#include <string>
#include <vector>

namespace knntest {

// A fresh folder under the system temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  // Names of the entries of the folder (not recursive), sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

// Sets (or, with null, unsets) an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// Changes the working folder for the scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& path);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::string old_;
};

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// One schema problem: line and message as libxml2 reports them.
struct SchemaIssue {
  int line = 0;
  std::string message;
};

// True when text is well-formed XML (a complete document).
bool IsWellFormed(const std::string& text);

// Schema issues of a model document (first "not well-formed" when it does not parse), less the one
// deviation its element rules force: the focal flag's Extension written after the Value children of
// a string DataField.
std::vector<SchemaIssue> UntoleratedIssues(const std::string& document);

// Canonical text (no layout whitespace) of the nodes that xpath selects in document, one per
// line; the PMML namespace is bound to the prefix "p". Attributes give name="value"; a
// string or number result is given as it stands.
std::string SelectCanonical(const std::string& document, const std::string& xpath);

}  // namespace knntest
