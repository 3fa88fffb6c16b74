// What the shipped tool has where its test build has test hooks: the file
// calls map straight onto the platform's, and the lock waits a minute.
#include "file_platform.h"
#include "lock.h"

File* openFile(const std::string& path, OpenMode mode, std::string* error) {
  return platformOpenFile(path, mode, error);
}

File* createFile(const std::string& path, const std::string& model, std::string* error) {
  File* file = platformCreateFile(path, model, error);
  if (file && !platformMatchPermissions(file, model, error)) {
    platformCloseFile(file);
    removeFile(path);
    return nullptr;
  }
  return file;
}

void closeFile(File* file) { platformCloseFile(file); }

bool writeAt(File* file, uint64_t offset, const void* data, size_t size, std::string* error) {
  return platformWriteAt(file, offset, data, size, error);
}

bool syncFile(File* file, std::string* error) { return platformSyncFile(file, error); }

bool truncateFile(File* file, uint64_t size, std::string* error) {
  return platformTruncateFile(file, size, error);
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  return platformReplaceFile(from, to, error);
}

void syncFolder(const std::string& path) { platformSyncFolder(path); }

int lockWaitMilliseconds() { return kLockWaitMilliseconds; }
