#include "run/record_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "test_support/temp_dir.h"

namespace {

using platform::FileStamp;

TEST(RecordFileTest, TheRecordReadsBackAsWrittenAndItsTemporaryFileIsAlwaysNew) {
  TempDir dir;
  const std::string path = dir / "record.txt";
  ChangeRecord written;
  written.startedAt = 1234;
  written.archives["zt.pff"] = {1, 2, 3, 4, 5};
  written.deleteList = FileStamp{6, 7, 8, 9, 10};
  written.listNamedOtherArchives = true;
  written.files["zt.pff"] = {{"a\nb\\c", {11, 12, 13, 14, 18446744073709551615ULL}},
                             {"b", {1, 2, 3, 4, 5}}};
  written.files["ztL.pff"] = {{" two  spaces ", {0, -15, 16, 17, 18}}};
  std::string error;
  ASSERT_TRUE(writeChangeRecord(path, written, &error)) << error;
  ChangeRecord read;
  ASSERT_TRUE(readChangeRecord(path, &read));
  EXPECT_EQ(read.startedAt, written.startedAt);
  EXPECT_EQ(read.archives, written.archives);
  EXPECT_EQ(read.deleteList, written.deleteList);
  EXPECT_EQ(read.listNamedOtherArchives, written.listNamedOtherArchives);
  EXPECT_EQ(read.files, written.files);

  // Never through a link, never over what is there.
  writeFile(dir / "victim", "keep");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "planted").c_str()), 0);
  EXPECT_FALSE(platform::writeNewFile(dir / "planted", "overwritten", &error));
  EXPECT_FALSE(platform::writeNewFile(dir / "victim", "overwritten", &error));
  EXPECT_EQ(readFile(dir / "victim"), "keep");
  // A link planted as the record's temporary file goes, its target stays.
  ASSERT_EQ(symlink((dir / "victim").c_str(), (path + ".tmp").c_str()), 0);
  ASSERT_TRUE(writeChangeRecord(path, written, &error)) << error;
  EXPECT_EQ(readFile(dir / "victim"), "keep");
  EXPECT_TRUE(readChangeRecord(path, &read));

  // Another version's record, one whose files do not add up to its count,
  // one with more after its end, or one written otherwise than the program
  // writes it (by hand, or damaged), is no record.
  const std::string good = readFile(path);
  for (const auto& [from, to] :
       {std::pair{"record 3\n", "record 2\n"}, std::pair{"end 3\n", "end 4\n"},
        std::pair{"end 3\n", "end 3\nend 3\n"}, std::pair{"started ", "started 0"}}) {
    std::string bad = good;
    bad.replace(bad.find(from), std::strlen(from), to);
    writeFile(path, bad);
    EXPECT_FALSE(readChangeRecord(path, &read)) << to;
  }
}

}  // namespace
