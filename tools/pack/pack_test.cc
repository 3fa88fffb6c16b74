// The archive tool from its command line: its vocabulary, its refusal of what
// it does not understand, processes taking turns, and what a power cut at
// any write leaves behind. Most cases run the tool's test build.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive.h"
#include "lock.h"
#include "test_build.h"
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

  // Runs the tool with `words`, after `environment` (assignments or shell
  // commands) in the shell that starts it, its stdout going to `output`.
  Result pack(const std::vector<std::string>& words, const std::string& environment = "",
              const std::string& program = PACK_TEST_BUILD_PATH, std::string output = "") {
    if (output.empty()) output = dir / "out";
    std::string command = "cd " + shQuoted(dir.path()) + " && " + environment + " " + program;
    for (const std::string& word : words) command += " " + shQuoted(word);
    command += " >" + shQuoted(output) + " 2>" + shQuoted(dir / "err");
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
  EXPECT_EQ(added.out,
            archive + ": added a.dds (6 bytes)\n" + archive + ": added b.wav (3 bytes)\n");
  EXPECT_EQ(listing(), "a.dds 6\nb.wav 3\n");
  EXPECT_EQ(extract("a.dds"), binary);
  EXPECT_EQ(extract("B.WAV"), "wav");
  Result verified = pack({archive, "/verify"});
  EXPECT_EQ(verified.status, 0);
  EXPECT_EQ(verified.out, archive + ": verified 2 entries\n");
  EXPECT_EQ(pack({archive, "/extract", "missing", dir / "x"}).status, 1);
  // Never over the archive itself or its lock file, nor through a link to
  // either: a new lock file would no longer hold off the processes waiting on
  // the old one.
  fs::create_symlink(archive, dir / "link");
  fs::create_symlink(archive + ".lock", dir / "lock-link");
  for (const std::string& destination :
       {archive, dir / "link", archive + ".lock", dir / "lock-link"}) {
    Result r = pack({archive, "/extract", "a.dds", destination});
    EXPECT_EQ(r.status, 1) << destination;
    EXPECT_NE(r.err.find("will not write over the archive"), std::string::npos) << r.err;
  }
  EXPECT_EQ(readFile(archive + ".lock"), "");
  // Nor over anything but a file, through a link too: it stays as it was (a
  // pipe here stands for /dev/null, which a rename would replace).
  makeFolder(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
  fs::create_symlink(dir / "pipe", dir / "pipe-link");
  for (const std::string& destination : {dir / "folder", dir / "pipe", dir / "pipe-link"}) {
    Result r = pack({archive, "/extract", "a.dds", destination}, "timeout 10");
    EXPECT_EQ(r.status, 1) << destination;
    EXPECT_NE(r.err.find("will not write over " + destination + ": it is a "), std::string::npos)
        << r.err;
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_FALSE(fs::exists(dir / "pipe.pack-tmp"));
  EXPECT_EQ(listing(), "a.dds 6\nb.wav 3\n");
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

TEST_F(PackTest, AddTakesTheFilesBaseName) {
  source("x.dds", "1");
  ASSERT_EQ(pack({archive, "in\\x.dds", "/force"}).status, 1);  // no such file here
  ASSERT_EQ(pack({archive, dir / "in/x.dds", "/force"}).status, 0);
  EXPECT_EQ(listing(), "x.dds 1\n");
  // On POSIX only "/" separates: a backslash is part of the name.
  ASSERT_EQ(pack({archive, source("d.dds", "real"), source("c\\d.dds", "other"), "/force"}).status,
            0);
  EXPECT_EQ(listing(), "x.dds 1\nd.dds 4\nc\\d.dds 5\n");
  ASSERT_EQ(pack({archive, "/del", "c\\d.dds", "d.dds"}).status, 0);
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
  // A name that would steer the terminal is shown with '?' for the controls.
  EXPECT_EQ(pack({archive, "/del", "\x1b]0;owned\x07\xe2\x80\xaegpj"}).out,
            archive + ": deleted nothing; not there: ?]0;owned??gpj\n");
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
  // Nothing, not even a part, is left at the destination.
  EXPECT_EQ(extract("a").rfind("<failed", 0), 0u);
  EXPECT_FALSE(fs::exists(dir / "extracted"));
  EXPECT_FALSE(fs::exists(dir / "extracted.pack-tmp"));
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
    EXPECT_FALSE(fs::exists(archive + ".lock")) << words[1];
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
           {archive, "/extract", "a"}, {archive, "/extract", "a", "b", "c"},
           {archive, "/del", "a", "/force"}}) {
    EXPECT_EQ(pack(words).status, 2) << words.size();
  }
  EXPECT_FALSE(fs::exists(archive));
  // An empty archive name would make the temporary file "./.pack-tmp".
  writeFile(dir / ".pack-tmp", "someone's");
  EXPECT_EQ(pack({"", source("a", "1"), "/force"}).status, 2);
  EXPECT_EQ(readFile(dir / ".pack-tmp"), "someone's");
}

TEST_F(PackTest, OptimizeWritesNoLinkAndKeepsTheArchivesLinkAndMode) {
  const std::string target = dir / "real.pff";
  ASSERT_EQ(pack({target, source("a", "aaa"), "/force"}).status, 0);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(target, archive);
  // Links lying where the temporary file goes, beside the link or the target.
  writeFile(dir / "victim", "victim");
  fs::create_symlink(dir / "victim", archive + ".pack-tmp");
  fs::create_symlink(dir / "victim", target + ".pack-tmp");
  Result r = pack({archive, "/opt"}, "PACK_TEST_CALL_LOG=" + shQuoted(dir / "calls"));
  EXPECT_EQ(r.status, 0) << r.err;
  // Made with the archive's mode, not given it later: never open to others.
  EXPECT_NE(readFile(dir / "calls").find("create " + target + ".pack-tmp 600\n"),
            std::string::npos)
      << readFile(dir / "calls");
  EXPECT_EQ(readFile(dir / "victim"), "victim");
  EXPECT_TRUE(fs::is_symlink(archive));
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(pack({archive, source("b", "bb"), "/force"}).status, 0);
  EXPECT_EQ(pack({target, "/list"}).out, "a 3\nb 2\n");
}

// Long random sequences of adds (empty files and sizes at the format's
// boundaries among them), deletes and /opt, each checked against a plain map
// of names to bytes: the tool's report, then the archive read back whole, its
// index exactly as written; now and then /list, /verify and /extract too.
// `make test` runs a fixed seed for a few seconds; a longer run takes a seed
// and a step count of the caller's choosing:
//   PACK_MODEL_SEED=7 PACK_MODEL_STEPS=20000 build/pack_tests --gtest_filter='*PlainModel*'
TEST_F(PackTest, RandomChangesMatchAPlainModel) {
  const char* seedSetting = std::getenv("PACK_MODEL_SEED");
  const char* stepsSetting = std::getenv("PACK_MODEL_STEPS");
  const unsigned long long seed = seedSetting ? std::strtoull(seedSetting, nullptr, 0) : 20261209;
  const long steps = stepsSetting ? std::atol(stepsSetting) : 150;
  SCOPED_TRACE("PACK_MODEL_SEED=" + std::to_string(seed));
  std::mt19937_64 random(seed);
  auto pick = [&](uint64_t n) { return static_cast<size_t>(random() % n); };

  // Names from one letter to the longest a POSIX file name may be, so that
  // the index crosses its regions' sizes (4 KiB at least, then doubling).
  std::vector<std::string> names;
  for (size_t length : {1, 2, 5, 12, 40, 100, 180, 230, 255}) {
    for (int i = 0; i < 5; ++i) {
      std::string name = std::string(1, static_cast<char>('a' + i)) + std::to_string(length);
      while (name.size() < length) name += static_cast<char>('a' + pick(26));
      names.push_back(name.substr(0, length));
    }
  }
  auto anyCase = [&](std::string name) {
    for (char& c : name) {
      if (pick(3) == 0) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
  };
  auto folded = [](std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  };
  // Sizes at every boundary: none, the header slot, the data start, the
  // smallest index region, the tool's 1 MiB copy chunk.
  const uint64_t boundaries[] = {0, 1, 4096, 8192, 12288, 1 << 20};
  auto size = [&]() -> uint64_t {
    switch (pick(8)) {
      case 0: case 1: return 0;
      case 2: case 3: case 4: return pick(300);
      case 5: return pick(20000);
      default: {
        uint64_t at = boundaries[pick(pick(12) == 0 ? 6 : 5)];
        return at + pick(3) - (at > 0 ? 1 : 0);
      }
    }
  };

  std::map<std::string, std::pair<std::string, std::string>> model;  // folded: name, bytes
  bool exists = false;
  for (long step = 0; step < steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const size_t action = exists ? pick(20) : 0;
    if (action < 11) {  // add
      const bool force = pick(5) != 0;
      std::vector<std::string> words = {archive};
      std::string expectedOut;
      bool refused = false;
      std::map<std::string, std::string> given;  // a file named twice is added twice
      for (size_t i = 0, n = 1 + pick(4); i < n; ++i) {
        const std::string name = anyCase(names[pick(names.size())]);
        if (!given.count(name)) {
          std::string bytes(size(), '\0');
          for (size_t at = 0; at < bytes.size(); at += 1 + pick(4096)) bytes[at] = char(random());
          given[name] = bytes;
        }
        const std::string& bytes = given[name];
        words.push_back(source(name, bytes));
        auto found = model.find(folded(name));
        if (found != model.end() && !force) {
          refused = true;
          continue;
        }
        expectedOut += archive + (found != model.end() ? ": replaced " : ": added ") + name +
                       " (" + std::to_string(bytes.size()) + " bytes)\n";
        model[folded(name)] = {name, bytes};
      }
      if (force) words.push_back("/force");
      Result r = pack(words);
      ASSERT_EQ(r.status, refused ? 1 : 0) << r.err;
      ASSERT_EQ(r.out, expectedOut);
      exists = true;
    } else if (action < 16) {  // delete
      std::vector<std::string> words = {archive, "/del"};
      std::string removed, absent;
      for (size_t i = 0, n = 1 + pick(3); i < n; ++i) {
        const std::string name = anyCase(names[pick(names.size())]);
        std::string& list = model.erase(folded(name)) ? removed : absent;
        list += (list.empty() ? "" : " ") + name;
        words.push_back(name);
      }
      Result r = pack(words);
      ASSERT_EQ(r.status, 0) << r.err;
      ASSERT_EQ(r.out, archive + ": deleted " + (removed.empty() ? "nothing" : removed) +
                           (absent.empty() ? "" : "; not there: " + absent) + "\n");
    } else if (action < 18) {
      Result r = pack({archive, "/opt"});
      ASSERT_EQ(r.status, 0) << r.err;
      ASSERT_EQ(r.out.rfind(archive + ": optimized, " + std::to_string(model.size()) + " entries",
                            0),
                0u)
          << r.out;
    } else {  // read through the tool
      std::string expected;
      for (const auto& [key, entry] : model) {
        expected += entry.first + " " + std::to_string(entry.second.size()) + "\n";
      }
      std::vector<std::string> lines;
      std::istringstream listed(listing());
      for (std::string line; std::getline(listed, line);) lines.push_back(line + "\n");
      std::sort(lines.begin(), lines.end(), [&](const std::string& a, const std::string& b) {
        return folded(a.substr(0, a.rfind(' '))) < folded(b.substr(0, b.rfind(' ')));
      });
      std::string sorted;
      for (const std::string& line : lines) sorted += line;
      ASSERT_EQ(sorted, expected);
      ASSERT_EQ(pack({archive, "/verify"}).status, 0);
      if (!model.empty()) {
        auto entry = std::next(model.begin(), static_cast<long>(pick(model.size())));
        ASSERT_EQ(extract(anyCase(entry->first)), entry->second.second);
      }
    }

    // The archive as a reader sees it, against the model.
    Archive read;
    std::string error;
    ASSERT_TRUE(openArchive(archive, OpenMode::Read, &read, &error)) << error;
    // Taken as written: the reader had nothing to set right.
    std::string index(read.header.indexSize, '\0');
    ASSERT_TRUE(readAt(read.file.get(), read.header.indexOffset, &index[0], index.size(), &error));
    ASSERT_TRUE(index == encodeIndex(read.entries)) << "an entry was read other than written";
    ASSERT_EQ(read.entries.size(), model.size());
    for (const Entry& entry : read.entries) {
      auto expected = model.find(folded(entry.name));
      ASSERT_NE(expected, model.end()) << entry.name;
      EXPECT_EQ(entry.name, expected->second.first);
      std::string bytes;
      EXPECT_TRUE(readEntry(
          &read, entry, [&](const char* data, size_t n) { return bytes.append(data, n), true; },
          &error))
          << error;
      ASSERT_EQ(bytes, expected->second.second) << entry.name;
    }
    read.file = FileHandle();
  }
}

TEST_F(PackTest, AFifoIsRefusedWithoutBlocking) {
  makeFolder(dir / "in");
  ASSERT_EQ(mkfifo((dir / "in/pipe.dds").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir / "pipe.pff").c_str(), 0644), 0);
  // `timeout` turns a hang into status 124.
  Result added = pack({archive, dir / "in/pipe.dds", source("b", "2"), "/force"}, "timeout 10");
  EXPECT_EQ(added.status, 1);
  EXPECT_NE(added.err.find("pipe.dds: not a regular file"), std::string::npos) << added.err;
  EXPECT_EQ(listing(), "b 1\n");
  for (const char* action : {"/list", "/opt", "/verify"}) {
    Result r = pack({dir / "pipe.pff", action}, "timeout 10");
    EXPECT_EQ(r.status, 1) << action;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  }
}

TEST_F(PackTest, AFailedAddOnAFullDiskLeavesTheArchiveAsItWas) {
  ASSERT_EQ(pack({archive, source("a", std::string(10000, 'a')), "/force"}).status, 0);
  const std::string before = readFile(archive);
  // A file size limit of 32 KiB or more stands in for a full disk: writes past
  // it fail (EFBIG) once the signal it raises is ignored.
  const std::string fullDisk = "trap '' XFSZ; ulimit -f 64;";
  Result tooBig = pack({archive, source("big", std::string(100000, 'b')), "/force"}, fullDisk);
  EXPECT_EQ(tooBig.status, 1);
  EXPECT_NE(tooBig.err.find("cannot write to the archive"), std::string::npos) << tooBig.err;
  EXPECT_EQ(readFile(archive), before);
  // The space is free again for an add that fits.
  Result fits = pack({archive, source("small", "s"), "/force"}, fullDisk);
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_EQ(listing(), "a 10000\nsmall 1\n");

  // A disk that fills up anywhere in the first add after the archive was made
  // or optimized, in its data, its index or its header (the test build's
  // PACK_TEST_DISK_FREE): the add is made, or fails leaving the archive as it
  // was, taking no space.
  for (bool optimized : {false, true}) {
    SCOPED_TRACE(optimized ? "after /opt" : "after the archive was made");
    int made = 0, failed = 0;
    for (int blocks = 0; blocks <= 6; ++blocks) {
      fs::remove(archive);
      ASSERT_EQ(pack({archive, source("a", std::string(10000, 'a')), "/force"}).status, 0);
      if (optimized) {
        ASSERT_EQ(pack({archive, "/opt"}).status, 0);
      }
      const std::string start = readFile(archive);
      // Data from 22288 to 32768, where a block ends: the index needs a block
      // of its own, and fails on its own at one of these sizes.
      Result r = pack({archive, source("big", std::string(10480, 'b')), "/force"},
                      "PACK_TEST_DISK_FREE=" + std::to_string(blocks * 4096));
      if (r.status == 0) {
        ++made;
        EXPECT_EQ(listing(), "a 10000\nbig 10480\n");
      } else {
        ++failed;
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_TRUE(readFile(archive) == start) << blocks << " blocks free";
      }
    }
    EXPECT_GT(made, 0);
    EXPECT_GT(failed, 3);
  }
}

// A report that cannot be written (a full disk under `>> log`) fails the
// command, and says so on stderr.
TEST_F(PackTest, AReportThatCannotBeWrittenFailsTheCommand) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {archive, source("a", "1"), "/force"}, {archive, "/list"}, {"/?"}}) {
    Result r = pack(words, "", PACK_TEST_BUILD_PATH, "/dev/full");
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_EQ(r.err, "pack: cannot write to standard output: No space left on device\n");
  }
  EXPECT_EQ(listing(), "a 1\n");  // made, though its report was lost
}

