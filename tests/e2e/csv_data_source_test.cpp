// Reading a CSV file into records: header matching, conversions, defaults, generated row
// numbers, the errors that must stop a build before it starts, and files read again per pass.
#include "csv_data_source.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "interrupt_flag.h"
#include "support/cli_process.h"

namespace knncli {
namespace {

constexpr double kMissing = VelMV::gMissingValue;
using Rows = std::vector<std::vector<double>>;

VelMTD::VelCategories Categories(std::vector<std::string> names) {
  VelMTD::VelCategories categories;
  for (const std::string& name : names) categories.Add(name, std::atof(name.c_str()), nullptr);
  return categories;
}

Rows Records(CsvDataSource& source) {
  Rows rows;
  EXPECT_TRUE(source.Rewind());
  while (const VelCommon::Record* record = source.NextRecord()) rows.push_back(record->Values());
  return rows;
}

// Fields x, colour (text categories, one needing quotes), level (numeric categories), day (a
// date), focal (absent columns take the default "1") and id (the record number).
class CsvDataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.Add(std::make_unique<VelMTD::VelContVar>("x", 0.0, 10.0));
    list_.Add(std::make_unique<VelMTD::VelCatVar>("colour", false,
                                                  Categories({"red", "blue", "r\"e,\nd"})));
    list_.Add(std::make_unique<VelMTD::VelCatVar>("level", true, Categories({"1", "2"})));
    list_.Add(std::make_unique<VelMTD::VelContVar>("day", -DBL_MAX, DBL_MAX, VelMTD::kDate));
    auto focal = std::make_unique<VelMTD::VelCatVar>("focal", true, Categories({"0", "1"}));
    focal->SetDefaultText("1");
    list_.Add(std::move(focal));
    auto id = std::make_unique<VelMTD::VelContVar>("id", 1.0, 100.0);
    id->SetGeneratedRowNumber(true);
    list_.Add(std::move(id));
  }

  // Loads text from a file, reading block bytes at a time and keeping the rows when they hold
  // at most kept values.
  LoadOutcome Streamed(const std::string& text, size_t block, CsvDataSource& source,
                       size_t kept = 0) {
    clitest::WriteText(path_, text);
    error_.clear();
    source.SetStreaming(kept, block);
    return source.Load(path_, list_, false, error_);
  }

  clitest::TempDir dir_;
  const std::string path_ = dir_.File("data.csv");
  VelMTD::VelVarList list_;
  CsvDataSource source_;
  std::string error_;
};

