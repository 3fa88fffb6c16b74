#include "archive.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "crc32.h"
#include "fold_case.h"

namespace {

const char kMagic[8] = {'Z', 'T', 'P', 'F', '\r', '\n', '\x1a', '\n'};
const uint32_t kVersion = 1;
const size_t kChunk = 1 << 20;
const uint64_t kMinIndexCapacity = 4096;

// The header's checksum, of the bytes before it, ends it.
const size_t kHeaderCrcAt = kEncodedHeaderSize - 4;

// The index: an entry count, then for each entry the length of its name, the
// name, and after it the offset, size and checksum of its data.
const size_t kEntryCountBytes = 4;
const size_t kNameLengthBytes = 2;
const size_t kAfterNameBytes = 8 + 8 + 4;
const uint64_t kSmallestIndexEntry = kNameLengthBytes + 1 + kAfterNameBytes;
static_assert(kLongestName >> (8 * kNameLengthBytes) == 0, "a name's length fits its field");

// Where an entry with no bytes is put. Not at the append point: that may lie
// past the end of the file (an index region reserved but not yet written), and
// an empty entry does not extend the file. Every archive's file reaches past
// this offset (its index lies there or beyond).
const uint64_t kEmptyEntryOffset = kDataStart;

// Says why in `error`, and fails.
bool failWith(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

// Integers are little-endian, `bytes` bytes long.
void put(std::string* out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t get(const std::string& in, size_t at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = bytes; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

// Reads at `*at` and moves past what it read.
uint64_t take(const std::string& in, size_t* at, size_t bytes) {
  const uint64_t value = get(in, *at, bytes);
  *at += bytes;
  return value;
}

// Whether [offset, offset + size) lies within [start, limit), without overflow.
bool within(uint64_t offset, uint64_t size, uint64_t start, uint64_t limit) {
  return offset >= start && offset <= limit && size <= limit - offset;
}

// Whether two ranges, each within the file, share a byte.
bool overlap(uint64_t a, uint64_t aSize, uint64_t b, uint64_t bSize) {
  return aSize > 0 && bSize > 0 && a < b + bSize && b < a + aSize;
}

// `fileEnd` bounds the entries' bytes; `end` is the header's.
bool decodeIndex(const std::string& bytes, uint64_t fileEnd, uint64_t end,
                 std::vector<Entry>* entries, std::string* problem) {
  if (bytes.size() < kEntryCountBytes) return failWith(problem, "the index is cut short");
  size_t at = 0;
  uint64_t count = take(bytes, &at, kEntryCountBytes);
  if (count > bytes.size() / kSmallestIndexEntry) {
    return failWith(problem, "the index claims more entries than it holds");
  }
  std::unordered_set<std::string> names;
  for (uint64_t i = 0; i < count; ++i) {
    if (bytes.size() - at < kNameLengthBytes) break;
    size_t nameLength = static_cast<size_t>(take(bytes, &at, kNameLengthBytes));
    if (nameLength == 0 || bytes.size() - at < nameLength + kAfterNameBytes) break;
    Entry entry;
    entry.name = bytes.substr(at, nameLength);
    at += nameLength;
    entry.offset = take(bytes, &at, 8);
    entry.size = take(bytes, &at, 8);
    entry.crc = static_cast<uint32_t>(take(bytes, &at, 4));
    // Earlier versions put an empty entry at the header's end, which may lie
    // past the end of the file (an index region reserved but not written).
    // It holds no bytes: it is read as the place they put it now.
    if (entry.size == 0 && entry.offset > fileEnd && within(entry.offset, 0, kDataStart, end)) {
      entry.offset = kEmptyEntryOffset;
    }
    if (!within(entry.offset, entry.size, kDataStart, fileEnd)) {
      return failWith(problem, "entry " + entry.name + " lies outside the file");
    }
    if (!names.insert(foldCase(entry.name)).second) {
      return failWith(problem, "entry " + entry.name + " is listed twice");
    }
    entries->push_back(std::move(entry));
  }
  if (entries->size() != count || at != bytes.size()) {
    return failWith(problem, "the index is malformed");
  }
  return true;
}

bool checkRegions(const Header& h, uint64_t fileSize, std::string* problem) {
  bool ok = h.end >= kDataStart && within(h.indexOffset, h.indexCapacity, kDataStart, h.end) &&
            h.indexSize <= h.indexCapacity &&
            within(h.indexOffset, h.indexSize, kDataStart, fileSize) &&
            (h.spareCapacity == 0 ? h.spareOffset == 0
                                  : within(h.spareOffset, h.spareCapacity, kDataStart, h.end));
  if (!ok) return failWith(problem, "the header points outside the file");
  // The next commit writes into the spare region: it must leave the current
  // index whole.
  if (overlap(h.spareOffset, h.spareCapacity, h.indexOffset, h.indexCapacity)) {
    return failWith(problem, "its index regions overlap");
  }
  return true;
}

// A commit writes into the spare index region: no live entry may lie there,
// nor in the current index region.
bool checkEntriesApart(const Header& h, const std::vector<Entry>& entries, std::string* problem) {
  for (const Entry& entry : entries) {
    if (overlap(entry.offset, entry.size, h.indexOffset, h.indexCapacity) ||
        overlap(entry.offset, entry.size, h.spareOffset, h.spareCapacity)) {
      *problem = "entry " + entry.name + " overlaps an index region";
      return false;
    }
  }
  return true;
}

// Cuts the file back to the length it had when it last held a committed
// state: what a failed change appended is not left to fill the disk.
void rollBack(Archive* archive) {
  std::string ignored;  // the change has failed already; this is tidying
  truncateFile(archive->file.get(), archive->committedSize, &ignored);
  archive->appendAt = archive->header.end;
}

// Calls `sink` with the `size` bytes at `offset` in `file`, in pieces, and
// sums their checksum onto `*crc`. False when a read fails, saying why in
// `problem`, or when `sink` returns false, with `problem` empty.
bool readPieces(File* file, uint64_t offset, uint64_t size, const Sink& sink, uint32_t* crc,
                std::string* problem) {
  problem->clear();
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(kChunk, size)));
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
    if (!readAt(file, offset + done, buffer.data(), n, problem)) return false;
    *crc = crc32Update(*crc, buffer.data(), n);
    if (!sink(buffer.data(), n)) return false;
    done += n;
  }
  return true;
}

// Writes the next `size` bytes of `entry`, which is being appended.
bool appendPiece(Archive* archive, Entry* entry, const char* data, size_t size,
                 std::string* error) {
  std::string problem;
  if (!writeAt(archive->file.get(), entry->offset + entry->size, data, size, &problem)) {
    return failWith(error, "cannot write to the archive: " + problem);
  }
  entry->size += size;
  return true;
}

// The header as docs/archive-format.md lays it out: the magic, the version,
// four reserved bytes, the fields in Header's order, then the checksum.
std::string encodeHeader(const Header& h) {
  std::string out(kMagic, sizeof kMagic);
  put(&out, kVersion, 4);
  put(&out, 0, 4);
  for (uint64_t field : {h.generation, h.indexOffset, h.indexSize, h.indexCapacity, h.spareOffset,
                         h.spareCapacity, h.end}) {
    put(&out, field, 8);
  }
  put(&out, h.indexCrc, 4);
  put(&out, crc32Update(0, out.data(), kHeaderCrcAt), 4);
  return out;
}

enum class HeaderCheck { Valid, Invalid, OtherVersion };

// Valid for a header of this format and version with a matching checksum.
// Invalid for a slot that holds no header or a torn one; OtherVersion for an
// intact header of another version. `problem` says which.
HeaderCheck decodeHeader(const std::string& bytes, Header* h, std::string* problem) {
  if (bytes.size() < kEncodedHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    *problem = "it is not an archive of this format";
    return HeaderCheck::Invalid;
  }
  if (get(bytes, kHeaderCrcAt, 4) != crc32Update(0, bytes.data(), kHeaderCrcAt)) {
    *problem = "its header is damaged";
    return HeaderCheck::Invalid;
  }
  // Checked after the checksum: a torn slot is no evidence of another version.
  size_t at = sizeof kMagic;
  const uint64_t version = take(bytes, &at, 4);
  if (version != kVersion) {
    *problem = "its format version " + std::to_string(version) + " is not supported";
    return HeaderCheck::OtherVersion;
  }
  at += 4;  // reserved
  for (uint64_t* field : {&h->generation, &h->indexOffset, &h->indexSize, &h->indexCapacity,
                          &h->spareOffset, &h->spareCapacity, &h->end}) {
    *field = take(bytes, &at, 8);
  }
  h->indexCrc = static_cast<uint32_t>(take(bytes, &at, 4));
  return HeaderCheck::Valid;
}

}  // namespace

