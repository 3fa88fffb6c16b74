// POSIX implementation of the file system calls, with listings shaped the way
// a Windows file system gives them, so that both builds walk a folder in the
// same order.
#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

// A time as nanoseconds since 1970; false outside what they hold (before
// 1677 or after 2262), where the count would wrap.
bool nanoseconds(const struct timespec& time, long long* count) {
  constexpr long long kBillion = 1000000000LL;
  constexpr long long kLatest = (std::numeric_limits<long long>::max() - kBillion) / kBillion;
  constexpr long long kEarliest = std::numeric_limits<long long>::min() / kBillion + 1;
  if (time.tv_sec > kLatest || time.tv_sec < kEarliest) return false;
  *count = static_cast<long long>(time.tv_sec) * kBillion + time.tv_nsec;
  return true;
}

#ifdef __APPLE__
const struct timespec& writtenAt(const struct stat& st) { return st.st_mtimespec; }
const struct timespec& changedAt(const struct stat& st) { return st.st_ctimespec; }
#else
const struct timespec& writtenAt(const struct stat& st) { return st.st_mtim; }
const struct timespec& changedAt(const struct stat& st) { return st.st_ctim; }
#endif

// The stamp of a regular file, from its status; none when a time lies
// outside what a stamp holds, so that no record takes the file as unchanged.
std::optional<FileStamp> stampOf(const struct stat& st) {
  long long written = 0, changed = 0;
  if (!nanoseconds(writtenAt(st), &written) || !nanoseconds(changedAt(st), &changed)) return {};
  return FileStamp{static_cast<unsigned long long>(st.st_size), written, changed,
                   static_cast<unsigned long long>(st.st_dev),
                   static_cast<unsigned long long>(st.st_ino)};
}

// Sets `error` to the system's words for the call that has just failed;
// returns false, for the caller to return in turn.
bool failed(std::string* error) {
  *error = strerror(errno);
  return false;
}

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

bool isNullDevice(const struct stat& st) {
  struct stat null;
  return S_ISCHR(st.st_mode) && stat("/dev/null", &null) == 0 && st.st_rdev == null.st_rdev;
}

Destination cannotTell(const std::string& why, std::string* error) {
  if (error) *error = why;
  return {EntryKind::Unknown, "", 0, std::nullopt};
}

// Who may write in the folder that holds `path`, for a user who may not:
// its owner, by name where the system has one.
std::string rightsAdvice(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return "";
  const struct passwd* owner = getpwuid(st.st_uid);
  const std::string name = owner ? owner->pw_name : "user " + std::to_string(st.st_uid);
  return ": the folder belongs to " + name + ": run as that user, or have them let you write in it";
}

}  // namespace

ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error) {
  entries->clear();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return ListingStatus::Missing;
    *error = strerror(errno);
    return ListingStatus::Unreadable;
  }
  // The names first, each a folder where the listing says so; then, in the
  // listing's order, the kind and stamp of each of the others.
  entries->insert(entries->end(), {{".", true, ""}, {"..", true, ""}});
  for (;;) {
    errno = 0;
    dirent* d = readdir(dir.get());
    if (!d) {
      if (errno == 0) break;
      entries->clear();
      *error = strerror(errno);
      return ListingStatus::Unreadable;
    }
    if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) {
      entries->push_back({d->d_name, d->d_type == DT_DIR, ""});
    }
  }
  // Letters compared in upper case, as NTFS does (so "_" sorts after them),
  // and bytewise to break ties, so the order is total and the same on every
  // machine.
  std::sort(entries->begin() + 2, entries->end(), [](const DirEntry& a, const DirEntry& b) {
    const int order = compareAnyCase(a.name, b.name);
    return order != 0 ? order < 0 : a.name < b.name;
  });
  // A link's kind and stamp are those of what it leads to, as a Windows
  // listing reports a junction's target kind.
  for (DirEntry& entry : *entries) {
    struct stat st;
    if (!entry.isFolder && fstatat(dirfd(dir.get()), entry.name.c_str(), &st, 0) == 0) {
      entry.isFolder = S_ISDIR(st.st_mode);
      if (S_ISREG(st.st_mode)) entry.stamp = stampOf(st);
    }
  }
  return ListingStatus::Listed;
}

