// Builders for the recurring shapes of the model document: number texts, vendor tables
// (";"-separated rows), PMML Arrays and Parameters. Every builder attaches through
// AddChildTo, so plain and streamed parents behave alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vel_xml.h"

namespace KNNPMML {

// "%.15g" with "." as decimal separator, whatever the locale.
std::string NumberText(double value);
std::string IntText(int32_t value);
std::string UIntText(uint32_t value);
// The same texts appended to text, without a string of their own (the large tables).
void AppendNumberText(std::string& text, double value);
void AppendIntText(std::string& text, int32_t value);

// A new Parameter with "name", "type" and "value" in that order; the caller attaches it.
std::unique_ptr<VelXML::XMLElement> AddParameter(const std::string& name, const std::string& type,
                                                 const std::string& value);
// Attaches an empty RowNames and a ColumnNames holding columns.
void AddTableHeader(VelXML::XMLElement* table, const std::string& columns);
// Attaches one Row holding row.
void AddTableRow(VelXML::XMLElement* table, const std::string& row);
// NumberText of values[first .. end-1] joined by ";"; empty when the range is empty.
std::string JoinNumbers(const std::vector<double>& values, size_t first, size_t end);
// The same appended to text.
void AppendJoinedNumbers(std::string& text, const std::vector<double>& values, size_t first,
                         size_t end);

// Array type="int" n=... holding the entries separated by single spaces.
std::unique_ptr<VelXML::XMLElement> MakeArray(const std::vector<int32_t>& values);
void FillIntArray(VelXML::XMLElement* array, const std::vector<int32_t>& values);
// Array type="string": entries with a quote or backslash escaped, and all entries quoted
// when any of them holds a space.
std::unique_ptr<VelXML::XMLElement> MakeStringArray(const std::vector<std::string>& values);
void FillStringArray(VelXML::XMLElement* array, const std::vector<std::string>& prepared);
std::string EscapeArrayString(const std::string& text);

}  // namespace KNNPMML
