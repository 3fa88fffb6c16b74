// Windows file calls of the archive tool.
#include <windows.h>

#include "file.h"
#include "file_platform.h"

struct File {
  HANDLE handle;
};

namespace {

std::string describe(DWORD code) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == '.')) --n;
  return n ? std::string(buffer, n) : "error " + std::to_string(code);
}

std::string reason() { return describe(GetLastError()); }

// `succeeded`, saying why in `error` when the call failed.
bool checked(bool succeeded, std::string* error) {
  if (!succeeded) *error = reason();
  return succeeded;
}

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// `size`, or what one call may move when that is less.
DWORD largestCall(size_t size) {
  const DWORD kLargestCall = 1u << 30;
  return size > kLargestCall ? kLargestCall : static_cast<DWORD>(size);
}

// Takes `handle` over when it is a file on disk, not a device or a pipe.
File* diskFile(HANDLE handle, std::string* error) {
  if (GetFileType(handle) == FILE_TYPE_DISK) return new File{handle};
  *error = "not a regular file";
  CloseHandle(handle);
  return nullptr;
}

File* openHandle(const std::string& path, DWORD access, DWORD disposition, std::string* error) {
  HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!checked(handle != INVALID_HANDLE_VALUE, error)) return nullptr;
  return diskFile(handle, error);
}

// Opens `path` for no access, to learn only what is there; a device name
// (NUL, CON) opens the device.
HANDLE openToInspect(const std::string& path) {
  return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

File* platformOpenFile(const std::string& path, OpenMode mode, std::string* error) {
  return openHandle(path, mode == OpenMode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                    OPEN_EXISTING, error);
}

// CREATE_NEW fails on anything at `path`, a link included; the file takes
// its folder's permissions.
File* platformCreateFile(const std::string& path, const std::string&, std::string* error) {
  return openHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, error);
}

bool platformMatchPermissions(File*, const std::string&, std::string*) { return true; }

void platformCloseFile(File* file) {
  if (!file) return;
  CloseHandle(file->handle);
  delete file;
}

bool fileSize(File* file, uint64_t* size, std::string* error) {
  LARGE_INTEGER value;
  if (!checked(GetFileSizeEx(file->handle, &value), error)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool platformReadSome(File* file, uint64_t offset, void* data, size_t size, size_t* done,
                      std::string* error) {
  OVERLAPPED position = at(offset);
  DWORD n = 0;
  const bool ok = ReadFile(file->handle, data, largestCall(size), &n, &position);
  *done = ok ? n : 0;
  // Reading at the end of the file fails: that is nothing read.
  return checked(ok || GetLastError() == ERROR_HANDLE_EOF, error);
}

bool platformWriteSome(File* file, uint64_t offset, const void* data, size_t size, size_t* done,
                       std::string* error) {
  OVERLAPPED position = at(offset);
  DWORD n = 0;
  const bool ok = WriteFile(file->handle, data, largestCall(size), &n, &position);
  *done = ok ? n : 0;
  // A failure that gives no reason is nothing written.
  return checked(ok || (n == 0 && GetLastError() == ERROR_SUCCESS), error);
}

bool platformSyncFile(File* file, std::string* error) {
  return checked(FlushFileBuffers(file->handle), error);
}

bool platformTruncateFile(File* file, uint64_t size, std::string* error) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return checked(
      SetFilePointerEx(file->handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(file->handle),
      error);
}

bool pathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool replaceableByFile(const std::string& path, std::string* error) {
  HANDLE handle = openToInspect(path);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    *error = describe(code);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool regular = false;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    *error = "it is a device or pipe";
  } else if (!GetFileInformationByHandle(handle, &info)) {
    *error = reason();
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = "it is a folder";
  } else {
    regular = true;
  }
  CloseHandle(handle);
  return regular;
}

bool platformReplaceFile(const std::string& from, const std::string& to, std::string* error) {
  return checked(
      MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
      error);
}

// MOVEFILE_WRITE_THROUGH has made the rename durable.
void platformSyncFolder(const std::string&) {}

void removeFile(const std::string& path) { DeleteFileA(path.c_str()); }

std::string resolveLinks(const std::string& path) { return path; }

bool sameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    HANDLE handle = openToInspect(*paths[i]);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(handle, &info[i]);
    CloseHandle(handle);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::string baseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

File* openLockFile(const std::string& path, bool* readOnly, std::string* error) {
  HANDLE handle = CreateFileA(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    *readOnly = code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT;
    *error = describe(code);
    return nullptr;
  }
  *readOnly = false;
  return diskFile(handle, error);
}

LockResult tryLock(File* lock, bool shared, std::string* error) {
  OVERLAPPED start = at(0);
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
  if (LockFileEx(lock->handle, flags, 0, 1, 0, &start)) return LockResult::Locked;
  DWORD code = GetLastError();
  if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return LockResult::Busy;
  *error = describe(code);
  return LockResult::Failed;
}