std::string encodeIndex(const std::vector<Entry>& entries) {
  std::string out;
  put(&out, entries.size(), kEntryCountBytes);
  for (const Entry& entry : entries) {
    put(&out, entry.name.size(), kNameLengthBytes);
    out += entry.name;
    put(&out, entry.offset, 8);
    put(&out, entry.size, 8);
    put(&out, entry.crc, 4);
  }
  return out;
}

bool openArchive(const std::string& path, OpenMode mode, Archive* archive, std::string* error) {
  FileHandle file(openFile(path, mode, error));
  if (!file) return false;
  auto fail = [&](const std::string& problem) {
    *error = "refused: " + problem;
    return false;
  };
  std::string problem;
  uint64_t size = 0;
  if (!fileSize(file.get(), &size, &problem)) return fail("its size cannot be read: " + problem);

  // The newest slot whose header is intact wins; the other may have been
  // cut short by a crash while it was being written.
  int best = -1;
  Header header;
  std::string slotProblem = "it is too short to be an archive";
  for (int slot = 0; slot < 2; ++slot) {
    std::string bytes(kEncodedHeaderSize, '\0');
    Header candidate;
    uint64_t at = slot * kHeaderSlotSize;
    if (size < at + kEncodedHeaderSize) continue;
    if (!readAt(file.get(), at, &bytes[0], bytes.size(), &problem)) {
      return fail("its header cannot be read: " + problem);
    }
    HeaderCheck check = decodeHeader(bytes, &candidate, &slotProblem);
    // A newer version may have written either slot: whatever this version
    // wrote next would destroy its state.
    if (check == HeaderCheck::OtherVersion) return fail(slotProblem);
    if (check == HeaderCheck::Invalid) continue;
    if (best < 0 || candidate.generation > header.generation) {
      best = slot;
      header = candidate;
    }
  }
  if (best < 0) return fail(slotProblem);
  if (!checkRegions(header, size, &problem)) return fail(problem);
  std::string index(static_cast<size_t>(header.indexSize), '\0');
  if (!readAt(file.get(), header.indexOffset, &index[0], index.size(), &problem)) {
    return fail("its index cannot be read: " + problem);
  }
  if (crc32Update(0, index.data(), index.size()) != header.indexCrc) {
    return fail("its index is damaged");
  }
  std::vector<Entry> entries;
  if (!decodeIndex(index, std::min(size, header.end), header.end, &entries, &problem) ||
      !checkEntriesApart(header, entries, &problem)) {
    return fail(problem);
  }

  archive->file = std::move(file);
  archive->header = header;
  archive->slot = best;
  archive->entries = std::move(entries);
  archive->appendAt = header.end;
  archive->committedSize = size;
  return true;
}

