#include "pmml/knn_pmml_tables.h"

#include <charconv>
#include <cmath>

#include "pmml/knn_xml_archive_element.h"

namespace KNNPMML {

std::string NumberText(double value) {
  return VelXML::ReplaceSep(value, "%.15g");
}

// Plain decimal digits, exactly what a standard stream writes for an int (no grouping, no
// padding); to_chars avoids a stream per table cell.
std::string IntText(int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void AppendNumberText(std::string& text, double value) {
  if (!std::isfinite(value)) {
    text += NumberText(value);
    return;
  }
  char buffer[VelXML::kNumberTextSize];
  text.append(buffer, VelXML::FormatG15(value, buffer));
}

void AppendIntText(std::string& text, int32_t value) {
  char buffer[16];
  text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string UIntText(uint32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::unique_ptr<VelXML::XMLElement> AddParameter(const std::string& name, const std::string& type,
                                                 const std::string& value) {
  ElementPtr parameter = NewElement("Parameter");
  parameter->AddAttribute("name", name);
  parameter->AddAttribute("type", type);
  parameter->AddAttribute("value", value);
  return parameter;
}

namespace {

ElementPtr TextElement(const char* name, const std::string& text) {
  ElementPtr element = NewElement(name);
  AddChildTo(element.get(), NewText(text));
  return element;
}

}  // namespace

void AddTableHeader(VelXML::XMLElement* table, const std::string& columns) {
  AddChildTo(table, NewElement("RowNames"));
  AddChildTo(table, TextElement("ColumnNames", columns));
}

void AddTableRow(VelXML::XMLElement* table, const std::string& row) {
  // A streamed table takes the row's markup straight into its file.
  if (auto* streamed = dynamic_cast<KNNXMLArchiveElement*>(table)) {
    streamed->WriteTextElement("Row", row);
    return;
  }
  AddChildTo(table, TextElement("Row", row));
}

void AppendJoinedNumbers(std::string& text, const std::vector<double>& values, size_t first,
                         size_t end) {
  for (size_t j = first; j < end && j < values.size(); ++j) {
    if (j > first) text += ';';
    AppendNumberText(text, values[j]);
  }
}

std::string JoinNumbers(const std::vector<double>& values, size_t first, size_t end) {
  std::string text;
  AppendJoinedNumbers(text, values, first, end);
  return text;
}

std::unique_ptr<VelXML::XMLElement> MakeArray(const std::vector<int32_t>& values) {
  ElementPtr array = NewElement("Array");
  array->AddAttribute("type", "int");
  array->AddAttribute("n", static_cast<double>(values.size()));
  FillIntArray(array.get(), values);
  return array;
}

void FillIntArray(VelXML::XMLElement* array, const std::vector<int32_t>& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) text += ' ';
    text += VelXML::Format(static_cast<double>(values[i]), true, nullptr);
  }
  AddChildTo(array, NewText(text));
}

std::unique_ptr<VelXML::XMLElement> MakeStringArray(const std::vector<std::string>& values) {
  ElementPtr array = NewElement("Array");
  array->AddAttribute("type", "string");
  array->AddAttribute("n", static_cast<double>(values.size()));
  std::vector<std::string> prepared = values;
  bool anySpace = false;
  for (std::string& entry : prepared) {
    if (entry.find_first_of("\"\\") != std::string::npos) entry = EscapeArrayString(entry);
    if (entry.find(' ') != std::string::npos) anySpace = true;
  }
  if (anySpace) {
    for (std::string& entry : prepared) entry = '"' + entry + '"';
  }
  FillStringArray(array.get(), prepared);
  return array;
}

void FillStringArray(VelXML::XMLElement* array, const std::vector<std::string>& prepared) {
  std::string text;
  for (size_t i = 0; i < prepared.size(); ++i) {
    if (i > 0) text += ' ';
    text += prepared[i];
  }
  AddChildTo(array, NewText(text));
}

std::string EscapeArrayString(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace KNNPMML
