#include "scan/directory_lister.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support/temp_dir.h"

namespace {

TEST(DirectoryListerTest, ListsDotEntriesFirstThenInTheOrderOfAWindowsFileSystem) {
  TempDir dir;
  for (const char* name : {"b.dds", "A.dds", "a.dds", "_x", "Zeta", ".hidden", "c"}) {
    writeFile(dir / name, "");
  }
  makeFolder(dir / "B");
  DirectoryLister lister(dir.path());
  std::vector<std::string> names;
  std::vector<std::string> folders;
  for (; !lister.atEnd(); lister.next()) {
    names.push_back(lister.current().name);
    if (lister.current().isFolder) folders.push_back(lister.current().name);
  }
  // Letters compared in upper case, so "_" comes after them; bytewise ties.
  std::vector<std::string> expected = {".", "..", ".hidden", "A.dds", "a.dds",
                                       "B", "b.dds", "c", "Zeta", "_x"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(folders, (std::vector<std::string>{".", "..", "B"}));
  EXPECT_EQ(lister.current().name, "_x");  // past the end, the last name stays
  EXPECT_EQ(lister.next(), "_x");
}

TEST(DirectoryListerTest, MissingFolderOrAFileGivesNoListing) {
  TempDir dir;
  writeFile(dir / "file", "");
  for (const std::string& path : {dir / "missing", dir / "file"}) {
    DirectoryLister lister(path);
    EXPECT_TRUE(lister.atEnd()) << path;
    EXPECT_EQ(lister.next(), "");
  }
}

}  // namespace
