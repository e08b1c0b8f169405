// Number texts as the model document's readers expect them, whatever the process locale. The
// texts themselves, tables, Parameters and Arrays are held byte for byte by the goldens.
#include "pmml/knn_pmml_tables.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(NumberTexts, FifteenSignificantDigitsWithAFullStopWhateverTheLocale) {
  EXPECT_EQ(KNNPMML::NumberText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(KNNPMML::NumberText(123456789012345678.0), "1.23456789012346e+17");
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    comma = comma || std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  const std::string half = KNNPMML::NumberText(0.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(half, "0.5");
}

}  // namespace
