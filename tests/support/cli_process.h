// Running the knn program from tests, temporary folders and small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace clitest {

struct RunResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out, err;
};

// Runs knn (KNN_CLI_PATH) in folder dir and waits for it.
RunResult RunKnn(const std::vector<std::string>& args, const std::string& dir = ".");
// Starts knn in the background, its output going to the files outPath and errPath.
pid_t StartKnn(const std::vector<std::string>& args, const std::string& dir,
               const std::string& outPath, const std::string& errPath);
// The exit code, or -1 after timeoutSeconds (the process is then killed).
int WaitForExit(pid_t pid, double timeoutSeconds);

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Sorted names; empty when the folder does not exist.
std::vector<std::string> ListDir(const std::string& path);
std::vector<std::string> Lines(const std::string& text);  // without line ends
// The failure names the first part missing from text.
::testing::AssertionResult Contains(const std::string& text, const std::vector<std::string>& parts);

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Entries() const { return ListDir(path_); }

 private:
  std::string path_;
};

}  // namespace clitest
