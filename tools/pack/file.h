// The archive tool's file calls: positioned reads and writes, flushing to the
// disk, locking, and replacing a file by another. One implementation per
// platform. A call that fails says why in `error`, worded where it failed.
#ifndef ZT_PACK_FILE_H_
#define ZT_PACK_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct File;  // opaque, one per platform

enum class OpenMode { Read, Update };

// Opens `path`, an existing regular file; anything else (a FIFO) is refused
// without blocking.
File* openFile(const std::string& path, OpenMode mode, std::string* error);
// Makes a new empty file at `path`, open for reading and writing, and fails
// when anything, a symbolic link included, is there. It has the access
// permissions of the file at `model` from the start (POSIX modes; Windows
// files take their folder's), or a new file's when there is none.
File* createFile(const std::string& path, const std::string& model, std::string* error);
void closeFile(File* file);

// Owns an open File and closes it when it goes.
struct FileCloser {
  void operator()(File* file) const { closeFile(file); }
};
using FileHandle = std::unique_ptr<File, FileCloser>;

bool fileSize(File* file, uint64_t* size, std::string* error);
// Reads exactly `size` bytes at `offset`; a short read is an error.
bool readAt(File* file, uint64_t offset, void* data, size_t size, std::string* error);
// Writes all `size` bytes at `offset`, extending the file as needed.
bool writeAt(File* file, uint64_t offset, const void* data, size_t size, std::string* error);
// Returns once what was written has reached the disk.
bool syncFile(File* file, std::string* error);
bool truncateFile(File* file, uint64_t size, std::string* error);

// Whether anything (file or folder) is at `path`.
bool pathExists(const std::string& path);
// Whether a file may be renamed onto `path`: nothing is there, or a regular
// file (links followed). Otherwise false, and `error` says what is there (a
// folder, a device, a pipe) or why that cannot be told.
bool replaceableByFile(const std::string& path, std::string* error);
// Renames `from` to `to`, replacing `to`.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);
// Flushes the folder that holds `path`, so that a rename into it lasts
// (POSIX; Windows renames write through). A folder that cannot be opened or
// flushed is left to the system: the rename itself has been made.
void syncFolder(const std::string& path);
// Removes a file; a symbolic link is removed, never followed.
void removeFile(const std::string& path);
// `path` with symbolic links in its last part followed to the file they
// name, so that a change replaces the target rather than the link (POSIX;
// the path itself on Windows).
std::string resolveLinks(const std::string& path);
// Whether both paths name one existing file (through links too).
bool sameFile(const std::string& a, const std::string& b);
// The file name part of `path`: after the last `/`, and on Windows after the
// last `\` too.
std::string baseName(const std::string& path);

enum class LockResult { Locked, Busy, Failed };
// Opens the lock file `path`, creating it when missing, never through a link.
// On failure `readOnly` tells whether its folder cannot be written to.
File* openLockFile(const std::string& path, bool* readOnly, std::string* error);
// Takes the lock on the file without waiting: Busy when another process
// holds it. The system holds it for this process until it closes the file
// or ends, however it ends.
LockResult tryLock(File* lock, bool shared, std::string* error);

#endif  // ZT_PACK_FILE_H_
