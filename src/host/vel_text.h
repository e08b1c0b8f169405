// Conversion between UTF-8 and the system's narrow code page (UTF-8 on this platform,
// so both directions keep the bytes).
#pragma once

#include <string>

class ExtNameStr {
 public:
  void SetU8(const std::string& utf8) { text_ = utf8; }
  void SetCP(const std::string& codePage) { text_ = codePage; }
  std::string GetCP() const { return text_; }
  std::string GetU8() const { return text_; }

 private:
  std::string text_;
};
