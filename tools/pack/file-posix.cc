// POSIX file calls of the archive tool.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "file.h"
#include "file_platform.h"

struct File {
  int fd;
};

namespace {

std::string reason() { return std::strerror(errno); }

// `succeeded`, saying why in `error` when the call failed.
bool checked(bool succeeded, std::string* error) {
  if (!succeeded) *error = reason();
  return succeeded;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens without blocking on a FIFO or device, then insists on a regular file.
File* openRegular(const std::string& path, int flags, std::string* error) {
  int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (!checked(fd >= 0, error)) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = reason();
  } else if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    *error = reason();
  } else {
    return new File{fd};
  }
  close(fd);
  return nullptr;
}

}  // namespace

File* platformOpenFile(const std::string& path, OpenMode mode, std::string* error) {
  return openRegular(path, mode == OpenMode::Read ? O_RDONLY : O_RDWR, error);
}

File* platformCreateFile(const std::string& path, const std::string& model, std::string* error) {
  struct stat st;
  const bool modelled = stat(model.c_str(), &st) == 0;
  if (!checked(modelled || errno == ENOENT || errno == ENOTDIR, error)) return nullptr;
  // Created with the model's permissions, less the umask, so that it is never
  // open to more than the model is. O_EXCL also refuses a link at `path`,
  // dangling or not.
  const mode_t mode = modelled ? st.st_mode & 0777 : 0666;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  return checked(fd >= 0, error) ? new File{fd} : nullptr;
}

bool platformMatchPermissions(File* file, const std::string& model, std::string* error) {
  struct stat st;
  // No model: the new file keeps what it was made with.
  if (stat(model.c_str(), &st) != 0) return checked(errno == ENOENT || errno == ENOTDIR, error);
  return checked(fchmod(file->fd, st.st_mode & 07777) == 0, error);
}

void platformCloseFile(File* file) {
  if (!file) return;
  close(file->fd);
  delete file;
}

bool fileSize(File* file, uint64_t* size, std::string* error) {
  struct stat st;
  if (!checked(fstat(file->fd, &st) == 0, error)) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool platformReadSome(File* file, uint64_t offset, void* data, size_t size, size_t* done,
                      std::string* error) {
  ssize_t n;
  do {
    n = pread(file->fd, data, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  *done = n < 0 ? 0 : static_cast<size_t>(n);
  return checked(n >= 0, error);
}

bool platformWriteSome(File* file, uint64_t offset, const void* data, size_t size, size_t* done,
                       std::string* error) {
  ssize_t n;
  do {
    n = pwrite(file->fd, data, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  *done = n < 0 ? 0 : static_cast<size_t>(n);
  return checked(n >= 0, error);
}

bool platformSyncFile(File* file, std::string* error) {
  return checked(fsync(file->fd) == 0, error);
}

bool platformTruncateFile(File* file, uint64_t size, std::string* error) {
  return checked(ftruncate(file->fd, static_cast<off_t>(size)) == 0, error);
}

bool pathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool replaceableByFile(const std::string& path, std::string* error) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return checked(errno == ENOENT, error);
  if (S_ISREG(st.st_mode)) return true;
  *error = S_ISDIR(st.st_mode)    ? "it is a folder"
           : S_ISFIFO(st.st_mode) ? "it is a pipe"
           : S_ISSOCK(st.st_mode) ? "it is a socket"
                                  : "it is a device";
  return false;
}

bool platformReplaceFile(const std::string& from, const std::string& to, std::string* error) {
  return checked(rename(from.c_str(), to.c_str()) == 0, error);
}

void platformSyncFolder(const std::string& path) {
  int dir = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

uint64_t platformNewSpace(File* file, uint64_t offset, size_t size) {
  struct stat st;
  if (size == 0 || fstat(file->fd, &st) != 0) return 0;
  const uint64_t block = st.st_blksize > 0 ? static_cast<uint64_t>(st.st_blksize) : 4096;
  const uint64_t length = static_cast<uint64_t>(st.st_size);
  uint64_t need = 0;
  for (uint64_t at = offset / block * block; at < offset + size; at += block) {
    // A block is new past the end, or where the next data lies beyond it.
    off_t data = at < length ? lseek(file->fd, static_cast<off_t>(at), SEEK_DATA) : -1;
    if (at >= length || data < 0 || static_cast<uint64_t>(data) >= at + block) need += block;
  }
  return need;
}

unsigned platformPermissions(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void removeFile(const std::string& path) { unlink(path.c_str()); }

std::string resolveLinks(const std::string& path) {
  std::string current = path;
  // As many links as the system itself follows before it gives up.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(st.st_size) + 256, '\0');
    ssize_t n = readlink(current.c_str(), &target[0], target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    current = target[0] == '/' ? target : folderOf(current) + "/" + target;
  }
  return current;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

File* openLockFile(const std::string& path, bool* readOnly, std::string* error) {
  File* file = openRegular(path, O_RDONLY | O_CREAT | O_NOFOLLOW, error);
  *readOnly = !file && access(folderOf(path).c_str(), W_OK) != 0;
  return file;
}

LockResult tryLock(File* lock, bool shared, std::string* error) {
  // flock, not fcntl: an fcntl lock vanishes when any descriptor of the
  // file in the process is closed.
  while (flock(lock->fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return LockResult::Busy;
    *error = reason();
    return LockResult::Failed;
  }
  return LockResult::Locked;
}
