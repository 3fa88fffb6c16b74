// The archive format (docs/archive-format.md): two header slots, entry data
// appended past the live end, and an index that a header makes visible.
// A change becomes visible by one small final write: the newer header.
#ifndef ZT_PACK_ARCHIVE_H_
#define ZT_PACK_ARCHIVE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "file.h"

struct Entry {
  std::string name;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t crc = 0;
};

struct Header {
  uint64_t generation = 0;
  uint64_t indexOffset = 0;
  uint64_t indexSize = 0;
  uint64_t indexCapacity = 0;
  uint64_t spareOffset = 0;  // the index region of the other slot, free to reuse
  uint64_t spareCapacity = 0;
  uint64_t end = 0;  // everything the archive uses lies before this offset
  uint32_t indexCrc = 0;
};

const uint64_t kHeaderSlotSize = 4096;
const uint64_t kDataStart = 2 * kHeaderSlotSize;
const size_t kEncodedHeaderSize = 80;
// The index gives a name's length in two bytes.
const size_t kLongestName = 0xFFFF;

// An archive open for reading or for one change; its file closes with it.
struct Archive {
  FileHandle file;
  Header header;
  int slot = 1;  // the slot holding `header`; a change writes the other one
  std::vector<Entry> entries;
  uint64_t appendAt = kDataStart;  // where the next entry's data goes
  uint64_t committedSize = 0;      // the file's length when it last held a committed state
};

std::string encodeIndex(const std::vector<Entry>& entries);

// Opens the archive at `path` and checks it; on failure says why, and leaves
// nothing open. Nothing is written.
bool openArchive(const std::string& path, OpenMode mode, Archive* archive, std::string* error);
// Starts a new, empty archive in `file`, a new empty file (to be renamed
// into place); the archive owns it from then on.
void startArchive(File* file, Archive* archive);

// The position of `name` among the entries, compared ASCII-case-insensitively;
// -1 when it is not there.
int findEntry(const std::vector<Entry>& entries, const std::string& name);

enum class AppendResult { Ok, SourceFailed, ArchiveFailed };

// Appends the bytes of the file at `sourcePath` past the archive's live end,
// as an entry named `name`. The archive does not show it until commit. When
// the archive cannot be written, the file is cut back to its committed
// length, so that a full disk does not stay full.
AppendResult appendFile(Archive* archive, const std::string& sourcePath, const std::string& name,
                        Entry* entry, std::string* error);
// Copies `from`'s entry `source` past `archive`'s live end, as `entry`.
bool appendEntry(Archive* archive, Archive* from, const Entry& source, Entry* entry,
                 std::string* error);

// Makes `entries` the archive's content: writes the index, flushes, then
// writes the other header slot and flushes again. Failing before the header
// is written, it cuts the file back to its committed length.
bool commit(Archive* archive, const std::vector<Entry>& entries, std::string* error);

// Takes bytes in pieces; false stops the reading.
using Sink = std::function<bool(const char* data, size_t size)>;

// Calls `sink` with the entry's bytes in pieces, checking its checksum.
// False on a read error, a checksum mismatch (said in `error`) or when
// `sink` returns false.
bool readEntry(Archive* archive, const Entry& entry, const Sink& sink, std::string* error);

#endif  // ZT_PACK_ARCHIVE_H_