// Every rename that puts a new file in place (a new archive, /opt, /extract)
// comes after the file's last write was flushed, and is followed by a flush
// of its folder, so that a power cut keeps it.
TEST_F(PackTest, ARenamedFileIsFlushedFirstAndItsFolderAfter) {
  const std::string log = dir / "calls";
  const std::string extracted = dir / "extracted.dat";
  for (const auto& [words, renamed] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{archive, source("a", "aaa"), "/force"}, archive},
           {{archive, "/opt"}, archive},
           {{archive, "/extract", "a", extracted}, extracted}}) {
    SCOPED_TRACE(words[1]);
    fs::remove(log);
    Result r = pack(words, "PACK_TEST_CALL_LOG=" + shQuoted(log));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> calls;
    std::istringstream in(readFile(log));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    const std::string temporary = renamed + ".pack-tmp";
    const auto rename =
        std::find(calls.begin(), calls.end(), "rename " + temporary + " " + renamed);
    ASSERT_NE(rename, calls.end()) << readFile(log);
    const auto lastWrite = std::find(calls.rbegin(), calls.rend(), "write " + temporary);
    const auto lastFlush = std::find(calls.rbegin(), calls.rend(), "flush " + temporary);
    ASSERT_NE(lastWrite, calls.rend());
    EXPECT_LT(lastFlush - calls.rbegin(), lastWrite - calls.rbegin()) << readFile(log);
    ASSERT_NE(rename + 1, calls.end());
    EXPECT_EQ(rename[1], "flush-folder " + renamed);
  }
  EXPECT_EQ(readFile(extracted), "aaa");
}

