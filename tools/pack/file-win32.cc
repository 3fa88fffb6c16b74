// Windows file calls of the archive tool.
#include <windows.h>

#include <cstdlib>

#include "file.h"

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

OVERLAPPED at(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

}  // namespace

File* openFile(const std::string& path, OpenMode mode, std::string* error) {
  DWORD access = mode == OpenMode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = mode == OpenMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = describe(GetLastError());
    return nullptr;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    *error = "not a regular file";
    CloseHandle(handle);
    return nullptr;
  }
  return new File{handle};
}

void closeFile(File* file) {
  if (!file) return;
  CloseHandle(file->handle);
  delete file;
}

bool fileSize(File* file, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file->handle, &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool readAt(File* file, uint64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    OVERLAPPED position = at(offset);
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!ReadFile(file->handle, p, chunk, &n, &position) || n == 0) return false;
    p += n;
    offset += n;
    size -= n;
  }
  return true;
}

bool writeAt(File* file, uint64_t offset, const void* data, size_t size) {
  const bool crash = isCrashWrite();
  if (crash) size /= 2;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    OVERLAPPED position = at(offset);
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!WriteFile(file->handle, p, chunk, &n, &position) || n == 0) return false;
    p += n;
    offset += n;
    size -= n;
  }
  if (crash) ExitProcess(kCrashExitStatus);
  return true;
}

bool syncFile(File* file) { return FlushFileBuffers(file->handle) != 0; }

bool pathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *error = describe(GetLastError());
  return false;
}

void removeFile(const std::string& path) { DeleteFileA(path.c_str()); }

std::string lastFileError() { return describe(GetLastError()); }
