// The platform's own calls behind file.h's opening, writes, flushes, cuts,
// renames and closing. The shipped tool maps file.h onto them one to one
// (shipped_build.cc); its test build puts a layer in between that can
// simulate a power cut or a full disk and log the calls (test_build.cc).
#ifndef ZT_PACK_FILE_PLATFORM_H_
#define ZT_PACK_FILE_PLATFORM_H_

#include "file.h"

File* platformOpenFile(const std::string& path, OpenMode mode, std::string* error);
// Creates `path` exclusively with no permission beyond the model's (a new
// file's when there is no model); platformMatchPermissions then gives it the
// model's exactly. Apart, so that the test build can see what it was made with.
File* platformCreateFile(const std::string& path, const std::string& model, std::string* error);
bool platformMatchPermissions(File* file, const std::string& model, std::string* error);
void platformCloseFile(File* file);
// One read or write of at most `size` bytes at `offset`; `done` says how many
// it moved, none at the end of the file.
bool platformReadSome(File* file, uint64_t offset, void* data, size_t size, size_t* done,
                      std::string* error);
bool platformWriteSome(File* file, uint64_t offset, const void* data, size_t size, size_t* done,
                       std::string* error);
// As many of those as it takes to write all `size` bytes (file.cc).
bool platformWriteAt(File* file, uint64_t offset, const void* data, size_t size,
                     std::string* error);
bool platformSyncFile(File* file, std::string* error);
bool platformTruncateFile(File* file, uint64_t size, std::string* error);
bool platformReplaceFile(const std::string& from, const std::string& to, std::string* error);
void platformSyncFolder(const std::string& path);

// For the test build alone, which is built on POSIX only (as are the tests).
// How many bytes of new disk space writing `size` bytes at `offset` would
// take: what lies past the end of the file or in a hole in it, in whole
// blocks of the file system.
uint64_t platformNewSpace(File* file, uint64_t offset, size_t size);
// The access permissions of the file at `path` (POSIX mode bits), for logs.
unsigned platformPermissions(const std::string& path);

#endif  // ZT_PACK_FILE_PLATFORM_H_