// A file too large to keep is read again on every pass. Each pass must deliver exactly the
// records of the text read at once, whatever the read block size, and every error must still
// come from Load, before a build asks for the first record.
TEST_F(CsvDataSourceTest, KeptAndStreamedLoadsGiveTheSameRecordsOrError) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string head = "x,colour,level,day\n";
  const Rows two = {{1, 0, 0, 0, 1, 1}, {2, 1, 1, 5, 1, 2}};
  const struct {
    std::string text;
    Rows expected;                      // none: the text fails to load
    std::vector<std::string> mentions;  // in the error
  } cases[] = {
      // Unknown and empty categories are -1; missing tokens and empty numbers are missing.
      {head + "2.5,blue,2,1970-01-02\nNA,red,1.0,\n,green,3,NaN\n?,,x,?\n",
       {{2.5, 1, 1, 1, 1, 1},
        {kMissing, 0, 0, kMissing, 1, 2},
        {kMissing, -1, -1, kMissing, 1, 3},
        {kMissing, -1, -1, kMissing, 1, 4}},
       {}},
      // Columns are matched by name, extras ignored; a date field also takes a plain number.
      {"extra,day,level,colour,x,more\nq,3,2,red,7,z\n", {{7, 0, 1, 3, 1, 1}}, {}},
      // A column overrides both the default and the generated number.
      {"x,colour,level,day,focal,id\n1,red,1,0,0,42\n", {{1, 0, 0, 0, 0, 42}}, {}},
      {"x,colour,level,day\r\n1,red,1,0\r2,blue,2,5", two, {}},
      {"x,colour,level,day\r1,red,1,0\r\n2,blue,2,5\r", two, {}},
      {"\n\nx,colour,level,day\n\n1,red,1,0\r\n\r\n\n2,blue,2,5\n\n", two, {}},
      {bom + head + "1,red,1,0\n", {two[0]}, {}},
      // Not at the start of the text a mark is part of the cell: an unknown category.
      {"colour,x,level,day\n" + bom + "red,1,1,0\n", {{1, -1, 0, 0, 1, 1}}, {}},
      {head + "\"1\",\"r\"\"e,\nd\",\"1\",0\n\"2\",\"a,\r\nb\",2,\"\"\n",
       {{1, 2, 0, 0, 1, 1}, {2, -1, 1, kMissing, 1, 2}},
       {}},
      {"x,colour,level\n1,red,1\n", {}, {"data.csv", "'day'"}},
      {head + "1,red,1,0\n1,red,1,0,9\n", {}, {"data.csv line 3", "5 cells"}},
      {head + "1,\"r\ne\nd\",1,0\n2,blue\n", {}, {"line 5", "2 cells"}},  // physical lines
      {head + "1,red,1,0\n\n1x,red,1,0\n", {}, {"line 4", "column 'x'", "'1x'"}},
      {head + "1,red,1,2024-02-30\n", {}, {"line 2", "column 'day'", "date"}},
      {head + "1,red,1,0\n2,bl\"ue,2,5\n", {}, {"line 3"}},
      {head + "1,red,1,0\n2,\"blue,2,5\n3,red,1,0\n", {}, {"line 3", "quoted"}},
      {"x,colour,level,day,x\n1,red,1,0,2\n", {}, {"'x'", "twice"}},
      {"", {}, {"empty"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CsvDataSource memory;
    std::string error;
    const LoadOutcome outcome = memory.LoadText(c.text, path_, list_, false, error);
    ASSERT_EQ(outcome, c.expected.empty() ? LoadOutcome::kError : LoadOutcome::kOk) << error;
    EXPECT_TRUE(clitest::Contains(error, c.mentions));
    // Just too many values to keep: every pass reads the file again.
    const size_t values = c.expected.size() * 6;
    for (const size_t block : {1, 2, 3, 4, 5, 7, 16, 64, 1 << 20}) {
      SCOPED_TRACE("block " + std::to_string(block));
      CsvDataSource source;
      ASSERT_EQ(Streamed(c.text, block, source, values == 0 ? 0 : values - 1), outcome);
      EXPECT_EQ(error_, error);
      if (outcome != LoadOutcome::kOk) continue;
      EXPECT_FALSE(source.HoldsRows());
      EXPECT_EQ(source.RecordCount(), static_cast<int>(c.expected.size()));
      EXPECT_EQ(Records(source), c.expected);
      EXPECT_EQ(Records(source), c.expected) << "second pass";
      EXPECT_EQ(source.PassError(), "");
    }
    if (outcome != LoadOutcome::kOk) continue;
    // Values that fit are kept, one row after another.
    ASSERT_EQ(Streamed(c.text, 5, source_, values), LoadOutcome::kOk);
    EXPECT_TRUE(source_.HoldsRows());
    EXPECT_EQ(source_.Row(source_.RecordCount() - 1), source_.Row(0) + values - 6);
    EXPECT_EQ(Records(source_), c.expected);
  }
}

TEST_F(CsvDataSourceTest, StopsOnRequestAndReportsAFileChangedAfterLoad) {
  const std::string text = "x,colour,level,day\n1,red,1,0\n2,blue,2,5\n";
  SetInterruptRequested(true);
  EXPECT_EQ(Streamed(text, 8, source_), LoadOutcome::kInterrupted);
  SetInterruptRequested(false);
  for (const std::string& changed : {
           std::string("x,colour,level,day\n1,red,1,0\n"),  // fewer records
           text + "3,red,1,0\n",                            // more records
           std::string("x,colour,level,day\n1,red,1,0\n2,blue,2,five\n"),
           std::string("colour,x,level,day\nred,1,1,0\nblue,2,2,5\n"),
           std::string(),  // no file
       }) {
    ASSERT_EQ(Streamed(text, 8, source_), LoadOutcome::kOk);
    std::remove(path_.c_str());
    if (!changed.empty()) clitest::WriteText(path_, changed);
    int delivered = 0;
    if (source_.Rewind()) {
      while (source_.NextRecord() != nullptr) ++delivered;
    }
    EXPECT_NE(source_.PassError(), "") << changed;
    EXPECT_LE(delivered, 2) << changed;
  }
}

}  // namespace
}  // namespace knncli
