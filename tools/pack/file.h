// The archive tool's file calls: positioned reads and writes, flushing to the
// disk, and replacing a file by another. One implementation per platform.
#ifndef ZT_PACK_FILE_H_
#define ZT_PACK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

struct File;  // opaque, one per platform

enum class OpenMode { Read, Update, Create };

// Opens `path`: Read and Update need an existing regular file; Create makes
// a new empty file, replacing one that is there. Null on failure, with the
// reason in `error`.
File* openFile(const std::string& path, OpenMode mode, std::string* error);
void closeFile(File* file);

bool fileSize(File* file, uint64_t* size);
// Reads exactly `size` bytes at `offset`; false on an error or a short read.
bool readAt(File* file, uint64_t offset, void* data, size_t size);
// Writes all `size` bytes at `offset`, extending the file as needed.
bool writeAt(File* file, uint64_t offset, const void* data, size_t size);
// Returns once what was written has reached the disk.
bool syncFile(File* file);

// Whether anything (file or folder) is at `path`.
bool pathExists(const std::string& path);
// Renames `from` to `to`, replacing `to`, and makes the change durable.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);
void removeFile(const std::string& path);

// The reason the last failed call gave.
std::string lastFileError();

// For the crash tests: when PACK_TEST_CRASH_AT_WRITE=k is set, the k-th
// call of writeAt writes only the first half of its bytes and the process
// ends at once, as if killed. Counts one write and tells whether it is that one.
bool isCrashWrite();
const int kCrashExitStatus = 86;

#endif  // ZT_PACK_FILE_H_
