#include "scan/count_files.h"

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

TEST(CountFilesTest, FilterMatchesTheExtensionAfterTheLastDotExactly) {
  TempDir dir;
  writeFile(dir / "a.dds", "");
  writeFile(dir / "b.DDS", "");
  writeFile(dir / "c.dds.bak", "");
  writeFile(dir / "dds", "");
  writeFile(dir / "e.wav", "");
  writeFile(dir / "noext", "");
  EXPECT_EQ(countFiles(dir.path(), "dds", false), 2);  // a.dds and the file named dds
  EXPECT_EQ(countFiles(dir.path(), "bak", false), 1);
  EXPECT_EQ(countFiles(dir.path(), ".dds", false), 0);
  EXPECT_EQ(countFiles(dir.path(), "*", false), 6);
}

TEST(CountFilesTest, NamesBeginningWithADotAreNeverCounted) {
  TempDir dir;
  writeFile(dir / ".hidden", "");
  writeFile(dir / ".x.dds", "");
  writeFile(dir / "seen.dds", "");
  EXPECT_EQ(countFiles(dir.path(), "*", false), 1);
  EXPECT_EQ(countFiles(dir.path(), "dds", false), 1);
}

TEST(CountFilesTest, SubfoldersCountOnlyWhenRecursing) {
  TempDir dir;
  writeFile(dir / "top.dds", "");
  writeFile(dir / "sub/inner.dds", "");
  writeFile(dir / "sub/deeper/deep.dds", "");
  writeFile(dir / ".hiddenfolder/x.dds", "");
  makeFolder(dir / "empty");
  EXPECT_EQ(countFiles(dir.path(), "*", false), 1);
  EXPECT_EQ(countFiles(dir.path(), "*", true), 3);
  EXPECT_EQ(countFiles(dir.path(), "dds", true), 3);
}

TEST(CountFilesTest, MissingFolderOrAFileCountsZero) {
  TempDir dir;
  writeFile(dir / "file.dds", "");
  EXPECT_EQ(countFiles(dir / "missing", "*", true), 0);
  EXPECT_EQ(countFiles(dir / "file.dds", "*", true), 0);
}

TEST(CountFilesTest, TrailingSeparatorIsAccepted) {
  TempDir dir;
  writeFile(dir / "a", "");
  writeFile(dir / "sub/b", "");
  EXPECT_EQ(countFiles(dir.path() + "/", "*", true), 2);
}

}  // namespace
