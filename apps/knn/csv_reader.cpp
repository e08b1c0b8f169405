#include "csv_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace knncli {

CsvReader::CsvReader(std::string_view text) : text_(text) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text_.substr(0, kBom.size()) == kBom) pos_ = kBom.size();
}

bool CsvReader::ConsumeLineEnd() {
  if (pos_ >= text_.size()) return false;
  if (text_[pos_] == '\r') {
    ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
    return true;
  }
  if (text_[pos_] == '\n') {
    ++pos_;
    ++line_;
    return true;
  }
  return false;
}

bool CsvReader::Next(std::vector<std::string>& cells) {
  cells.clear();
  error_.clear();
  while (ConsumeLineEnd()) {
  }
  if (pos_ >= text_.size()) return false;
  recordLine_ = line_;

  std::string cell;
  while (true) {
    cell.clear();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      while (true) {
        if (pos_ >= text_.size()) {
          error_ = "a quoted cell is not closed";
          return false;
        }
        const char c = text_[pos_];
        if (c == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            cell.push_back('"');
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        // A line end inside quotes belongs to the cell but still counts as a line.
        if (c == '\n' || (c == '\r' && !(pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n'))) {
          ++line_;
        }
        cell.push_back(c);
        ++pos_;
      }
      if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\n' && text_[pos_] != '\r') {
        error_ = "text follows the closing quote of a cell";
        return false;
      }
    } else {
      const size_t start = pos_;
      while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\n' &&
             text_[pos_] != '\r') {
        if (text_[pos_] == '"') {
          error_ = "a quote inside an unquoted cell";
          return false;
        }
        ++pos_;
      }
      cell.assign(text_.substr(start, pos_ - start));
    }
    cells.push_back(cell);
    if (pos_ < text_.size() && text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    ConsumeLineEnd();
    return true;
  }
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    error = std::string("cannot read '") + path + "': it is a folder";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::string("cannot open '") + path + "': " + std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = std::string("cannot read '") + path + "'";
    return false;
  }
  contents = std::move(buffer).str();
  return true;
}

}  // namespace knncli
