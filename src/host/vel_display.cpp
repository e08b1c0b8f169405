#include "host/vel_display.h"

#include "host/vel_convert.h"
#include "host/vel_xml.h"

namespace {

std::ostream* gOut = nullptr;

// Shortest text that reads back as the same double, with "." whatever the locale.
std::string NumberText(double value) {
  std::string text;
  for (int precision = 1; precision <= 17; ++precision) {
    const std::string format = "%." + std::to_string(precision) + "g";
    text = VelXML::ReplaceSep(value, format.c_str());
    double back = 0.0;
    if (VelCommon::ParseDouble(text, back) && back == value) break;
  }
  return text;
}

void WriteLine(const std::string& label, const std::string& value) {
  if (gOut == nullptr) return;
  *gOut << label << ": " << value << '\n';
}

template <typename Sequence, typename Render>
void WriteSequence(const std::string& label, const Sequence& values, bool onePerLine,
                   Render render) {
  if (gOut == nullptr) return;
  if (onePerLine) {
    *gOut << label << ":\n";
    for (const auto& value : values) *gOut << '\t' << render(value) << '\n';
    return;
  }
  std::string text;
  for (const auto& value : values) {
    if (!text.empty()) text += ' ';
    text += render(value);
  }
  WriteLine(label, text);
}

}  // namespace

void VelComponentDisplay::SetOutStream(std::ostream* out) {
  gOut = out;
}

std::ostream* VelComponentDisplay::GetOutStream() {
  return gOut;
}

void VelComponentDisplay::DisplayText(const std::string& text, int level) {
  if (gOut == nullptr) return;
  for (int i = 1; i < level; ++i) *gOut << "  ";
  *gOut << text << '\n';
}

void VelComponentDisplay::DisplayS(const std::string& label, const std::string& value) {
  WriteLine(label, value);
}

void VelComponentDisplay::DisplayB(const std::string& label, bool value) {
  WriteLine(label, value ? "true" : "false");
}

void VelComponentDisplay::DisplayI(const std::string& label, long value) {
  WriteLine(label, std::to_string(value));
}

void VelComponentDisplay::DisplayD(const std::string& label, double value) {
  WriteLine(label, NumberText(value));
}

void VelComponentDisplay::DisplayIV(const std::string& label, const std::vector<int>& values) {
  WriteSequence(label, values, false, [](int v) { return std::to_string(v); });
}

void VelComponentDisplay::DisplayDV(const std::string& label, const std::vector<double>& values,
                                    bool onePerLine) {
  WriteSequence(label, values, onePerLine, NumberText);
}

void VelComponentDisplay::DisplayDV(const std::string& label, const double* values, int count,
                                    bool onePerLine) {
  std::vector<double> copy;
  if (values != nullptr && count > 0) copy.assign(values, values + count);
  DisplayDV(label, copy, onePerLine);
}

void VelComponentDisplay::DisplayVPD(const std::string& label,
                                     const std::vector<std::pair<double, int>>& values) {
  WriteSequence(label, values, false, [](const std::pair<double, int>& entry) {
    return "(" + NumberText(entry.first) + ", " + std::to_string(entry.second) + ")";
  });
}
