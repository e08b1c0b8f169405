#include "pmml/knn_xml_names.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace KNNPMML {

namespace {

bool IsAsciiLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Name characters, with the non-ASCII range taken as allowed (names are UTF-8).
bool IsNameStart(unsigned char c) {
  return IsAsciiLetter(c) || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.';
}

bool IsAllowedCodePoint(uint32_t code) {
  if (code < 0x20) return code == 0x09 || code == 0x0A || code == 0x0D;
  if (code >= 0xD800 && code <= 0xDFFF) return false;
  if (code == 0xFFFE || code == 0xFFFF) return false;
  return code <= 0x10FFFF;
}

// Length of the UTF-8 sequence at text[i] when it is well-formed, else 0; code receives it.
size_t Utf8Sequence(std::string_view text, size_t i, uint32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const uint32_t minimum = length == 2 ? 0x80 : (length == 3 ? 0x800 : 0x10000);
  return code >= minimum ? length : 0;
}

bool HasOnlyXmlCharacters(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(text, i, code);
    if (length == 0 || !IsAllowedCodePoint(code)) return false;
    i += length;
  }
  return true;
}

// A recursive-descent reader of XML content, keeping only what well-formedness needs.
class FragmentChecker {
 public:
  explicit FragmentChecker(std::string_view text) : text_(text) {}

  bool Check() {
    if (!HasOnlyXmlCharacters(text_)) return false;
    while (pos_ < text_.size()) {
      if (!Step()) return false;
    }
    return open_.empty();
  }

 private:
  struct OpenElement {
    std::string name;
    std::vector<std::string> declaredPrefixes;
  };

  bool StartsWith(std::string_view prefix) const {
    return text_.substr(pos_, prefix.size()) == prefix;
  }

  bool Step() {
    if (StartsWith("<!--")) return Comment();
    if (StartsWith("<![CDATA[")) return SkipPast("<![CDATA[", "]]>");
    if (StartsWith("<?")) return ProcessingInstruction();
    if (StartsWith("</")) return EndTag();
    if (StartsWith("<!")) return false;  // a declaration cannot stand in content
    if (StartsWith("<")) return StartTag();
    if (StartsWith("&")) return Reference();
    if (StartsWith("]]>")) return false;
    ++pos_;
    return true;
  }

  bool Comment() {
    const size_t end = text_.find("--", pos_ + 4);
    if (end == std::string_view::npos || !StartsWith("<!--")) return false;
    if (end + 2 >= text_.size() || text_[end + 2] != '>') return false;  // "--" inside
    pos_ = end + 3;
    return true;
  }

  bool SkipPast(std::string_view open, std::string_view close) {
    const size_t end = text_.find(close, pos_ + open.size());
    if (end == std::string_view::npos) return false;
    pos_ = end + close.size();
    return true;
  }