// The lock holds off every writer: a lock file that is a link is refused, not
// followed, and a writer never does without the lock. Only a reader may, in a
// folder where it cannot create the lock file.
TEST_F(PackTest, NoWriterGoesWithoutTheLock) {
  ASSERT_EQ(pack({archive, source("a", "1"), "/force"}).status, 0);
  fs::remove(archive + ".lock");
  fs::create_symlink(dir / "elsewhere", archive + ".lock");
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {archive, source("b", "2"), "/force"}, {archive, "/list"}}) {
    Result r = pack(words);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_NE(r.err.find("cannot open " + archive + ".lock"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "elsewhere"));

  // A folder this user cannot write to, holding an archive it can.
  const std::string folder = dir / "read-only", shared = folder + "/zt.pff";
  makeFolder(folder);
  ASSERT_EQ(pack({shared, source("a", "1"), "/force"}).status, 0);
  fs::remove(shared + ".lock");
  fs::permissions(shared, fs::perms::all & ~fs::perms::others_exec & ~fs::perms::group_exec &
                              ~fs::perms::owner_exec);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  // Root writes anywhere: it runs the tool as nobody.
  const std::string user =
      geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  Result list = pack({shared, "/list"}, user);
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "a 1\n");
  const std::string before = readFile(shared);
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {shared, "/del", "a"}, {shared, source("b", "2"), "/force"}}) {
    Result r = pack(words, user);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_NE(r.err.find("cannot open " + shared + ".lock"), std::string::npos) << r.err;
  }
  EXPECT_EQ(readFile(shared), before);
}

