// The host's XML element tree and its writers.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#define VelXML_NAMESPACE VelXML

namespace VelXML {

// Formatting state of one serialisation: nesting depth, and whether a node starts on a new
// line and is indented by one tab per level.
class ExportFormat {
 public:
  int GetDepth() const { return depth_; }
  void SetDepth(int depth) { depth_ = depth; }
  bool IsNewParagraph() const { return newParagraph_; }
  bool HasIndentation() const { return indentation_; }
  void SetIsNewParagraph(bool flag) { newParagraph_ = flag; }
  void SetIndentation(bool flag) { indentation_ = flag; }
  // A compact format writes no line breaks or indentation at all, whatever the two flags
  // say (WriteTree with indent false).
  bool IsCompact() const { return compact_; }
  void SetCompact(bool flag) { compact_ = flag; }

 private:
  int depth_ = 0;
  bool newParagraph_ = true;
  bool indentation_ = true;
  bool compact_ = false;
};

// A text in the code page (Write) or as UTF-8 (WriteUTF); identical bytes here.
void Write(std::ostream& out, const std::string& text);
void WriteUTF(std::ostream& out, const std::string& text);

// Escapes &, <, >, " and characters XML 1.0 cannot carry (which become U+FFFD).
std::string EscapeText(const std::string& text, bool forAttribute);

class XMLInterface {
 public:
  virtual ~XMLInterface() = default;
  virtual void AppendTo(std::string& text, ExportFormat& format) const = 0;
  virtual void WriteTo(std::ostream& out, ExportFormat& format, bool useUTF8) const = 0;
};

class XMLAttribute {
 public:
  XMLAttribute(std::string name, std::string value)
      : name_(std::move(name)), value_(std::move(value)) {}
  const std::string& GetName() const { return name_; }
  const std::string& GetValue() const { return value_; }
  // name="escaped value"
  void AppendTo(std::string& text) const;

 private:
  std::string name_;
  std::string value_;
};

class XMLString : public XMLInterface {
 public:
  static XMLString* Create(const std::string& text);
  const std::string& GetText() const { return text_; }
  void AppendTo(std::string& text, ExportFormat& format) const override;
  void WriteTo(std::ostream& out, ExportFormat& format, bool useUTF8) const override;

 protected:
  explicit XMLString(std::string text) : text_(std::move(text)) {}

 private:
  std::string text_;
};

class XMLElement : public XMLInterface {
 public:
  static XMLElement* Create(const std::string& name);
  ~XMLElement() override;

  // Attributes are kept in call order.
  void AddAttribute(const std::string& name, const std::string& text);
  void AddAttribute(const std::string& name, const char* text) {
    AddAttribute(name, std::string(text));
  }
  // Numeric form: a whole number is written without a fraction, anything else as %.15g.
  void AddAttribute(const std::string& name, double value);

  void AppendTo(std::string& text, ExportFormat& format) const override;
  void WriteTo(std::ostream& out, ExportFormat& format, bool useUTF8) const override;
  // Both take ownership of node and return the new number of children.
  virtual int AddText(XMLString* node);
  virtual int AddChild(XMLInterface* node);

  const std::string& GetName() const { return name_; }
  const std::vector<XMLAttribute>& GetAttributes() const { return attributes_; }
  const std::vector<std::unique_ptr<XMLInterface>>& GetChildren() const { return children_; }

 protected:
  explicit XMLElement(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
  std::vector<XMLAttribute> attributes_;
  std::vector<std::unique_ptr<XMLInterface>> children_;
};

// A whole tree with its XML declaration. docType, when not null, is written as a
// <!DOCTYPE ...> line; indent lays the tree out one element per line, tab-indented.
void WriteTree(std::ostream& out, const char* docType, const XMLInterface* root, bool indent);
void WriteTreeUTF8(std::ostream& out, const char* docType, const XMLInterface* root, bool indent);

// A number as text by a C format ("%.15g" ...), with "." as decimal separator whatever
// the locale.
std::string ReplaceSep(double value, const char* format);
// asInteger writes the value's whole-number text; otherwise format (or "%.15g" when null).
std::string Format(double value, bool asInteger, const char* format = nullptr);

// The "%.15g" text of a finite value ("." as separator), written at buffer, which must hold
// kNumberTextSize characters; returns the end of the text. For the large tables, where a
// string per number would cost more than the number.
inline constexpr size_t kNumberTextSize = 32;
char* FormatG15(double value, char* buffer);
// The markup an element of that name holding only text is written as, alone: what
// XMLElement::WriteTo writes with a fresh format, without making the element.
std::string TextElementMarkup(const std::string& name, const std::string& text);
// The same for an element holding count elements that each hold only text (names[i] holding
// texts[i]), appended to markup.
void AppendTextElementsMarkup(std::string& markup, const std::string& name,
                              const std::string* names, const std::string* texts, size_t count);

}  // namespace VelXML