void startArchive(File* file, Archive* archive) {
  *archive = Archive();
  archive->file.reset(file);
  archive->header.end = kDataStart;
}

int findEntry(const std::vector<Entry>& entries, const std::string& name) {
  std::string folded = foldCase(name);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (foldCase(entries[i].name) == folded) return static_cast<int>(i);
  }
  return -1;
}

AppendResult appendFile(Archive* archive, const std::string& sourcePath, const std::string& name,
                        Entry* entry, std::string* error) {
  std::string problem;
  const FileHandle source(openFile(sourcePath, OpenMode::Read, &problem));
  // The size is fixed first, so that a source that is the archive itself
  // cannot feed on what is being appended.
  uint64_t size = 0;
  if (!source || !fileSize(source.get(), &size, &problem)) {
    *error = "cannot read " + sourcePath + ": " + problem;
    return AppendResult::SourceFailed;
  }
  *entry = Entry{name, size > 0 ? archive->appendAt : kEmptyEntryOffset, 0, 0};
  auto write = [&](const char* data, size_t n) {
    return appendPiece(archive, entry, data, n, error);
  };
  if (readPieces(source.get(), 0, size, write, &entry->crc, &problem)) {
    archive->appendAt += entry->size;
    return AppendResult::Ok;
  }
  if (problem.empty()) {
    rollBack(archive);
    return AppendResult::ArchiveFailed;
  }
  // The bytes of a source that failed halfway are overwritten by the next.
  *error = "cannot read " + sourcePath + ": " + problem;
  return AppendResult::SourceFailed;
}