TEST_F(PackTest, AWaiterSaysSoOnceAndGivesUpAtTheLimit) {
  ASSERT_EQ(pack({archive, source("a", "1"), "/force"}).status, 0);
  const std::string shortWait = "PACK_TEST_LOCK_WAIT_MS=300";
  for (bool shared : {true, false}) {
    FileHandle held;
    std::string error;
    ASSERT_TRUE(lockArchive(archive, shared, [] {}, &held, &error)) << error;
    // Readers share the lock; a change waits for everyone.
    Result list = pack({archive, "/list"}, shortWait);
    EXPECT_EQ(list.status, shared ? 0 : 1) << list.err;
    // /opt rewrites the whole archive: a change like any other.
    EXPECT_EQ(pack({archive, "/opt"}, shortWait).status, 1) << shared;
    Result add = pack({archive, source("b", "2"), "/force"}, shortWait);
    EXPECT_EQ(add.status, 1);
    EXPECT_EQ(add.err, "pack: " + archive + ": waiting for another process to finish with it\n" +
                           "pack: " + archive + ": gave up after 0.3 s: another process still " +
                           "holds " + archive + ".lock\n");
  }
  EXPECT_EQ(listing(), "a 1\n");
}

TEST_F(PackTest, TheShippedToolHasNoTestHooks) {
  Result added =
      pack({archive, source("a", "1"), "/force"}, "PACK_TEST_CRASH_AT_WRITE=1", PACK_PATH);
  EXPECT_EQ(added.status, 0);
  EXPECT_EQ(listing(), "a 1\n");
  // Told to give up at once, it waits on (until `timeout` ends it).
  FileHandle held;
  std::string error;
  ASSERT_TRUE(lockArchive(archive, false, [] {}, &held, &error)) << error;
  EXPECT_EQ(pack({archive, "/list"}, "PACK_TEST_LOCK_WAIT_MS=1 timeout 1", PACK_PATH).status, 124);
}

