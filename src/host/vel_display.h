// Diagnostic display: one labelled value per call, written to the stream set last.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

class VelComponentDisplay {
 public:
  // Null silences the display.
  static void SetOutStream(std::ostream* out);
  static std::ostream* GetOutStream();

  static void DisplayText(const std::string& text, int level = 1);
  static void DisplayS(const std::string& label, const std::string& value);
  static void DisplayB(const std::string& label, bool value);
  static void DisplayI(const std::string& label, long value);
  static void DisplayD(const std::string& label, double value);
  static void DisplayIV(const std::string& label, const std::vector<int>& values);
  // onePerLine puts every value on a line of its own.
  static void DisplayDV(const std::string& label, const std::vector<double>& values,
                        bool onePerLine = false);
  static void DisplayDV(const std::string& label, const double* values, int count,
                        bool onePerLine = false);
  static void DisplayVPD(const std::string& label,
                         const std::vector<std::pair<double, int>>& values);
};
