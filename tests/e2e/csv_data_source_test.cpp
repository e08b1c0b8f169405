// Reading a CSV file into records: header matching, conversions, defaults, generated row
// numbers and the errors that must stop a build before it starts.
#include "csv_data_source.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "interrupt_flag.h"

namespace knncli {
namespace {

constexpr double kMissing = VelMV::gMissingValue;

class CsvDataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInterruptRequested(false);
    list_.Add(std::make_unique<VelMTD::VelContVar>("x", 0.0, 10.0));
    VelMTD::VelCategories colours;
    colours.Add("red", 0.0, nullptr);
    colours.Add("blue", 0.0, nullptr);
    list_.Add(std::make_unique<VelMTD::VelCatVar>("colour", false, colours));
    VelMTD::VelCategories levels;
    levels.Add("1", 1.0, nullptr);
    levels.Add("2", 2.0, nullptr);
    list_.Add(std::make_unique<VelMTD::VelCatVar>("level", true, levels));
    list_.Add(std::make_unique<VelMTD::VelContVar>("day", -DBL_MAX, DBL_MAX, VelMTD::kDate));
  }

  void AddDefaultedFocal() {
    VelMTD::VelCategories flags;
    flags.Add("0", 0.0, nullptr);
    flags.Add("1", 1.0, nullptr);
    auto focal = std::make_unique<VelMTD::VelCatVar>("focal", true, flags);
    focal->SetDefaultText("1");
    list_.Add(std::move(focal));
  }

  void AddGeneratedId() {
    auto id = std::make_unique<VelMTD::VelContVar>("id", 1.0, 100.0);
    id->SetGeneratedRowNumber(true);
    list_.Add(std::move(id));
  }

  LoadOutcome Load(const std::string& text, bool absentAreMissing = false) {
    error_.clear();
    return source_.LoadText(text, "data.csv", list_, absentAreMissing, error_);
  }

  std::vector<std::vector<double>> Records() {
    std::vector<std::vector<double>> rows;
    EXPECT_TRUE(source_.Rewind());
    while (const VelCommon::Record* record = source_.NextRecord()) rows.push_back(record->Values());
    return rows;
  }

  VelMTD::VelVarList list_;
  CsvDataSource source_;
  std::string error_;
};

TEST_F(CsvDataSourceTest, ConvertsCellsByFieldKind) {
  ASSERT_EQ(Load("x,colour,level,day\n"
                 "2.5,blue,2,1970-01-02\n"
                 "NA,red,1.0,\n"
                 ",green,3,NaN\n"
                 "?,,x,?\n"),
            LoadOutcome::kOk)
      << error_;
  const std::vector<std::vector<double>> expected = {
      {2.5, 1.0, 1.0, 1.0},
      {kMissing, 0.0, 0.0, kMissing},
      {kMissing, -1.0, -1.0, kMissing},
      {kMissing, -1.0, -1.0, kMissing},
  };
  EXPECT_EQ(Records(), expected);
}

TEST_F(CsvDataSourceTest, MatchesColumnsByNameAndIgnoresExtras) {
  ASSERT_EQ(Load("extra,day,level,colour,x,more\nq,3,2,red,7,z\n"), LoadOutcome::kOk) << error_;
  EXPECT_EQ(Records(), (std::vector<std::vector<double>>{{7.0, 0.0, 1.0, 3.0}}));
}

TEST_F(CsvDataSourceTest, DefaultsAndRowNumbersFillAbsentColumns) {
  AddDefaultedFocal();
  AddGeneratedId();
  ASSERT_EQ(Load("x,colour,level,day\n1,red,1,0\n2,blue,2,0\n3,red,1,0\n"), LoadOutcome::kOk)
      << error_;
  const auto rows = Records();
  ASSERT_EQ(rows.size(), 3u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][4], 1.0) << "focal takes the code of its default text";
    EXPECT_EQ(rows[i][5], static_cast<double>(i + 1)) << "generated id is the record number";
  }
}

TEST_F(CsvDataSourceTest, AColumnOverridesADefault) {
  AddDefaultedFocal();
  ASSERT_EQ(Load("x,colour,level,day,focal\n1,red,1,0,0\n"), LoadOutcome::kOk) << error_;
  EXPECT_EQ(Records()[0][4], 0.0);
}

