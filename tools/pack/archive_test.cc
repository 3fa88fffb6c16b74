// The archive reader against damaged input: thousands of deterministic
// mutations of valid archives, each refused cleanly or read consistently.
#include "archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "crc32.h"
#include "printable.h"
#include "test_support/temp_dir.h"

namespace {

uint64_t getU64(const std::string& bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void putU32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

void putU64(std::string* bytes, size_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// A new, empty archive at `path`.
void create(const std::string& path, Archive* archive) {
  std::string error;
  File* file = createFile(path, "", &error);
  ASSERT_NE(file, nullptr) << error;
  startArchive(file, archive);
}

// Recomputes both slots' checksums, so that a mutation reaches the checks
// behind them.
void reseal(std::string* bytes) {
  for (uint64_t slot : {uint64_t{0}, kHeaderSlotSize}) {
    if (bytes->size() < slot + kEncodedHeaderSize) continue;
    uint64_t offset = getU64(*bytes, slot + 24), size = getU64(*bytes, slot + 32);
    if (offset < bytes->size() && size <= bytes->size() - offset) {
      putU32(bytes, slot + 72, crc32Update(0, bytes->data() + offset, size));
    }
    putU32(bytes, slot + 76, crc32Update(0, bytes->data() + slot, 76));
  }
}

// An archive that has seen several changes: both slots valid, a spare index
// region in use, dead space from a replaced entry.
std::string sampleArchive(const TempDir& dir) {
  const std::string path = dir / "sample.pff";
  Archive archive;
  std::string error;
  create(path, &archive);
  std::vector<Entry> entries;
  for (int round = 0; round < 4; ++round) {
    const std::string name = round == 3 ? "A.dds" : "a" + std::to_string(round) + ".dds";
    writeFile(dir / "source", std::string(100 + round * 37, static_cast<char>('a' + round)));
    Entry entry;
    EXPECT_EQ(appendFile(&archive, dir / "source", name, &entry, &error), AppendResult::Ok);
    int existing = findEntry(entries, name);
    if (existing >= 0) {
      entries[existing] = entry;
    } else {
      entries.push_back(entry);
    }
    EXPECT_TRUE(commit(&archive, entries, &error)) << error;
  }
  archive.file = FileHandle();
  return readFile(path);
}

TEST(ArchiveReaderTest, DamagedArchivesAreRefusedOrReadConsistently) {
  TempDir dir;
  const std::string original = sampleArchive(dir);
  const std::string path = dir / "mutant.pff";
  std::mt19937_64 random(20261207);
  int accepted = 0, refused = 0;
  for (int round = 0; round < 6000; ++round) {
    std::string bytes = original;
    auto pick = [&](uint64_t n) { return static_cast<size_t>(random() % n); };
    switch (round % 5) {
      case 0:  // stray bytes anywhere
        for (int i = 0, n = 1 + pick(8); i < n; ++i) bytes[pick(bytes.size())] ^= 1 + pick(255);
        break;
      case 1:  // cut short
        bytes.resize(pick(bytes.size()));
        break;
      case 2: {  // a header field set to a chosen value, checksums made good
        size_t slot = pick(2) * kHeaderSlotSize, field = 16 + 8 * pick(7);
        uint64_t values[] = {0, 1, bytes.size(), bytes.size() - 1, kDataStart, ~uint64_t{0},
                             getU64(bytes, slot + field) + pick(64) - 32, random()};
        putU64(&bytes, slot + field, values[pick(8)]);
        reseal(&bytes);
        break;
      }
      case 3: {  // the index changed under good checksums
        for (uint64_t slot : {uint64_t{0}, kHeaderSlotSize}) {
          uint64_t offset = getU64(bytes, slot + 24), size = getU64(bytes, slot + 32);
          for (int i = 0, n = 1 + pick(4); i < n && size > 0; ++i) {
            bytes[offset + pick(size)] = static_cast<char>(random());
          }
        }
        reseal(&bytes);
        break;
      }
      case 4:  // garbage past the end, and a stray byte
        bytes += std::string(pick(5000), static_cast<char>(random()));
        bytes[pick(bytes.size())] ^= 0x40;
        break;
    }
    writeFile(path, bytes);
    Archive archive;
    std::string error;
    if (!openArchive(path, OpenMode::Read, &archive, &error)) {
      EXPECT_EQ(error.rfind("refused: ", 0), 0u) << error;
      ++refused;
      continue;
    }
    ++accepted;
    for (const Entry& entry : archive.entries) {
      ASSERT_GE(entry.offset, kDataStart);
      ASSERT_LE(entry.offset + entry.size, bytes.size());
      uint64_t seen = 0;
      std::string problem;
      bool intact = readEntry(
          &archive, entry, [&](const char*, size_t n) { return seen += n, true; }, &problem);
      EXPECT_TRUE(intact || problem.find("damaged") != std::string::npos) << problem;
      if (intact) {
        EXPECT_EQ(seen, entry.size);
      }
    }
    archive.file = FileHandle();
  }
  // Both outcomes must occur, or the mutations test nothing.
  EXPECT_GT(accepted, 500);
  EXPECT_GT(refused, 500);
}

// Headers that no crash makes and whose checksums are right, each of which
// would let the next commit destroy data: refused at open, or at commit.
TEST(ArchiveReaderTest, ForgedHeadersAreRefusedBeforeTheyDoHarm) {
  TempDir dir;
  const std::string original = sampleArchive(dir);
  const size_t current = getU64(original, 16) > getU64(original, kHeaderSlotSize + 16)
                             ? 0
                             : kHeaderSlotSize;
  const size_t other = kHeaderSlotSize - current;
  const std::string path = dir / "forged.pff";
  std::string error;

  // The other slot written by a newer version, as the newer state.
  std::string newer = original;
  newer.replace(other, kEncodedHeaderSize, original.substr(current, kEncodedHeaderSize));
  putU32(&newer, other + 8, 2);
  putU64(&newer, other + 16, getU64(original, current + 16) + 1);
  // The spare index region laid over the first entry's data.
  std::string overlapping = original;
  putU64(&overlapping, current + 48, kDataStart);
  putU64(&overlapping, current + 56, 4096);
  // The spare index region laid over the current one.
  std::string sharedRegion = original;
  putU64(&sharedRegion, current + 48, getU64(original, current + 24) + 8);
  putU64(&sharedRegion, current + 56, 64);
  // Two names that differ only in letter case: a change would keep one.
  std::string twins = original;
  const size_t index = getU64(original, current + 24);
  const size_t at = twins.find("a1.dds", index);
  ASSERT_LT(at, index + getU64(original, current + 32));
  twins.replace(at, 6, "A0.DDS");
  // An entry so large that its end would wrap around, back into the file.
  std::string wrapping = original;
  const size_t first = wrapping.find("a0.dds", index) + 6;
  putU64(&wrapping, first + 8, ~getU64(original, first) + 1 + 16);
  // An index longer than the region it is given: the checks that keep the
  // spare region and the entries off the index would miss its end.
  std::string overrun = original;
  putU64(&overrun, current + 40, getU64(original, current + 32) - 1);
  for (const auto& [forged, problem] : std::vector<std::pair<std::string, std::string>>{
           {newer, "its format version 2 is not supported"},
           {wrapping, "entry a0.dds lies outside the file"},
           {overlapping, "entry a0.dds overlaps an index region"},
           {sharedRegion, "its index regions overlap"},
           {twins, "entry A0.DDS is listed twice"},
           {overrun, "the header points outside the file"}}) {
    std::string bytes = forged;
    reseal(&bytes);
    writeFile(path, bytes);
    Archive archive;
    EXPECT_FALSE(openArchive(path, OpenMode::Update, &archive, &error));
    EXPECT_EQ(error, "refused: " + problem);
  }

  // The last generation the format can count: a commit would wrap to 0 and
  // lose to the older slot.
  std::string last = original;
  putU64(&last, current + 16, ~uint64_t{0});
  reseal(&last);
  writeFile(path, last);
  Archive archive;
  ASSERT_TRUE(openArchive(path, OpenMode::Update, &archive, &error)) << error;
  std::vector<Entry> entries = archive.entries;
  entries.pop_back();
  EXPECT_FALSE(commit(&archive, entries, &error));
  EXPECT_NE(error.find("/opt makes it anew"), std::string::npos) << error;
  archive.file = FileHandle();
  EXPECT_EQ(readFile(path), last);
}

// Earlier versions put an empty entry at the header's end, past the end of
// the file when the index region there was not written out: such an archive
// opens, the entry reads as empty, and the next change writes it where it
// belongs. An empty entry past the header's end is damage still.
TEST(ArchiveReaderTest, AnEmptyEntryPastTheFileAsEarlierVersionsWroteItOpens) {
  TempDir dir;
  const std::string path = dir / "old.pff";
  Archive archive;
  std::string error;
  create(path, &archive);
  writeFile(dir / "source", "hello");
  std::vector<Entry> entries(1);
  ASSERT_TRUE(commit(&archive, {}, &error)) << error;  // so that the last index goes to a spare
  ASSERT_EQ(appendFile(&archive, dir / "source", "a.dat", &entries[0], &error), AppendResult::Ok);
  ASSERT_TRUE(commit(&archive, entries, &error)) << error;
  const uint64_t end = archive.header.end;
  entries.push_back(Entry{"b.dat", end, 0, 0});
  ASSERT_TRUE(commit(&archive, entries, &error)) << error;
  archive.file = FileHandle();
  ASSERT_LT(readFile(path).size(), end);
  const std::string old = readFile(path);

  ASSERT_TRUE(openArchive(path, OpenMode::Update, &archive, &error)) << error;
  ASSERT_EQ(archive.entries.size(), 2u);
  EXPECT_EQ(archive.entries[1].size, 0u);
  EXPECT_LE(archive.entries[1].offset, old.size());
  EXPECT_TRUE(readEntry(&archive, archive.entries[1], [](const char*, size_t) { return false; },
                        &error));
  ASSERT_TRUE(commit(&archive, archive.entries, &error)) << error;
  archive.file = FileHandle();
  std::string index = readFile(path);
  index = index.substr(getU64(index, kHeaderSlotSize + 24), getU64(index, kHeaderSlotSize + 32));
  EXPECT_EQ(index.find(std::string(reinterpret_cast<const char*>(&end), 8)), std::string::npos);

  std::string beyond = old;
  const size_t at = getU64(old, 24) + getU64(old, 32) - 20;  // b.dat's offset
  putU64(&beyond, at, end + 1);
  reseal(&beyond);
  writeFile(path, beyond);
  EXPECT_FALSE(openArchive(path, OpenMode::Read, &archive, &error));
  EXPECT_EQ(error, "refused: entry b.dat lies outside the file");
}

TEST(FileTest, AShortReadSaysSo) {
  TempDir dir;
  writeFile(dir / "short", "12345");
  std::string error;
  File* file = openFile(dir / "short", OpenMode::Read, &error);
  ASSERT_NE(file, nullptr) << error;
  char buffer[10];
  EXPECT_FALSE(readAt(file, 0, buffer, sizeof buffer, &error));
  EXPECT_EQ(error, "the file ends early");
  closeFile(file);
}

// A new file is made only where nothing is, not even a link, dangling or
// not; it has its model's permissions exactly, whatever the umask.
TEST(FileTest, ANewFileIsMadeExclusivelyWithItsModelsPermissions) {
  TempDir dir;
  writeFile(dir / "taken", "someone's");
  std::filesystem::create_symlink(dir / "taken", dir / "link");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");
  std::string error;
  for (const char* name : {"taken", "link", "dangling"}) {
    EXPECT_EQ(createFile(dir / name, "", &error), nullptr) << name;
    EXPECT_EQ(error, "File exists");
  }
  EXPECT_EQ(readFile(dir / "taken"), "someone's");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
  const mode_t umaskWas = umask(022);
  for (mode_t mode : {0600, 0640, 0664}) {
    writeFile(dir / "model", "");
    ASSERT_EQ(chmod((dir / "model").c_str(), mode), 0);
    std::filesystem::remove(dir / "new");
    File* file = createFile(dir / "new", dir / "model", &error);
    ASSERT_NE(file, nullptr) << error;
    closeFile(file);
    struct stat st;
    ASSERT_EQ(stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
  }
  umask(umaskWas);
}

// Names in the tool's messages: what would steer a terminal shows as '?'.
TEST(PrintableTest, ControlsAndOverridesShowAsQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.dds", "plain name.dds"},
      {"a\x1b]0;title\x07" "b\tc\nd\re", "a?]0;title?b?c?d?e"},
      {std::string("nul\0", 4) + "\x7f", "nul??"},
      {"\xc2\x80\xc2\x9b" "2J\xc2\x9f", "??2J?"},   // C1 as UTF-8
      {"\x9b" "2J", "?2J"},                           // a raw CSI
      {"\xe0\x82\x9b\xc1\x9b", "\xe0\x82?\xc1?"},   // overlong forms are bytes
      {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae", "?????"},
      {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", "????"},
      {"evil\xe2\x80\xaegpj.exe", "evil?gpj.exe"},
      // Kept: other characters, 0x9B inside a character, bytes of no encoding.
      {"caf\xc3\xa9 \xc2\xa0\xe2\x80\xa9\xe2\x81\xa5\xe2\x81\xaa",
       "caf\xc3\xa9 \xc2\xa0\xe2\x80\xa9\xe2\x81\xa5\xe2\x81\xaa"},
      {"\xe8\x9b\x9b\xdb\x9b.dds", "\xe8\x9b\x9b\xdb\x9b.dds"},
      {"caf\xe9 \xe2\x80", "caf\xe9 \xe2\x80"},
  };
  for (const auto& [name, shown] : cases) EXPECT_EQ(printable(name), shown) << name;
}

TEST(Crc32Test, MatchesTheStandardCheckValueInAnyPieces) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32Update(0, text.data(), text.size()), 0xCBF43926u);
  uint32_t crc = 0;
  for (char c : text) crc = crc32Update(crc, &c, 1);
  EXPECT_EQ(crc, 0xCBF43926u);
  std::string long_text(1000, '\0');
  for (size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>(i * 7 + 3);
  uint32_t whole = crc32Update(0, long_text.data(), long_text.size());
  uint32_t split = crc32Update(crc32Update(0, long_text.data(), 13), long_text.data() + 13, 987);
  EXPECT_EQ(whole, split);
}

TEST(ArchiveReaderTest, IndexRegionsAreReusedSoDeadSpaceStaysBounded) {
  TempDir dir;
  Archive archive;
  std::string error;
  create(dir / "grow.pff", &archive);
  writeFile(dir / "source", "x");
  std::vector<Entry> entries;
  for (int i = 0; i < 300; ++i) {
    Entry entry;
    ASSERT_EQ(appendFile(&archive, dir / "source", "f" + std::to_string(i), &entry, &error),
              AppendResult::Ok);
    entries.push_back(entry);
    ASSERT_TRUE(commit(&archive, entries, &error));
  }
  // 300 bytes of data and an index of about 6 KiB: a fresh index per commit
  // would have left about 1 MiB behind.
  uint64_t size = 0;
  ASSERT_TRUE(fileSize(archive.file.get(), &size, &error));
  EXPECT_LT(size, kDataStart + 300 + 64 * 1024);
  archive.file = FileHandle();
}

}  // namespace
