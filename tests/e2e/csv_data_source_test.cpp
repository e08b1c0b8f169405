// Reading a CSV file into records: header matching, conversions, defaults, generated row
// numbers and the errors that must stop a build before it starts.
#include "csv_data_source.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/vel_missing.h"
#include "interrupt_flag.h"
#include "support/cli_process.h"

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

// ---------------------------------------------------------------------------------------
// Files too large to keep are read again on every pass. Each pass must deliver exactly the
// records of the whole text read at once, whatever the read block size, and every error
// must still come from Load, before a build asks for the first record.

class StreamedCsvTest : public CsvDataSourceTest {
 protected:
  // Records of text read from memory (the reference) and the error, if any.
  LoadOutcome InMemory(const std::string& text, std::vector<std::vector<double>>& rows,
                       std::string& error) {
    CsvDataSource memory;
    const LoadOutcome outcome = memory.LoadText(text, Path(), list_, false, error);
    rows.clear();
    EXPECT_TRUE(memory.Rewind());
    while (const VelCommon::Record* record = memory.NextRecord()) rows.push_back(record->Values());
    return outcome;
  }

  // Writes text and loads it with no rows kept, reading block bytes at a time.
  LoadOutcome Streamed(const std::string& text, size_t block) {
    clitest::WriteText(Path(), text);
    error_.clear();
    source_.SetStreaming(0, block);
    return source_.Load(Path(), list_, false, error_);
  }

  std::string Path() const { return dir_.File("data.csv"); }

  clitest::TempDir dir_;
};

constexpr size_t kBlocks[] = {1, 2, 3, 4, 5, 7, 16, 64, CsvDataSource::kDefaultReadBlock};

TEST_F(StreamedCsvTest, EveryPassDeliversTheRecordsOfTheWholeText) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"plain", "x,colour,level,day\n1,red,1,0\n2.5,blue,2,1970-01-02\n3,,1,4\n"},
      {"crlf, no final line end", "x,colour,level,day\r\n1,red,1,0\r\n2,blue,2,5"},
      {"cr only", "x,colour,level,day\r1,red,1,0\r2,blue,2,5\r"},
      {"byte-order mark", bom + "x,colour,level,day\n1,red,1,0\n"},
      // Not at the start of the text a mark is part of the cell: an unknown category.
      {"mark inside", "colour,x,level,day\n" + bom + "red,1,1,0\n" + bom + "blue,2,2,0\n"},
      {"quoted", "x,colour,level,day\n\"1\",\"re\"\"d\",\"1\",0\n\"2\",\"a,\r\nb\",2,\"\"\n"},
      {"empty lines", "\n\nx,colour,level,day\n\n1,red,1,0\r\n\r\n\n2,blue,2,5\n\n"},
  };
  for (const auto& [name, text] : texts) {
    std::vector<std::vector<double>> expected;
    std::string error;
    ASSERT_EQ(InMemory(text, expected, error), LoadOutcome::kOk) << name << ": " << error;
    ASSERT_FALSE(expected.empty());
    for (const size_t block : kBlocks) {
      SCOPED_TRACE(std::string(name) + ", block " + std::to_string(block));
      ASSERT_EQ(Streamed(text, block), LoadOutcome::kOk) << error_;
      EXPECT_FALSE(source_.HoldsRows());
      EXPECT_EQ(source_.RecordCount(), static_cast<int>(expected.size()));
      EXPECT_EQ(Records(), expected);
      EXPECT_EQ(Records(), expected) << "second pass";
      EXPECT_EQ(source_.PassError(), "");
    }
  }
}

TEST_F(StreamedCsvTest, ErrorsComeFromLoadWithTheLineOfTheWholeText) {
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"bad number last",
       "x,colour,level,day\n1,red,1,0\n\"a\nb\",blue,2,5\n2,red,1,0\nx,red,1,0\n"},
      {"cell count after quoted line ends", "x,colour,level,day\n1,\"r\ne\nd\",1,0\n2,blue\n"},
      {"quote inside a cell", "x,colour,level,day\n1,red,1,0\n2,bl\"ue,2,5\n"},
      {"text after a closing quote", "x,colour,level,day\n1,\"red\"x,1,0\n"},
      {"quote never closed", "x,colour,level,day\n1,red,1,0\n2,\"blue,2,5\n3,red,1,0\n"},
      {"header only missing column", "x,colour,level\n1,red,1\n"},
      {"empty", ""},
  };
  for (const auto& [name, text] : texts) {
    std::vector<std::vector<double>> rows;
    std::string expected;
    ASSERT_EQ(InMemory(text, rows, expected), LoadOutcome::kError) << name;
    for (const size_t block : kBlocks) {
      SCOPED_TRACE(std::string(name) + ", block " + std::to_string(block));
      EXPECT_EQ(Streamed(text, block), LoadOutcome::kError);
      EXPECT_EQ(error_, expected);
    }
  }
}

TEST_F(StreamedCsvTest, KeepsTheRowsOfAFileThatFits) {
  const std::string text = "x,colour,level,day\n1,red,1,0\n2,blue,2,5\n3,red,1,6\n";
  clitest::WriteText(Path(), text);
  const size_t width = 4;
  for (const auto& [kept, holds] : std::vector<std::pair<size_t, bool>>{
           {3 * width, true}, {3 * width - 1, false}, {CsvDataSource::kDefaultKeptValues, true}}) {
    CsvDataSource source;
    source.SetStreaming(kept, 5);
    ASSERT_EQ(source.Load(Path(), list_, false, error_), LoadOutcome::kOk);
    EXPECT_EQ(source.HoldsRows(), holds) << "keep up to " << kept;
    EXPECT_EQ(source.RecordCount(), 3);
    int delivered = 0;
    ASSERT_TRUE(source.Rewind());
    while (source.NextRecord() != nullptr) ++delivered;
    EXPECT_EQ(delivered, 3);
  }
}

TEST_F(StreamedCsvTest, AFileChangedAfterLoadIsReportedByThePass) {
  const std::string text = "x,colour,level,day\n1,red,1,0\n2,blue,2,5\n";
  const std::vector<std::pair<const char*, std::string>> changes = {
      {"fewer records", "x,colour,level,day\n1,red,1,0\n"},
      {"more records", text + "3,red,1,0\n"},
      {"a bad cell", "x,colour,level,day\n1,red,1,0\n2,blue,2,five\n"},
      {"a malformed record", "x,colour,level,day\n1,red,1,0\n\"2,blue,2,5\n"},
  };
  for (const auto& [name, changed] : changes) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Streamed(text, 8), LoadOutcome::kOk);
    clitest::WriteText(Path(), changed);
    ASSERT_TRUE(source_.Rewind());
    int delivered = 0;
    while (source_.NextRecord() != nullptr) ++delivered;
    EXPECT_LE(delivered, 2);
    EXPECT_NE(source_.PassError(), "");
    EXPECT_EQ(source_.NextRecord(), nullptr);
  }
  // A new header, or no file at all: the pass cannot start.
  for (const std::string& changed :
       {std::string("colour,x,level,day\nred,1,1,0\nblue,2,2,5\n"), std::string()}) {
    ASSERT_EQ(Streamed(text, 8), LoadOutcome::kOk);
    if (changed.empty()) {
      std::remove(Path().c_str());
    } else {
      clitest::WriteText(Path(), changed);
    }
    EXPECT_FALSE(source_.Rewind());
    EXPECT_NE(source_.PassError(), "");
  }
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