Destination whereItLeads(const std::string& path, std::string* error) {
  Destination where;
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  struct stat st;
  if (!real || lstat(real.get(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return cannotTell(strerror(errno), error);
    // Nothing to follow; a link there that leads nowhere is something all the same.
    if (lstat(path.c_str(), &st) == 0) where.kind = EntryKind::BrokenLink;
    return where;
  }
  // The resolved path holds no link: one there now was put there since.
  if (S_ISLNK(st.st_mode)) return cannotTell("it changed while it was looked at", error);
  where.path = real.get();
  where.names = static_cast<unsigned long long>(st.st_nlink);
  where.kind = S_ISREG(st.st_mode)    ? EntryKind::File
               : S_ISDIR(st.st_mode)  ? EntryKind::Folder
               : S_ISFIFO(st.st_mode) ? EntryKind::Pipe
               : isNullDevice(st)     ? EntryKind::NullDevice
                                      : EntryKind::Other;
  if (S_ISREG(st.st_mode)) where.stamp = stampOf(st);
  return where;
}

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool liesWithin(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  // "/" ends in its separator; no other resolved path does.
  return path.size() == folder.size() || path[folder.size()] == '/' ||
         (!folder.empty() && folder.back() == '/');
}

size_t longestPath() { return 0; }

bool absolutePath(const std::string& path, std::string* absolute, std::string* error) {
  // An empty path names nothing, not the current directory.
  if (path.empty() || path[0] == '/') {
    *absolute = path;
    return true;
  }
  // Fails when the current directory has been removed: no place to stand on.
  std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
  if (!cwd) {
    *error = std::string("cannot read the current folder: ") + strerror(errno);
    return false;
  }
  std::string result = cwd.get();
  // Drop "." segments so that "." names the current directory itself.
  std::istringstream segments(path);
  for (std::string segment; std::getline(segments, segment, '/');) {
    if (segment.empty() || segment == ".") continue;
    if (result.back() != '/') result += '/';
    result += segment;
  }
  if (path.back() == '/' && result.back() != '/') result += '/';
  *absolute = result;
  return true;
}

bool changeDirectory(const std::string& path, std::string* error) {
  return chdir(path.c_str()) == 0 || failed(error);
}

bool touchFile(const std::string& path, long long* now, std::string* error) {
  // Non-blocking: a pipe planted there must not keep the run waiting.
  FdCloser file{open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0) return failed(error);
  if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  // Both times become the file system's clock, at its own resolution.
  if (futimens(file.fd, nullptr) != 0 || fstat(file.fd, &st) != 0) return failed(error);
  const std::optional<FileStamp> stamp = stampOf(st);
  if (!stamp) {
    *error = "the clock is outside the years a stamp holds";
    return false;
  }
  *now = std::max(stamp->writeTime, stamp->changeTime);
  return true;
}

bool writeNewFile(const std::string& path, const std::string& content, std::string* error) {
  FdCloser file{open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
  if (file.fd < 0) return failed(error);
  for (size_t done = 0; done < content.size();) {
    ssize_t written = write(file.fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = written < 0 ? strerror(errno) : "the file system took nothing";
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return close(std::exchange(file.fd, -1)) == 0 || failed(error);
}

bool canAppendTo(const std::string& path, bool create, std::string* error) {
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  FdCloser file{open(path.c_str(), flags)};
  if (file.fd < 0 && errno == ENOENT) {
    if (!create) return true;
    file.fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (file.fd >= 0) unlink(path.c_str());
  }
  return file.fd >= 0 || failed(error);
}

void pause(int milliseconds) {
  struct timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&wait, nullptr);
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  return rename(from.c_str(), to.c_str()) == 0 || failed(error);
}

struct FileLock {
  int fd;
};

void FileLockReleaser::operator()(FileLock* lock) const {
  close(lock->fd);
  delete lock;
}

LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error) {
  // Never through a link: the lock file is the game root's own.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    const int code = errno;
    *error = strerror(code);
    if (code == EACCES || code == EPERM) *error += rightsAdvice(path);
    return LockStatus::Failed;
  }
  HeldLock held(new FileLock{fd});
  // A lock on the open file, not a file's mere presence: the system drops it
  // when the process ends, so a killed run leaves nothing that blocks.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return LockStatus::Busy;
    *error = strerror(errno);
    return LockStatus::Failed;
  }
  *lock = std::move(held);
  return LockStatus::Held;
}

}  // namespace platform