// Several processes adding 200 files each, one at a time, to one archive that
// none of them has made yet, while /opt runs in a loop or not: every add
// that reported success is listed, and the archive verifies.
TEST_F(PackTest, ProcessesChangingOneArchiveTakeTurns) {
  const int kFiles = 200;
  for (auto [writers, optimizing] : {std::pair{2, false}, std::pair{4, true}}) {
    SCOPED_TRACE(std::to_string(writers) + " writers" + (optimizing ? " and /opt" : ""));
    fs::remove(archive);
    std::string script = "cd " + shQuoted(dir.path()) + "; rm -f stop *.out *.err; pids=;" +
                         " pack=" + shQuoted(PACK_PATH) + "; last=" +
                         std::to_string(kFiles - 1) + ";";
    for (int w = 0; w < writers; ++w) {
      const std::string n = std::to_string(w);
      for (int i = 0; i < kFiles; ++i) source("w" + n + "-" + std::to_string(i), n + "." + n);
      script += " (for i in $(seq 0 $last); do \"$pack\" zt.pff in/w" + n + "-$i /force >>w" + n +
                ".out 2>>w" + n + ".err; done) & pids=\"$pids $!\";";
    }
    if (optimizing) {
      script += " (until [ -e zt.pff ]; do sleep 0.01; done; while [ ! -e stop ]; do"
                " \"$pack\" zt.pff /opt >>opt.out 2>>opt.err || echo failed >>opt.err; done) &";
    }
    script += " wait $pids; touch stop; wait";
    ASSERT_EQ(std::system(script.c_str()), 0);

    const std::string listed = "\n" + listing();
    int added = 0;
    for (int w = 0; w < writers; ++w) {
      std::istringstream out(readFile(dir / ("w" + std::to_string(w) + ".out")));
      for (std::string line; std::getline(out, line); ++added) {
        // "zt.pff: added NAME (N bytes)"
        std::string name = line.substr(line.find("added ") + 6);
        name = name.substr(0, name.find(' '));
        EXPECT_NE(listed.find("\n" + name + " "), std::string::npos) << name;
      }
      std::string err = readFile(dir / ("w" + std::to_string(w) + ".err"));
      EXPECT_EQ(err.find("failed"), std::string::npos) << err;
      EXPECT_EQ(err.find("refused"), std::string::npos) << err;
    }
    EXPECT_EQ(added, writers * kFiles);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), writers * kFiles + 1);
    if (optimizing) {
      EXPECT_NE(readFile(dir / "opt.out"), "");
      EXPECT_EQ(readFile(dir / "opt.err").find("failed"), std::string::npos);
    }
    Result verified = pack({archive, "/verify"});
    EXPECT_EQ(verified.status, 0) << verified.err;
  }
}

