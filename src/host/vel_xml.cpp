#include "host/vel_xml.h"

#include <locale.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace VelXML {

namespace {

constexpr const char kReplacementChar[] = "\xEF\xBF\xBD";
constexpr const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// The UTF-8 sequence at text[i]: its length, 0 when the bytes there are not well-formed
// UTF-8 (overlong, surrogate, truncated, beyond U+10FFFF); allowed tells whether XML 1.0
// accepts the character it encodes.
size_t SequenceAt(const std::string& text, size_t i, bool& allowed) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    allowed = lead >= 0x20 || lead == 0x09 || lead == 0x0A || lead == 0x0D;
    return 1;
  }
  size_t length = 0;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;  // continuation byte, overlong lead (C0/C1) or beyond U+10FFFF
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = byte(i + k);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const char32_t minimum = length == 2 ? 0x80 : (length == 3 ? 0x800 : 0x10000);
  if (code < minimum || code > 0x10FFFF) return 0;  // overlong or out of range
  if (code >= 0xD800 && code <= 0xDFFF) return 0;   // surrogates are not characters
  allowed = code != 0xFFFE && code != 0xFFFF;       // the two non-characters XML excludes
  return length;
}

// Output target shared by the string and the stream serialisers, so both produce the same
// bytes from one algorithm.
class StringSink {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  void Put(const std::string& piece) { text_ += piece; }
  void Child(const XMLInterface& child, ExportFormat& format) { child.AppendTo(text_, format); }

 private:
  std::string& text_;
};

class StreamSink {
 public:
  StreamSink(std::ostream& out, bool useUTF8) : out_(out), useUTF8_(useUTF8) {}
  void Put(const std::string& piece) {
    if (useUTF8_) {
      WriteUTF(out_, piece);
    } else {
      Write(out_, piece);
    }
  }
  void Child(const XMLInterface& child, ExportFormat& format) {
    child.WriteTo(out_, format, useUTF8_);
  }

 private:
  std::ostream& out_;
  bool useUTF8_;
};

// Line break and indentation that start a node at the format's current depth.
std::string NodeLead(const ExportFormat& format) {
  std::string lead;
  if (format.IsCompact()) return lead;
  if (format.IsNewParagraph()) lead += '\n';
  if (format.HasIndentation() && format.GetDepth() > 0) {
    lead.append(static_cast<size_t>(format.GetDepth()), '\t');
  }
  return lead;
}

void AfterNode(ExportFormat& format) {
  format.SetIsNewParagraph(true);
  format.SetIndentation(true);
}

template <typename Sink>
void SerialiseText(const XMLString& node, ExportFormat& format, Sink& sink) {
  sink.Put(NodeLead(format) + EscapeText(node.GetText(), false));
  AfterNode(format);
}

template <typename Sink>
void SerialiseElement(const XMLElement& element, ExportFormat& format, Sink& sink) {
  const int depth = format.GetDepth();
  std::string open = NodeLead(format);
  open += '<';
  open += element.GetName();
  for (const XMLAttribute& attribute : element.GetAttributes()) {
    open += ' ';
    attribute.AppendTo(open);
  }
  const auto& children = element.GetChildren();
  if (children.empty()) {
    open += "/>";
    sink.Put(open);
    AfterNode(format);
    return;
  }
  open += '>';

  // Text-only content stays on the element's line: <Row>a;b</Row>.
  bool textOnly = true;
  for (const auto& child : children) {
    if (dynamic_cast<const XMLString*>(child.get()) == nullptr) {
      textOnly = false;
      break;
    }
  }
  if (textOnly) {
    for (const auto& child : children) {
      open += EscapeText(static_cast<const XMLString&>(*child).GetText(), false);
    }
    open += "</";
    open += element.GetName();
    open += '>';
    sink.Put(open);
    AfterNode(format);
    return;
  }

  sink.Put(open);
  for (const auto& child : children) {
    format.SetDepth(depth + 1);
    sink.Child(*child, format);
  }
  format.SetDepth(depth);
  AfterNode(format);
  std::string close = NodeLead(format);
  close += "</";
  close += element.GetName();
  close += '>';
  sink.Put(close);
  AfterNode(format);
}

