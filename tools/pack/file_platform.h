// The platform's own calls behind file.h's writes, flushes, cuts, renames
// and closing. The shipped tool maps file.h onto them one to one
// (shipped_build.cc); its test build puts a layer in between that can
// simulate a power cut (test_build.cc).
#ifndef ZT_PACK_FILE_PLATFORM_H_
#define ZT_PACK_FILE_PLATFORM_H_

#include "file.h"

void platformCloseFile(File* file);
bool platformWriteAt(File* file, uint64_t offset, const void* data, size_t size,
                     std::string* error);
bool platformSyncFile(File* file, std::string* error);
bool platformTruncateFile(File* file, uint64_t size, std::string* error);
bool platformReplaceFile(const std::string& from, const std::string& to, std::string* error);

#endif  // ZT_PACK_FILE_PLATFORM_H_