TEST_F(CsvDataSourceTest, RejectsBadFilesBeforeAnyRecord) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> mustMention;
  };
  const Case cases[] = {
      {"missing column", "x,colour,level\n1,red,1\n", {"data.csv", "'day'"}},
      {"too many cells",
       "x,colour,level,day\n1,red,1,0\n1,red,1,0,9\n",
       {"data.csv line 3", "5 cells"}},
      {"too few cells", "x,colour,level,day\n1,red,1\n", {"line 2", "3 cells"}},
      {"not a number",
       "x,colour,level,day\n1,red,1,0\n\n1x,red,1,0\n",
       {"line 4", "column 'x'", "'1x'"}},
      {"infinity", "x,colour,level,day\ninf,red,1,0\n", {"line 2", "column 'x'"}},
      {"bad date", "x,colour,level,day\n1,red,1,2024-02-30\n", {"line 2", "column 'day'", "date"}},
      {"unclosed quote", "x,colour,level,day\n1,\"red,1,0\n", {"line 2", "quoted"}},
      {"duplicate header", "x,colour,level,day,x\n1,red,1,0,2\n", {"'x'", "twice"}},
      {"empty file", "", {"empty"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.text), LoadOutcome::kError) << c.name;
    for (const std::string& part : c.mustMention) {
      EXPECT_NE(error_.find(part), std::string::npos) << c.name << ": " << error_;
    }
  }
}

TEST_F(CsvDataSourceTest, QuotedLineEndsDoNotShiftReportedLines) {
  ASSERT_EQ(Load("x,colour,level,day\n1,\"red\",1,0\n"), LoadOutcome::kOk) << error_;
  VelMTD::VelCategories names;
  names.Add("a\nb", 0.0, nullptr);
  list_.Add(std::make_unique<VelMTD::VelCatVar>("note", false, names));
  EXPECT_EQ(Load("x,colour,level,day,note\n1,red,1,0,\"a\nb\"\nbad,red,1,0,x\n"),
            LoadOutcome::kError);
  EXPECT_NE(error_.find("line 4"), std::string::npos) << error_;
}

TEST_F(CsvDataSourceTest, FilesToScoreMayLackColumns) {
  ASSERT_EQ(Load("x\n4\n", true), LoadOutcome::kOk) << error_;
  EXPECT_EQ(source_.AbsentFields(), (std::vector<std::string>{"colour", "level", "day"}));
  EXPECT_EQ(Records(), (std::vector<std::vector<double>>{{4.0, -1.0, -1.0, kMissing}}));
}

TEST_F(CsvDataSourceTest, RowsAreStoredContiguouslyAndRewindable) {
  ASSERT_EQ(Load("x,colour,level,day\n1,red,1,0\n2,blue,2,5\n"), LoadOutcome::kOk);
  ASSERT_EQ(source_.RecordCount(), 2);
  EXPECT_EQ(source_.Row(1), source_.Row(0) + source_.Width());
  EXPECT_EQ(Records().size(), 2u);
  EXPECT_EQ(Records().size(), 2u) << "a second pass after Rewind sees every record again";
  EXPECT_EQ(source_.NextRecord(), nullptr);
}

TEST_F(CsvDataSourceTest, StopsWhenInterrupted) {
  SetInterruptRequested(true);
  EXPECT_EQ(Load("x,colour,level,day\n1,red,1,0\n"), LoadOutcome::kInterrupted);
  SetInterruptRequested(false);
}

TEST(ConvertCellTest, DateKindsAlsoTakePlainNumbers) {
  VelMTD::VelContVar time("t", 0.0, 86400.0, VelMTD::kTime);
  double value = 0.0;
  std::string reason;
  ASSERT_TRUE(ConvertCell(time, "01:00:00", value, reason));
  EXPECT_EQ(value, 3600.0);
  ASSERT_TRUE(ConvertCell(time, "42", value, reason));
  EXPECT_EQ(value, 42.0);
  EXPECT_FALSE(ConvertCell(time, "noon", value, reason));
  EXPECT_NE(reason.find("time"), std::string::npos);
}

}  // namespace
}  // namespace knncli