// A locale object for the "C" numeric conventions, made once and never freed: number texts
// must not depend on whatever locale the host process has set.
locale_t CNumericLocale() {
  static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

// Switches the calling thread to the "C" numeric conventions for its lifetime.
class ScopedCNumeric {
 public:
  explicit ScopedCNumeric(locale_t cLocale)
      : previous_(cLocale != static_cast<locale_t>(0) ? uselocale(cLocale)
                                                      : static_cast<locale_t>(0)) {}
  ScopedCNumeric(const ScopedCNumeric&) = delete;
  ScopedCNumeric& operator=(const ScopedCNumeric&) = delete;
  ~ScopedCNumeric() {
    if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
  }

 private:
  locale_t previous_;
};

void WriteTreeImpl(std::ostream& out, const char* docType, const XMLInterface* root, bool indent,
                   bool useUTF8) {
  StreamSink sink(out, useUTF8);
  sink.Put(kDeclaration);
  if (docType != nullptr) {
    std::string line = "\n";
    if (std::strncmp(docType, "<!", 2) == 0) {
      line += docType;
    } else {
      line += "<!DOCTYPE ";
      line += docType;
      line += '>';
    }
    sink.Put(line);
  }
  if (root != nullptr) {
    ExportFormat format;
    if (!indent) {
      sink.Put("\n");
      format.SetCompact(true);
    }
    root->WriteTo(out, format, useUTF8);
  }
  sink.Put("\n");
}

}  // namespace

void Write(std::ostream& out, const std::string& text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void WriteUTF(std::ostream& out, const std::string& text) {
  // The narrow code page of this platform is UTF-8: nothing to convert.
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string EscapeText(const std::string& text, bool forAttribute) {
  // Most texts (numbers, names) are printable ASCII with nothing to escape: copy them whole.
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"') break;
    ++i;
  }
  if (i == text.size()) return text;
  std::string escaped;
  escaped.reserve(text.size() + 16);
  escaped.append(text, 0, i);
  while (i < text.size()) {
    const char c = text[i];
    switch (c) {
      case '&':
        escaped += "&amp;";
        ++i;
        continue;
      case '<':
        escaped += "&lt;";
        ++i;
        continue;
      case '>':
        escaped += "&gt;";
        ++i;
        continue;
      case '"':
        escaped += forAttribute ? "&quot;" : "\"";
        ++i;
        continue;
      default:
        break;
    }
    bool allowed = false;
    const size_t length = SequenceAt(text, i, allowed);
    if (length == 0) {
      // Bytes that are not UTF-8 are replaced one by one, so whatever came in, the
      // output stays well-formed.
      escaped += kReplacementChar;
      ++i;
    } else {
      if (allowed) {
        escaped.append(text, i, length);
      } else {
        escaped += kReplacementChar;
      }
      i += length;
    }
  }
  return escaped;
}

void XMLAttribute::AppendTo(std::string& text) const {
  text += name_;
  text += "=\"";
  text += EscapeText(value_, true);
  text += '"';
}

XMLString* XMLString::Create(const std::string& text) {
  return new XMLString(text);
}

void XMLString::AppendTo(std::string& text, ExportFormat& format) const {
  StringSink sink(text);
  SerialiseText(*this, format, sink);
}

void XMLString::WriteTo(std::ostream& out, ExportFormat& format, bool useUTF8) const {
  StreamSink sink(out, useUTF8);
  SerialiseText(*this, format, sink);
}

XMLElement* XMLElement::Create(const std::string& name) {
  return new XMLElement(name);
}

XMLElement::~XMLElement() = default;

void XMLElement::AddAttribute(const std::string& name, const std::string& text) {
  attributes_.emplace_back(name, text);
}

void XMLElement::AddAttribute(const std::string& name, double value) {
  const bool wholeInt = std::isfinite(value) && value == std::trunc(value) &&
                        value >= -2147483648.0 && value <= 2147483647.0;
  attributes_.emplace_back(name, Format(value, wholeInt, nullptr));
}

void XMLElement::AppendTo(std::string& text, ExportFormat& format) const {
  StringSink sink(text);
  SerialiseElement(*this, format, sink);
}

void XMLElement::WriteTo(std::ostream& out, ExportFormat& format, bool useUTF8) const {
  StreamSink sink(out, useUTF8);
  SerialiseElement(*this, format, sink);
}

int XMLElement::AddText(XMLString* node) {
  return AddChild(node);
}

int XMLElement::AddChild(XMLInterface* node) {
  // Owned before the list grows: a failed growth frees the node instead of losing it.
  std::unique_ptr<XMLInterface> owned(node);
  if (owned) children_.push_back(std::move(owned));
  return static_cast<int>(children_.size());
}

void WriteTree(std::ostream& out, const char* docType, const XMLInterface* root, bool indent) {
  WriteTreeImpl(out, docType, root, indent, false);
}

void WriteTreeUTF8(std::ostream& out, const char* docType, const XMLInterface* root, bool indent) {
  WriteTreeImpl(out, docType, root, indent, true);
}

namespace {

// The two number formats of every document, formed without printf: std::to_chars gives
// printf's text in the "C" locale and is many times faster. Empty when it does not apply.
std::string FormatCommon(double value, const char* format) {
  if (!std::isfinite(value)) return std::string();
  char buffer[400];  // "%.0f" of the largest double has 309 digits
  std::to_chars_result result{};
  if (std::strcmp(format, "%.15g") == 0) {
    return std::string(buffer, FormatG15(value, buffer));
  } else if (std::strcmp(format, "%.0f") == 0) {
    result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0);
  } else {
    return std::string();
  }
  if (result.ec != std::errc()) return std::string();
  return std::string(buffer, result.ptr);
}

}  // namespace

