// The archive tool from its command line: its vocabulary, its refusal of what
// it does not understand, and what a crash at any write leaves behind.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "file.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

class PackTest : public ::testing::Test {
 protected:
  TempDir dir;
  const std::string archive = dir / "zt.pff";

  Result pack(const std::vector<std::string>& words, const std::string& environment = "") {
    std::string command = "cd " + shQuoted(dir.path()) + " && " + environment + " " + PACK_PATH;
    for (const std::string& word : words) command += " " + shQuoted(word);
    command += " >" + shQuoted(dir / "out") + " 2>" + shQuoted(dir / "err");
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "out"),
            readFile(dir / "err")};
  }

  std::string source(const std::string& name, const std::string& content) {
    writeFile(dir / ("in/" + name), content);
    return dir / ("in/" + name);
  }

  std::string listing() { return pack({archive, "/list"}).out; }

  std::string extract(const std::string& name) {
    fs::remove(dir / "extracted");
    Result r = pack({archive, "/extract", name, dir / "extracted"});
    return r.status == 0 ? readFile(dir / "extracted") : "<failed: " + r.err + ">";
  }
};

TEST_F(PackTest, AddListExtractVerify) {
  const std::string binary("\0\x01\xff\n\r\n", 6);
  Result added = pack({archive, source("a.dds", binary), source("b.wav", "wav"), "/force"});
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, archive + ": added a.dds (6 bytes)\n" + archive + ": added b.wav (3 bytes)\n");
  EXPECT_EQ(listing(), "a.dds 6\nb.wav 3\n");
  EXPECT_EQ(extract("a.dds"), binary);
  EXPECT_EQ(extract("B.WAV"), "wav");
  Result verified = pack({archive, "/verify"});
  EXPECT_EQ(verified.status, 0);
  EXPECT_EQ(verified.out, archive + ": verified 2 entries\n");
  EXPECT_EQ(pack({archive, "/extract", "missing", dir / "x"}).status, 1);
}

TEST_F(PackTest, ReplacingNeedsForceAndNamesCompareWithoutCase) {
  ASSERT_EQ(pack({archive, source("Tex.DDS", "old"), "/force"}).status, 0);
  Result kept = pack({archive, source("tex.dds", "new!"), source("other", "o")});
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find("Tex.DDS is already there"), std::string::npos) << kept.err;
  EXPECT_EQ(listing(), "Tex.DDS 3\nother 1\n");
  // Switches in any case, anywhere after the archive; the new name is stored.
  Result replaced = pack({archive, "/FoRcE", source("tex.dds", "new!")});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(replaced.out, archive + ": replaced tex.dds (4 bytes)\n");
  EXPECT_EQ(listing(), "tex.dds 4\nother 1\n");
  EXPECT_EQ(extract("TEX.dds"), "new!");
}

TEST_F(PackTest, AddTakesTheBaseNameAfterEitherSeparator) {
  source("x.dds", "1");
  ASSERT_EQ(pack({archive, "in\\x.dds", "/force"}).status, 1);  // no such file here
  ASSERT_EQ(pack({archive, dir / "in/x.dds", "/force"}).status, 0);
  EXPECT_EQ(listing(), "x.dds 1\n");
  // The archive added to itself: the bytes it had, not what it grows by.
  const auto size = fs::file_size(archive);
  ASSERT_EQ(pack({archive, archive, "/force"}).status, 0);
  EXPECT_EQ(listing(), "x.dds 1\nzt.pff " + std::to_string(size) + "\n");
}

