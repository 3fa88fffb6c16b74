// POSIX file calls of the archive tool.
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "file.h"

struct File {
  int fd;
};

File* openFile(const std::string& path, OpenMode mode, std::string* error) {
  int flags = mode == OpenMode::Read ? O_RDONLY : mode == OpenMode::Update ? O_RDWR
                                                                           : O_RDWR | O_CREAT | O_TRUNC;
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    close(fd);
    return nullptr;
  }
  return new File{fd};
}

void closeFile(File* file) {
  if (!file) return;
  close(file->fd);
  delete file;
}

bool fileSize(File* file, uint64_t* size) {
  struct stat st;
  if (fstat(file->fd, &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool readAt(File* file, uint64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(file->fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool writeAt(File* file, uint64_t offset, const void* data, size_t size) {
  const bool crash = isCrashWrite();
  if (crash) size /= 2;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = pwrite(file->fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  if (crash) _exit(kCrashExitStatus);
  return true;
}

bool syncFile(File* file) { return fsync(file->fd) == 0; }

bool pathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  // The rename is durable once the folder that holds it is flushed.
  std::string copy = to;
  int dir = open(dirname(copy.data()), O_RDONLY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void removeFile(const std::string& path) { unlink(path.c_str()); }

std::string lastFileError() { return std::strerror(errno); }
