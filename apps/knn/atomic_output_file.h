// An output file written under a temporary name in its own folder and renamed over the
// final name only when complete, so an existing file is never left half-written.
#pragma once

#include <fstream>
#include <string>

namespace knncli {

class AtomicOutputFile {
 public:
  AtomicOutputFile() = default;
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~AtomicOutputFile();

  // Creates the temporary file next to path; false with a reason when the folder cannot
  // take it.
  bool Open(const std::string& path, std::string& error);
  std::ostream& Stream() { return stream_; }
  const std::string& TempPath() const { return tempPath_; }
  // Flushes, syncs and renames over the final name.
  bool Commit(std::string& error);
  // Closes and removes the temporary file.
  void Discard();

 private:
  std::string path_;
  std::string tempPath_;
  std::ofstream stream_;
  bool open_ = false;
};

}  // namespace knncli
