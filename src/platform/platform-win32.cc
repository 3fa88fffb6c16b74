// Windows implementation of the platform layer: the ANSI file calls and
// cmd.exe, reached through system().
#include "platform/platform.h"

#include <direct.h>
#include <errno.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {

Shell nativeShell() { return Shell::Cmd; }

namespace {

// The system's description of `code`, taken where a call failed.
std::string describeError(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// A find handle that closes itself.
struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

}  // namespace

ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error) {
  entries->clear();
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA(pattern.c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    DWORD code = GetLastError();
    // Nothing there, a file, or an empty drive root (which lists nothing, not
    // even "." and ".."): in each case nothing is staged.
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
        code == ERROR_DIRECTORY) {
      return ListingStatus::Missing;
    }
    *error = describeError(code);
    return ListingStatus::Unreadable;
  }
  entries->push_back(DirEntry{".", true});
  entries->push_back(DirEntry{"..", true});
  do {
    DirEntry entry;
    entry.name = data.cFileName;
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A drive root has no "." and ".." of its own: they stand first in every listing.
    if (entry.name != "." && entry.name != "..") entries->push_back(std::move(entry));
  } while (FindNextFileA(find.get(), &data));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) {
    *error = describeError(code);
    entries->clear();
    return ListingStatus::Unreadable;
  }
  return ListingStatus::Listed;
}

bool isRunnableFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string absolutePath(const std::string& path) {
  bool drivePath = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  bool uncPath = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  if (drivePath || uncPath) return path;
  char buffer[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return path;
  return std::string(buffer, length);
}

bool changeDirectory(const std::string& path, std::string* error) {
  if (_chdir(path.c_str()) == 0) return true;
  *error = strerror(errno);
  return false;
}

struct FileLock {
  HANDLE file;
};

void FileLockReleaser::operator()(FileLock* lock) const {
  CloseHandle(lock->file);
  delete lock;
}

LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error) {
  // Not inheritable (no security attributes), so no command keeps it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = describeError(GetLastError());
    return LockStatus::Failed;
  }
  HeldLock held(new FileLock{file});
  // The system releases the lock when the process ends, killed included.
  OVERLAPPED whole = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
    DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_SHARING_VIOLATION) return LockStatus::Busy;
    *error = describeError(code);
    return LockStatus::Failed;
  }
  *lock = std::move(held);
  return LockStatus::Held;
}

// A Windows console program's C runtime fails the writes to a missing stream.
bool guardStandardStreams() { return true; }

int runCommandLine(const std::string& commandLine) {
  return std::system(commandLine.c_str());
}

}  // namespace platform
