// Checks of the Windows folder listing that need Windows itself: built with
// the Windows build, with no test framework, and run under Wine by the
// native build's tests. Exits 1, naming each failed check, when any fails.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

int failures = 0;

void check(bool holds, const std::string& what) {
  if (holds) return;
  std::printf("%s\n", what.c_str());
  ++failures;
}

bool write(const std::string& path, const std::string& content) {
  std::string error;
  DeleteFileA(path.c_str());
  return platform::writeNewFile(path, content, &error);
}

// Every file's stamp in the listing of `folder` is the one whereItLeads gives
// (which a record of an earlier run was written with); `files` of them.
void checkStamps(const std::string& folder, size_t files, const std::string& when) {
  std::vector<platform::DirEntry> entries;
  std::string error;
  check(platform::listFolder(folder, &entries, &error) == platform::ListingStatus::Listed,
        when + ": the folder is not listed: " + error);
  size_t stamped = 0;
  for (const platform::DirEntry& entry : entries) {
    if (entry.isFolder) continue;
    check(entry.stamp && entry.stamp == platform::whereItLeads(folder + "\\" + entry.name).stamp,
          when + ": " + entry.name + " is listed with a stamp other than its own");
    ++stamped;
  }
  check(stamped == files,
        when + ": " + std::to_string(stamped) + " files listed, not " + std::to_string(files));
}

}  // namespace

int main() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "zt-files-test-" + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    std::printf("cannot make %s\n", folder.c_str());
    return 1;
  }
  // More than one call's worth of entries.
  const size_t files = 1500;
  for (size_t i = 0; i < files; ++i) {
    check(write(folder + "\\f" + std::to_string(i) + ".dds", std::string(i % 7, 'x')),
          "cannot write a file");
  }
  checkStamps(folder, files, "as written");
  // Rewritten in place: the same file, with another size and write time.
  std::FILE* rewritten = std::fopen((folder + "\\f3.dds").c_str(), "wb");
  check(rewritten && std::fputs("rewritten", rewritten) >= 0 && std::fclose(rewritten) == 0,
        "cannot rewrite a file");
  checkStamps(folder, files, "one rewritten in place");
  std::vector<platform::DirEntry> entries;
  std::string error;
  const platform::ListingStatus ofFile =
      platform::listFolder(folder + "\\f3.dds", &entries, &error);
  check(ofFile == platform::ListingStatus::Missing, "a file is listed as a folder: " + error);
  check(
      platform::listFolder(folder + "\\none", &entries, &error) == platform::ListingStatus::Missing,
      "a folder that is not there is listed");
  for (size_t i = 0; i < files; ++i) {
    DeleteFileA((folder + "\\f" + std::to_string(i) + ".dds").c_str());
  }
  RemoveDirectoryA(folder.c_str());
  return failures ? 1 : 0;
}