namespace {

__extension__ typedef unsigned __int128 Wide;

// The %g layout (precision 15) of a number's significant digits (count of them, no trailing
// zeros) and decimal exponent.
char* LayOutG15(char* out, char* end, bool negative, const char* digits, int count, int exponent) {
  if (negative) *out++ = '-';
  if (exponent < -4 || exponent >= 15) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      for (int i = 1; i < count; ++i) *out++ = digits[i];
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) *out++ = '0';
    return std::to_chars(out, end, magnitude).ptr;
  }
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > exponent; --i) *out++ = '0';
    for (int i = 0; i < count; ++i) *out++ = digits[i];
    return out;
  }
  // exponent + 1 digits before the point, zero-filled; the rest after it.
  for (int i = 0; i <= exponent; ++i) *out++ = i < count ? digits[i] : '0';
  if (count > exponent + 1) {
    *out++ = '.';
    for (int i = exponent + 1; i < count; ++i) *out++ = digits[i];
  }
  return out;
}

// The 15 significant digits of |value| rounded to nearest, exactly, for 1e-4 <= |value| <
// 1e15 (the data's and the distances' usual range): |value| = m 2^e with m < 2^53, and
// m 10^(14 - X) 2^e is formed in 128-bit integers. False when the value is out of that range
// or lies exactly half-way (printf's tie rule is then left to the precise conversion).
bool ExactDigits15(double magnitude, char* digits, int& count, int& exponent) {
  static constexpr uint64_t kPowers[] = {1ULL,
                                         10ULL,
                                         100ULL,
                                         1000ULL,
                                         10000ULL,
                                         100000ULL,
                                         1000000ULL,
                                         10000000ULL,
                                         100000000ULL,
                                         1000000000ULL,
                                         10000000000ULL,
                                         100000000000ULL,
                                         1000000000000ULL,
                                         10000000000000ULL,
                                         100000000000000ULL,
                                         1000000000000000ULL,
                                         10000000000000000ULL,
                                         100000000000000000ULL,
                                         1000000000000000000ULL};
  if (!(magnitude >= 1e-4 && magnitude < 1e15)) return false;
  int binary = 0;
  const double fraction = std::frexp(magnitude, &binary);  // magnitude = fraction 2^binary
  const auto m = static_cast<uint64_t>(std::ldexp(fraction, 53));
  const int shift = 53 - binary;  // magnitude = m 2^-shift, shift >= 3 in this range
  // The decimal exponent from the binary one (2^(binary-1) <= magnitude < 2^binary): right
  // or one too low, which the first attempt finds out.
  int x = static_cast<int>(std::floor((binary - 1) * 0.30102999566398120));
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int scale = 14 - x;
    if (scale < 0 || scale > 18) return false;
    const Wide product = static_cast<Wide>(m) * kPowers[scale];
    Wide n = product >> shift;
    const Wide rest = product - (n << shift);
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    if (n < kPowers[14]) {  // the guess of the exponent was one too high
      --x;
      continue;
    }
    if (n >= kPowers[15]) {  // one too low
      ++x;
      continue;
    }
    if (rest == half) return false;
    if (rest > half) ++n;
    if (n == kPowers[15]) {  // 99...9 rounds to 10...0
      n = kPowers[14];
      ++x;
    }
    auto v = static_cast<uint64_t>(n);
    for (int i = 14; i >= 0; --i, v /= 10) digits[i] = static_cast<char>('0' + v % 10);
    count = 15;
    while (count > 1 && digits[count - 1] == '0') --count;
    exponent = x;
    return true;
  }
  return false;
}

}  // namespace

