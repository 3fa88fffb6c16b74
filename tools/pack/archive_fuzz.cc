// Fuzz target: bytes as an archive, read as /list and /verify read it. The
// input is the archive without its slots' padding: header slot 0's 80
// bytes, slot 1's, then what lies from offset 8192 on. Each input is tried
// as it is, and forged: every header that has the magic given the
// checksums of what it now says, as a stranger crafting an archive would.
// Either the archive is refused with a message, or everything it names lies
// within the file, every entry reads back whole or fails with a message,
// and every name is shown so that it cannot steer a terminal (as the tool
// promises: printable.h).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "archive.h"
#include "crc32.h"
#include "fold_case.h"
#include "printable.h"
#include "test_support/fuzz_oracles.h"

namespace {

// Header fields, as docs/archive-format.md lays them out.
const size_t kIndexOffsetAt = 24, kIndexSizeAt = 32, kIndexCrcAt = 72, kHeaderCrcAt = 76;
const char kMagic[] = "ZTPF\r\n\x1a\n";

uint64_t field(const std::string& file, size_t at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint64_t(uint8_t(file[at + i])) << (8 * i);
  return value;
}

void setField(std::string* file, size_t at, size_t bytes, uint64_t value) {
  for (size_t i = 0; i < bytes; ++i) (*file)[at + i] = char(value >> (8 * i));
}

// Each slot's 80 bytes padded out to the slot's size, so far as the input reaches.
std::string archiveBytes(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  const size_t padding = kHeaderSlotSize - kEncodedHeaderSize;
  if (file.size() > kEncodedHeaderSize) file.insert(kEncodedHeaderSize, padding, '\0');
  if (file.size() >= kDataStart - padding) file.insert(kDataStart - padding, padding, '\0');
  return file;
}

void forgeChecksums(std::string* file) {
  for (uint64_t slot : {uint64_t(0), kHeaderSlotSize}) {
    if (file->size() < slot + kEncodedHeaderSize ||
        file->compare(slot, sizeof kMagic - 1, kMagic) != 0) {
      continue;
    }
    const uint64_t offset = field(*file, slot + kIndexOffsetAt, 8);
    const uint64_t size = field(*file, slot + kIndexSizeAt, 8);
    if (offset <= file->size() && size <= file->size() - offset) {
      setField(file, slot + kIndexCrcAt, 4, crc32Update(0, file->data() + offset, size));
    }
    setField(file, slot + kHeaderCrcAt, 4, crc32Update(0, file->data() + slot, kHeaderCrcAt));
  }
}

std::string scratchFile() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zt-fuzz-archive-XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) finding("no scratch file", pattern);
  close(fd);
  return pattern;
}

void listAndVerify(const std::string& path, const std::string& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    finding("the archive could not be written to read", path);
  }
  Archive archive;
  std::string error;
  if (!openArchive(path, OpenMode::Read, &archive, &error)) {
    if (error.empty()) finding("an archive refused without a message", bytes);
    return;
  }
  const uint64_t size = bytes.size();
  const Header& header = archive.header;
  if (header.indexOffset > size || header.indexSize > size - header.indexOffset) {
    finding("the index lies outside the file", bytes);
  }
  std::set<std::string> names;
  for (const Entry& entry : archive.entries) {
    // The tool's /list line for the entry. The tool shows names in any code
    // page as they are, but for the one byte that opens a control sequence.
    const std::string steers = steersTerminal(
        printable(entry.name + " " + std::to_string(entry.size)), RawC1::IntroducerSteers);
    if (!steers.empty()) finding("/list shows " + steers, bytes);
    if (!names.insert(foldCase(entry.name)).second) finding("a name twice: " + entry.name, bytes);
    if (entry.size > 0 &&
        (entry.offset < kDataStart || entry.offset > size || entry.size > size - entry.offset)) {
      finding("entry " + escapedBytes(entry.name) + " lies outside the file", bytes);
    }
    uint64_t read = 0;
    std::string problem;
    const bool whole = readEntry(
        &archive, entry,
        [&](const char*, size_t got) {
          read += got;
          return true;
        },
        &problem);
    if (whole ? read != entry.size : problem.empty()) {
      finding("entry " + escapedBytes(entry.name) + " is read in part, or fails unsaid", bytes);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchFile();
  std::string bytes = archiveBytes(data, size);
  listAndVerify(path, bytes);
  forgeChecksums(&bytes);
  listAndVerify(path, bytes);
  return 0;
}
