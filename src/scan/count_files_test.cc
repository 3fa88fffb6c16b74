#include "scan/count_files.h"

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

TEST(CountFilesTest, CountsFilesByExactExtensionNeverDotNamesAndFoldersOnlyWhenRecursing) {
  TempDir dir;
  for (const char* name : {"a.dds", "b.DDS", "c.dds.bak", "dds", "noext", ".hidden.dds",
                           "sub/inner.dds", "sub/deeper/deep.dds", ".dotfolder/x.dds"}) {
    writeFile(dir / name, "");
  }
  EXPECT_EQ(countFiles(dir.path(), "dds", false), 2);  // a.dds and the file named dds
  EXPECT_EQ(countFiles(dir.path(), ".dds", false), 0);
  EXPECT_EQ(countFiles(dir.path(), "bak", false), 1);
  EXPECT_EQ(countFiles(dir.path(), "*", false), 5);
  EXPECT_EQ(countFiles(dir.path(), "dds", true), 4);
  EXPECT_EQ(countFiles(dir.path() + "/", "*", true), 7);  // a trailing separator is fine
  EXPECT_EQ(countFiles(dir / "missing", "*", true), 0);
  EXPECT_EQ(countFiles(dir / "a.dds", "*", true), 0);
}

}  // namespace
