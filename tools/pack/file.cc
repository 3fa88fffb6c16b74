// What the archive tool's file calls share on every platform: reading and
// writing all of a range, one call of the platform's after another.
#include "file.h"
#include "file_platform.h"

bool readAt(File* file, uint64_t offset, void* data, size_t size, std::string* error) {
  char* p = static_cast<char*>(data);
  for (size_t done = 0; size > 0; p += done, offset += done, size -= done) {
    if (!platformReadSome(file, offset, p, size, &done, error)) return false;
    if (done == 0) {
      *error = "the file ends early";
      return false;
    }
  }
  return true;
}

bool platformWriteAt(File* file, uint64_t offset, const void* data, size_t size,
                     std::string* error) {
  const char* p = static_cast<const char*>(data);
  for (size_t done = 0; size > 0; p += done, offset += done, size -= done) {
    if (!platformWriteSome(file, offset, p, size, &done, error)) return false;
    if (done == 0) {
      *error = "nothing was written";
      return false;
    }
  }
  return true;
}