bool appendEntry(Archive* archive, Archive* from, const Entry& source, Entry* entry,
                 std::string* error) {
  // The bytes are copied as they are: readEntry checks them against the
  // source's checksum, which then holds for the copy too.
  *entry =
      Entry{source.name, source.size > 0 ? archive->appendAt : kEmptyEntryOffset, 0, source.crc};
  auto write = [&](const char* data, size_t n) {
    return appendPiece(archive, entry, data, n, error);
  };
  if (!readEntry(from, source, write, error)) return false;
  archive->appendAt += entry->size;
  return true;
}

bool commit(Archive* archive, const std::vector<Entry>& entries, std::string* error) {
  const Header& current = archive->header;
  if (current.generation == std::numeric_limits<uint64_t>::max()) {
    *error = "the archive has had as many changes as its format counts; /opt makes it anew";
    rollBack(archive);
    return false;
  }
  std::string index = encodeIndex(entries);
  Header next;
  next.generation = current.generation + 1;
  next.indexSize = index.size();
  next.indexCrc = crc32Update(0, index.data(), index.size());
  next.end = archive->appendAt;
  // The spare region is referenced only by the older header, which this
  // change replaces; a larger index moves to fresh space past the data.
  if (current.spareCapacity >= index.size()) {
    next.indexOffset = current.spareOffset;
    next.indexCapacity = current.spareCapacity;
  } else {
    next.indexOffset = archive->appendAt;
    next.indexCapacity = std::max<uint64_t>(kMinIndexCapacity, 2 * index.size());
    next.end = next.indexOffset + next.indexCapacity;
  }
  next.spareOffset = current.indexOffset;
  next.spareCapacity = current.indexCapacity;

  File* file = archive->file.get();
  int slot = 1 - archive->slot;
  std::string header = encodeHeader(next);
  std::string problem;
  // A new file's other header slot is written out now, so that no later
  // commit writes its header into a hole: on a full disk that write would
  // fail after the commit's data and index, too late to give their space back.
  bool written = true;
  if (archive->committedSize == 0) {
    const std::string otherSlot(kHeaderSlotSize, '\0');
    written = writeAt(file, archive->slot * kHeaderSlotSize, otherSlot.data(), otherSlot.size(),
                      &problem);
  }
  if (!written || !writeAt(file, next.indexOffset, index.data(), index.size(), &problem) ||
      !syncFile(file, &problem)) {
    *error = "cannot write to the archive: " + problem;
    rollBack(archive);
    return false;
  }
  // From here the new header may be on the disk: the file is left as it is,
  // and the next open finds the old state or the new one.
  if (!writeAt(file, slot * kHeaderSlotSize, header.data(), header.size(), &problem) ||
      !syncFile(file, &problem)) {
    return failWith(error, "cannot write to the archive: " + problem);
  }
  archive->committedSize =
      std::max({archive->committedSize, archive->appendAt, next.indexOffset + next.indexSize});
  archive->header = next;
  archive->slot = slot;
  archive->entries = entries;
  archive->appendAt = next.end;
  return true;
}

bool readEntry(Archive* archive, const Entry& entry, const Sink& sink, std::string* error) {
  uint32_t crc = 0;
  std::string problem;
  if (!readPieces(archive->file.get(), entry.offset, entry.size, sink, &crc, &problem)) {
    if (!problem.empty()) *error = "cannot read entry " + entry.name + ": " + problem;
    return false;
  }
  if (crc != entry.crc) {
    return failWith(error, "entry " + entry.name + " is damaged: its checksum does not match");
  }
  return true;
}
