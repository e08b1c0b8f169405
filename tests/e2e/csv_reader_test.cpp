// The RFC 4180 reader: line ends, quoting, byte-order mark, line numbers and malformed text.
#include "csv_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace knncli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ReadAll(const std::string& text, std::vector<long>* lines = nullptr,
             std::string* error = nullptr) {
  CsvReader reader(text);
  Rows rows;
  std::vector<std::string> cells;
  while (reader.Next(cells)) {
    rows.push_back(cells);
    if (lines != nullptr) lines->push_back(reader.Line());
  }
  if (error != nullptr) *error = reader.Error();
  return rows;
}

TEST(CsvReaderTest, LineEndsAndQuoting) {
  struct Case {
    const char* name;
    std::string text;
    Rows rows;
  };
  const Case cases[] = {
      {"LF", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}},
      {"CRLF", "a,b\r\n1,2\r\n", {{"a", "b"}, {"1", "2"}}},
      {"CR only", "a,b\r1,2\r", {{"a", "b"}, {"1", "2"}}},
      {"no final line end", "a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
      {"byte-order mark", "\xEF\xBB\xBFid,x\n1,2\n", {{"id", "x"}, {"1", "2"}}},
      {"empty cells", ",\n,x,\n", {{"", ""}, {"", "x", ""}}},
      {"quoted comma", "\"a,b\",c\n", {{"a,b", "c"}}},
      {"doubled quotes", "\"say \"\"hi\"\"\",x\n", {{"say \"hi\"", "x"}}},
      {"quoted line end", "\"two\nlines\",x\r\n", {{"two\nlines", "x"}}},
      {"empty quoted cell", "\"\",1\n", {{"", "1"}}},
      {"blank lines skipped", "a\n\n\r\nb\n\n", {{"a"}, {"b"}}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ReadAll(c.text, nullptr, &error), c.rows) << c.name;
    EXPECT_TRUE(error.empty()) << c.name << ": " << error;
  }
}

TEST(CsvReaderTest, LineNumbersCountPhysicalLines) {
  std::vector<long> lines;
  ReadAll("h1,h2\n\"a\nb\",1\n\nc,2\r\nd,3\re,4\n", &lines);
  EXPECT_EQ(lines, (std::vector<long>{1, 2, 5, 6, 7}));
}

TEST(CsvReaderTest, MalformedRecordsStopWithAReason) {
  struct Case {
    const char* text;
    size_t goodRows;
    long line;
  };
  const Case cases[] = {
      {"a,b\n\"open,1\n2,3\n", 1, 2},
      {"a,b\n\"x\"y,1\n", 1, 2},
      {"a,b\n1,2\nx\"y,1\n", 2, 3},
  };
  for (const Case& c : cases) {
    CsvReader reader(c.text);
    std::vector<std::string> cells;
    size_t rows = 0;
    while (reader.Next(cells)) ++rows;
    EXPECT_EQ(rows, c.goodRows) << c.text;
    EXPECT_FALSE(reader.Error().empty()) << c.text;
    EXPECT_EQ(reader.Line(), c.line) << c.text;
  }
}

TEST(CsvReaderTest, ReadWholeFileReportsMissingFiles) {
  std::string contents;
  std::string error;
  EXPECT_FALSE(ReadWholeFile("/nonexistent/knn/file.csv", contents, error));
  EXPECT_NE(error.find("/nonexistent/knn/file.csv"), std::string::npos);
  EXPECT_FALSE(ReadWholeFile("/tmp", contents, error));
  EXPECT_NE(error.find("folder"), std::string::npos);
}

}  // namespace
}  // namespace knncli