  bool ProcessingInstruction() {
    pos_ += 2;
    std::string target;
    if (!Name(target)) return false;
    std::string lower;
    for (char c : target) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lower == "xml" || target.find(':') != std::string::npos) return false;
    const size_t end = text_.find("?>", pos_);
    if (end == std::string_view::npos) return false;
    if (end != pos_ && !IsSpace(static_cast<unsigned char>(text_[pos_]))) return false;
    pos_ = end + 2;
    return true;
  }

  bool Name(std::string& name) {
    if (pos_ >= text_.size() || !IsNameStart(static_cast<unsigned char>(text_[pos_]))) {
      return false;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    name.assign(text_.substr(start, pos_ - start));
    return true;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  bool Reference() {
    const size_t end = text_.find(';', pos_);
    if (end == std::string_view::npos) return false;
    const std::string_view body = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    if (body == "amp" || body == "lt" || body == "gt" || body == "quot" || body == "apos") {
      return true;
    }
    if (body.size() < 2 || body[0] != '#') return false;
    uint32_t code = 0;
    const bool hex = body[1] == 'x';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits) {
      const auto u = static_cast<unsigned char>(c);
      uint32_t value = 0;
      if (IsDigit(u)) {
        value = u - '0';
      } else if (hex && u >= 'a' && u <= 'f') {
        value = u - 'a' + 10;
      } else if (hex && u >= 'A' && u <= 'F') {
        value = u - 'A' + 10;
      } else {
        return false;
      }
      code = code * (hex ? 16 : 10) + value;
    }
    return IsAllowedCodePoint(code);
  }

  // A name whose prefix, when it has one, is "xml" or declared here or by an ancestor.
  bool PrefixDeclared(const std::string& name, const std::vector<std::string>& own) const {
    const size_t colon = name.find(':');
    if (colon == std::string::npos) return true;
    if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != std::string::npos) {
      return false;
    }
    const std::string prefix = name.substr(0, colon);
    if (prefix == "xml") return true;
    for (const std::string& p : own) {
      if (p == prefix) return true;
    }
    for (const OpenElement& element : open_) {
      for (const std::string& p : element.declaredPrefixes) {
        if (p == prefix) return true;
      }
    }
    return false;
  }

  bool StartTag() {
    ++pos_;
    OpenElement element;
    if (!Name(element.name)) return false;
    std::vector<std::string> attributeNames;
    for (;;) {
      const size_t before = pos_;
      SkipSpace();
      if (pos_ >= text_.size()) return false;
      if (StartsWith("/>") || StartsWith(">")) break;
      if (pos_ == before) return false;  // attributes are separated by white space
      std::string attribute;
      if (!Name(attribute)) return false;
      SkipSpace();
      if (!StartsWith("=")) return false;
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return false;
      const char quote = text_[pos_++];
      const size_t valueStart = pos_;
      while (pos_ < text_.size() && text_[pos_] != quote) {
        if (text_[pos_] == '<') return false;
        if (text_[pos_] == '&') {
          if (!Reference()) return false;
        } else {
          ++pos_;
        }
      }
      if (pos_ >= text_.size()) return false;
      const std::string_view value = text_.substr(valueStart, pos_ - valueStart);
      ++pos_;
      for (const std::string& seen : attributeNames) {
        if (seen == attribute) return false;
      }
      attributeNames.push_back(attribute);
      if (attribute.rfind("xmlns:", 0) == 0) {
        if (value.empty()) return false;  // a prefix cannot be undeclared in XML 1.0
        element.declaredPrefixes.push_back(attribute.substr(6));
      }
    }
    if (!PrefixDeclared(element.name, element.declaredPrefixes)) return false;
    for (const std::string& attribute : attributeNames) {
      if (attribute.rfind("xmlns:", 0) == 0 || attribute == "xmlns") continue;
      if (!PrefixDeclared(attribute, element.declaredPrefixes)) return false;
    }
    if (StartsWith("/>")) {
      pos_ += 2;
      return true;
    }
    ++pos_;
    open_.push_back(std::move(element));
    return true;
  }

  bool EndTag() {
    pos_ += 2;
    std::string name;
    if (!Name(name)) return false;
    SkipSpace();
    if (!StartsWith(">")) return false;
    ++pos_;
    if (open_.empty() || open_.back().name != name) return false;
    open_.pop_back();
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::vector<OpenElement> open_;
};

}  // namespace

std::string EncodeElementName(const std::string& name) {
  std::string encoded;
  encoded.reserve(name.size());
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (IsAsciiLetter(u) || IsDigit(u) || u == '_' || u == '-' || u == '.' || u >= 0x80) {
      encoded += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "_x%02X_", static_cast<unsigned>(u));
      encoded += escape;
    }
  }
  if (!encoded.empty()) {
    const auto first = static_cast<unsigned char>(encoded[0]);
    if (IsDigit(first) || first == '-' || first == '.') encoded.insert(0, "_");
  }
  return encoded;
}

bool IsWellFormedFragment(const std::string& text) {
  return FragmentChecker(text).Check();
}

}  // namespace KNNPMML
