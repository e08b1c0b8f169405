// Output files appear under their final name only when complete.
#include "atomic_output_file.h"

#include <gtest/gtest.h>

#include "support/cli_process.h"

namespace knncli {
namespace {

using clitest::ListDir;
using clitest::ReadText;
using clitest::TempDir;
using clitest::WriteText;

TEST(AtomicOutputFileTest, ReplacesTheOldFileOnlyOnCommit) {
  TempDir dir;
  const std::string path = dir.File("model.pmml");
  WriteText(path, "old");
  AtomicOutputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  file.Stream() << "new content";
  file.Stream().flush();
  EXPECT_EQ(ReadText(path), "old") << "the final name is untouched while writing";
  EXPECT_EQ(ListDir(dir.Path()).size(), 2u) << "the temporary file sits in the same folder";
  ASSERT_TRUE(file.Commit(error)) << error;
  EXPECT_EQ(ReadText(path), "new content");
  EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"model.pmml"});
}

TEST(AtomicOutputFileTest, AnUncommittedFileLeavesNothingBehind) {
  TempDir dir;
  WriteText(dir.File("out.csv"), "keep me");
  std::string error;
  {
    AtomicOutputFile dropped;
    ASSERT_TRUE(dropped.Open(dir.File("out.csv"), error)) << error;
    dropped.Stream() << "partial";
  }
  AtomicOutputFile discarded;
  ASSERT_TRUE(discarded.Open(dir.File("fresh.csv"), error)) << error;
  discarded.Discard();
  EXPECT_EQ(ReadText(dir.File("out.csv")), "keep me");
  EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"out.csv"});
}

TEST(AtomicOutputFileTest, AFolderThatCannotTakeTheFileFailsAtOpen) {
  AtomicOutputFile file;
  std::string error;
  EXPECT_FALSE(file.Open("/nonexistent-knn-folder/model.pmml", error));
  EXPECT_NE(error.find("/nonexistent-knn-folder/model.pmml"), std::string::npos) << error;
  TempDir dir;
  EXPECT_FALSE(file.Open(dir.Path() + "/", error)) << "a folder name is no file name";
}

}  // namespace
}  // namespace knncli
