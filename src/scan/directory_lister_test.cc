#include "scan/directory_lister.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support/temp_dir.h"

namespace {

// Every name the lister yields, the one it opens on included.
std::vector<std::string> listAll(DirectoryLister& lister) {
  std::vector<std::string> names;
  while (!lister.atEnd()) {
    names.push_back(lister.currentName());
    lister.next();
  }
  return names;
}

TEST(DirectoryListerTest, ListsDotEntriesFirstThenCaseInsensitiveOrder) {
  TempDir dir;
  for (const char* name : {"b.dds", "A.dds", "a.dds", "_x", "Zeta", ".hidden", "c"}) {
    writeFile(dir / name, "");
  }
  makeFolder(dir / "B");
  DirectoryLister lister(dir.path());
  // Bytewise ties: "A.dds" before "a.dds"; "_" sorts after the letters.
  std::vector<std::string> expected = {".",     "..",    ".hidden", "A.dds", "a.dds",
                                       "B",     "b.dds", "c",       "Zeta",  "_x"};
  EXPECT_EQ(listAll(lister), expected);
}

TEST(DirectoryListerTest, NextPassesOverTheSecondEntryAndReportsFolders) {
  TempDir dir;
  makeFolder(dir / "sub");
  writeFile(dir / "t.wav", "");
  DirectoryLister lister(dir.path());
  EXPECT_EQ(lister.currentName(), ".");
  EXPECT_EQ(lister.next(), "..");
  EXPECT_EQ(lister.next(), "sub");
  EXPECT_TRUE(lister.currentIsFolder());
  EXPECT_EQ(lister.next(), "t.wav");
  EXPECT_FALSE(lister.currentIsFolder());
  EXPECT_FALSE(lister.atEnd());
}

TEST(DirectoryListerTest, PastTheEndTheLastNameStays) {
  TempDir dir;
  writeFile(dir / "only", "");
  DirectoryLister lister(dir.path() + "/");  // a trailing separator is fine
  lister.next();
  EXPECT_EQ(lister.next(), "only");
  EXPECT_EQ(lister.next(), "only");
  EXPECT_TRUE(lister.atEnd());
  EXPECT_EQ(lister.next(), "only");
}

TEST(DirectoryListerTest, MissingFolderOrAFileGivesNoListing) {
  TempDir dir;
  writeFile(dir / "file", "");
  for (const std::string& path : {dir / "missing", dir / "file"}) {
    DirectoryLister lister(path);
    EXPECT_TRUE(lister.atEnd()) << path;
    EXPECT_EQ(lister.currentName(), "");
    EXPECT_EQ(lister.next(), "");
  }
}

}  // namespace