char* FormatG15(double value, char* buffer) {
  char* const end = buffer + kNumberTextSize;
  const auto precise = [&] {
    return std::to_chars(buffer, end, value, std::chars_format::general, 15).ptr;
  };
  if (!(std::fabs(value) >= DBL_MIN && std::fabs(value) <= DBL_MAX)) return precise();
  char digits[kNumberTextSize];
  int count = 0;
  int exponent = 0;
  if (ExactDigits15(std::fabs(value), digits, count, exponent)) {
    return LayOutG15(buffer, end, std::signbit(value), digits, count, exponent);
  }
  // Elsewhere: the shortest round-trip text S of a normal value V (at most 17 digits) is
  // rounded to 15 digits. V lies within half a unit in its last binary place of S: at most
  // 2^-53 |V|, which with S's first digit d is less than 0.0112 (d + 1) units of the 15th
  // decimal digit. So V and S round alike unless S's digits past the 15th lie that close to
  // a half; those, zero and subnormal values (where the bound fails) take the slower
  // precise conversion.
  char shortest[kNumberTextSize];
  const char* stop =
      std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific).ptr;
  // shortest: [-]d[.ddd]e(+|-)xx
  const char* p = shortest;
  const bool negative = *p == '-';
  if (negative) ++p;
  for (; p < stop && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  std::from_chars(p + (p[1] == '+' ? 2 : 1), stop, exponent);
  if (count > 15) {
    // Hundredths of a unit of the 15th digit.
    const int tail = (digits[15] - '0') * 10 + (count > 16 ? digits[16] - '0' : 0);
    const int margin = ((digits[0] - '0' + 1) * 112 + 99) / 100 + 1;  // hundredths, rounded up
    if (count > 17 || (tail >= 50 - margin && tail <= 50 + margin)) return precise();
    count = 15;
    if (tail > 50) {
      int i = 14;
      for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {  // 99...9 rounds to 10...0: one more in the exponent
        digits[0] = '1';
        ++exponent;
      }
    }
    while (count > 1 && digits[count - 1] == '0') --count;
  }
  return LayOutG15(buffer, end, negative, digits, count, exponent);
}

namespace {

// <name>text</name>, the text escaped: an element holding only text, on its line.
void AppendTextOnly(std::string& markup, const std::string& name, const std::string& text) {
  markup += '<';
  markup += name;
  markup += '>';
  markup += EscapeText(text, false);
  markup += "</";
  markup += name;
  markup += '>';
}

}  // namespace

std::string TextElementMarkup(const std::string& name, const std::string& text) {
  ExportFormat fresh;
  std::string markup = NodeLead(fresh);
  AppendTextOnly(markup, name, text);
  return markup;
}

void AppendTextElementsMarkup(std::string& markup, const std::string& name,
                              const std::string* names, const std::string* texts, size_t count) {
  // The steps of SerialiseElement for this shape, with the same format changes.
  ExportFormat format;
  markup += NodeLead(format);
  markup += '<';
  markup += name;
  if (count == 0) {
    markup += "/>";
    return;
  }
  markup += '>';
  for (size_t i = 0; i < count; ++i) {
    format.SetDepth(1);
    markup += NodeLead(format);
    AppendTextOnly(markup, names[i], texts[i]);
    AfterNode(format);
  }
  format.SetDepth(0);
  AfterNode(format);
  markup += NodeLead(format);
  markup += "</";
  markup += name;
  markup += '>';
}

std::string ReplaceSep(double value, const char* format) {
  if (format == nullptr) format = "%.15g";
  std::string common = FormatCommon(value, format);
  if (!common.empty()) return common;
  const locale_t cLocale = CNumericLocale();
  std::string text(64, '\0');
  int written = 0;
  {
    // The caller's locale comes back however this block is left (a failed resize included).
    const ScopedCNumeric numeric(cLocale);
    written = std::snprintf(text.data(), text.size() + 1, format, value);
    if (written > static_cast<int>(text.size())) {
      text.resize(static_cast<size_t>(written));
      written = std::snprintf(text.data(), text.size() + 1, format, value);
    }
  }
  if (written < 0) return std::string();
  text.resize(static_cast<size_t>(written));
  if (cLocale == static_cast<locale_t>(0)) {
    // No "C" locale object could be made: fall back to mending the separator by hand.
    for (char& c : text) {
      if (c == ',') c = '.';
    }
  }
  return text;
}

std::string Format(double value, bool asInteger, const char* format) {
  if (!asInteger) return ReplaceSep(value, format != nullptr ? format : "%.15g");
  std::string text = ReplaceSep(value, "%.0f");
  // Rounding a small negative value (or -0 itself) yields "-0", which is no integer text.
  if (text == "-0") text = "0";
  return text;
}

}  // namespace VelXML