TEST_F(PackTest, DeletingAnAbsentNameIsNoError) {
  ASSERT_EQ(pack({archive, source("a", "1"), source("b", "2"), "/force"}).status, 0);
  Result r = pack({archive, "/del", "A", "nope"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, archive + ": deleted A; not there: nope\n");
  EXPECT_EQ(listing(), "b 1\n");
  EXPECT_EQ(pack({archive, "/del", "a"}).out, archive + ": deleted nothing; not there: a\n");
}

TEST_F(PackTest, OptimizeLeavesOnlyLiveEntries) {
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(pack({archive, source("big", std::string(10000 + i, 'b')), source("keep", "k"),
                    "/force"})
                  .status,
              0);
  }
  ASSERT_EQ(pack({archive, source("gone", std::string(5000, 'g')), "/force"}).status, 0);
  ASSERT_EQ(pack({archive, "/del", "gone"}).status, 0);
  const std::string before = listing();
  const auto sizeBefore = fs::file_size(archive);
  Result r = pack({archive, "/opt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(listing(), before);
  EXPECT_EQ(pack({archive, "/verify"}).status, 0);
  EXPECT_EQ(extract("big"), std::string(10004, 'b'));
  // Two header slots, the live bytes and an index of two short entries.
  EXPECT_EQ(fs::file_size(archive), 8192u + 10004 + 1 + 4 + (2 + 3 + 20) + (2 + 4 + 20));
  EXPECT_LT(fs::file_size(archive), sizeBefore);
  EXPECT_FALSE(fs::exists(archive + ".pack-tmp"));
}

TEST_F(PackTest, ForeignAndDamagedFilesAreRefusedAndLeftUnchanged) {
  ASSERT_EQ(pack({archive, source("a", "payload"), "/force"}).status, 0);
  const std::string good = readFile(archive);
  std::string wrongVersion = good;
  wrongVersion[8] = 2;
  std::string damagedIndex = good;
  damagedIndex[damagedIndex.size() - 3] ^= 1;
  const std::vector<std::string> foreign = {
      "", "just some text\n", std::string(20000, '\0'), good.substr(0, good.size() - 1),
      good.substr(0, 100), wrongVersion, damagedIndex, "PFF3" + good.substr(4),
  };
  for (size_t i = 0; i < foreign.size(); ++i) {
    writeFile(archive, foreign[i]);
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{archive, source("n", "x"), "/force"},
                                               {archive, "/del", "a"},
                                               {archive, "/opt"},
                                               {archive, "/list"},
                                               {archive, "/verify"}}) {
      Result r = pack(words);
      EXPECT_EQ(r.status, 1) << "case " << i << " " << words[1];
      EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
      EXPECT_EQ(readFile(archive), foreign[i]) << "case " << i << " " << words[1];
    }
  }
  // Damaged entry data opens, but the checksum catches it.
  std::string damagedData = good;
  damagedData[8192] ^= 1;
  writeFile(archive, damagedData);
  Result verify = pack({archive, "/verify"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.err.find("entry a is damaged"), std::string::npos) << verify.err;
  EXPECT_EQ(extract("a").rfind("<failed", 0), 0u);
  // /opt will not carry the damage into a new file.
  EXPECT_EQ(pack({archive, "/opt"}).status, 1);
  EXPECT_EQ(readFile(archive), damagedData);
  EXPECT_FALSE(fs::exists(archive + ".pack-tmp"));
}

TEST_F(PackTest, MissingArchiveIsCreatedOnlyByAnAdd) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {archive, "/del", "a"}, {archive, "/opt"}, {archive, "/list"}, {archive, "/verify"},
           {archive, "/extract", "a", dir / "x"}}) {
    EXPECT_EQ(pack(words).status, 1) << words[1];
    EXPECT_FALSE(fs::exists(archive));
  }
  // An add whose every file fails makes no archive either.
  EXPECT_EQ(pack({archive, dir / "no-such-file", "/force"}).status, 1);
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(PackTest, MalformedCommandLines) {
  Result none = pack({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err.rfind("pack: no archive given\nusage: pack ARCHIVE", 0), 0u) << none.err;
  Result help = pack({"/?"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: pack ARCHIVE", 0), 0u);
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {archive}, {archive, "/del"}, {archive, "/opt", "x"}, {archive, "/list", "/del", "x"},
           {archive, "/extract", "a"}, {archive, "/del", "a", "/force"}}) {
    EXPECT_EQ(pack(words).status, 2) << words.size();
  }
  EXPECT_FALSE(fs::exists(archive));
}

// Runs `words` with the k-th write cut in half and the tool stopped there,
// for every k, and checks that the archive then holds its content either as
// before the command or as after it, and verifies.
class CrashTest : public PackTest {
 protected:
  void crashAtEveryWrite(const std::vector<std::string>& words) {
    const std::string start = fs::exists(archive) ? readFile(archive) : "";
    const bool existed = fs::exists(archive);
    const std::string before = existed ? listing() : "";
    ASSERT_EQ(pack(words).status, 0);
    const std::string after = listing();
    int crashes = 0;
    for (int k = 1;; ++k) {
      fs::remove(archive);
      fs::remove(archive + ".pack-tmp");
      if (existed) writeFile(archive, start);
      Result r = pack(words, "PACK_TEST_CRASH_AT_WRITE=" + std::to_string(k));
      if (r.status == 0) break;
      ASSERT_EQ(r.status, kCrashExitStatus) << r.err;
      ++crashes;
      if (!existed && !fs::exists(archive)) continue;  // a new archive not made yet
      std::string now = listing();
      EXPECT_TRUE(now == before || now == after) << "write " << k << ":\n" << now;
      Result verify = pack({archive, "/verify"});
      EXPECT_EQ(verify.status, 0) << "write " << k << ": " << verify.err;
    }
    EXPECT_GE(crashes, 2);  // at least the index and the header
  }

  void makeBase() {
    ASSERT_EQ(pack({archive, source("a.dds", std::string(3000, 'a')),
                    source("b.dds", std::string(2000, 'b')), "/force"})
                  .status,
              0);
    ASSERT_EQ(pack({archive, "/del", "b.dds"}).status, 0);  // both slots in use
  }
};

TEST_F(CrashTest, CreatingAnArchive) {
  crashAtEveryWrite({archive, source("a.dds", "aaaa"), source("big", std::string(1500000, 'x')),
                     "/force"});
}

TEST_F(CrashTest, AddingAndReplacing) {
  makeBase();
  crashAtEveryWrite({archive, source("a.dds", "new"), source("c.dds", std::string(1500000, 'c')),
                     "/force"});
}

TEST_F(CrashTest, Deleting) {
  makeBase();
  crashAtEveryWrite({archive, "/del", "a.dds"});
}

TEST_F(CrashTest, Optimizing) {
  makeBase();
  ASSERT_EQ(pack({archive, source("big", std::string(1500000, 'x')), "/force"}).status, 0);
  crashAtEveryWrite({archive, "/opt"});
}

}  // namespace
