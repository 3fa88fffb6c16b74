// Windows implementation of the platform layer: the ANSI file calls and
// cmd.exe, reached through system().
#include "platform/platform.h"

#include <direct.h>
#include <errno.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace platform {

struct Listing {
  HANDLE find;
};

Shell nativeShell() { return Shell::Cmd; }

namespace {

DirEntry entryOf(const WIN32_FIND_DATAA& data) {
  DirEntry entry;
  entry.name = data.cFileName;
  entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return entry;
}

}  // namespace

Listing* openListing(const std::string& folder, DirEntry* first) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  *first = entryOf(data);
  return new Listing{find};
}

bool nextEntry(Listing* listing, DirEntry* entry) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(listing->find, &data)) return false;
  *entry = entryOf(data);
  return true;
}

void closeListing(Listing* listing) {
  FindClose(listing->find);
  delete listing;
}

bool pathExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && attributes != 0;
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

int runCommandLine(const std::string& commandLine) {
  return std::system(commandLine.c_str());
}

}  // namespace platform