// Runs `words` in the test build with the power failing at the k-th write,
// flush or rename, for every k, and right after the tool ends; each time
// with every unflushed write lost, with only the newest kept, and with all
// but the newest kept, as a disk that writes out of order may. The archive
// must then hold its content as before the command or as after it, and
// verify; after the cut that follows success, as after it.
class CrashTest : public PackTest {
 protected:
  void crashAtEveryWrite(const std::vector<std::string>& words) {
    const std::string start = fs::exists(archive) ? readFile(archive) : "";
    const bool existed = fs::exists(archive);
    const std::string before = existed ? listing() : "";
    ASSERT_EQ(pack(words).status, 0);
    const std::string after = listing();
    int crashes = 0;
    for (int k = 1, ended = 0; !ended; ++k) {
      for (const char* keep : {"0", "1", "0xfffffffffffffffe"}) {
        SCOPED_TRACE("at call " + std::to_string(k) + ", keeping " + keep);
        fs::remove(archive);
        fs::remove(archive + ".pack-tmp");
        if (existed) writeFile(archive, start);
        Result r = pack(words, "PACK_TEST_CRASH_AT_WRITE=" + std::to_string(k) +
                                   " PACK_TEST_CRASH_KEEP=" + keep);
        if (r.status == 0) {
          ended = 1;
          EXPECT_EQ(listing(), after);
        } else {
          ASSERT_EQ(r.status, kCrashExitStatus) << r.err;
          ++crashes;
          if (!existed && !fs::exists(archive)) continue;  // a new archive not made yet
          std::string now = listing();
          EXPECT_TRUE(now == before || now == after) << now;
        }
        Result verify = pack({archive, "/verify"});
        EXPECT_EQ(verify.status, 0) << verify.err;
      }
    }
    EXPECT_GE(crashes, 12);  // at least index, flush, header, flush, three times each
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
