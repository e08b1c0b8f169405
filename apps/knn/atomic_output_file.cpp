#include "atomic_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace knncli {

AtomicOutputFile::~AtomicOutputFile() {
  Discard();
}

bool AtomicOutputFile::Open(const std::string& path, std::string& error) {
  Discard();
  path_ = path;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) {
    error = "'" + path + "' names a folder, not a file";
    return false;
  }
  std::string pattern = dir + "." + base + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; the result should carry the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666) & ~mask);
  close(fd);
  tempPath_ = name.data();
  stream_.open(tempPath_, std::ios::binary | std::ios::trunc);
  if (!stream_) {
    error = "cannot write '" + path + "'";
    std::remove(tempPath_.c_str());
    tempPath_.clear();
    return false;
  }
  open_ = true;
  return true;
}

bool AtomicOutputFile::Commit(std::string& error) {
  if (!open_) {
    error = "no output file is open";
    return false;
  }
  stream_.flush();
  const bool written = static_cast<bool>(stream_);
  stream_.close();
  if (!written || stream_.fail()) {
    error = "writing '" + path_ + "' failed";
    Discard();
    return false;
  }
  const int fd = open(tempPath_.c_str(), O_WRONLY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    error = "cannot replace '" + path_ + "': " + std::strerror(errno);
    Discard();
    return false;
  }
  open_ = false;
  tempPath_.clear();
  return true;
}

void AtomicOutputFile::Discard() {
  if (!open_) return;
  if (stream_.is_open()) stream_.close();
  std::remove(tempPath_.c_str());
  tempPath_.clear();
  open_ = false;
}

}  // namespace knncli
