#include "scan/count_files.h"

#include "platform/process.h"

namespace {

std::string extensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

bool isDotName(const std::string& name) { return !name.empty() && name[0] == '.'; }

}  // namespace

bool isCountedFile(const platform::DirEntry& entry) {
  return !isDotName(entry.name) && !entry.isFolder;
}

int countFiles(const std::string& folder, const std::string& filter, bool recurse) {
  return countFiles(DirectoryLister(folder), filter, recurse);
}

int countFiles(const DirectoryLister& lister, const std::string& filter, bool recurse) {
  const char separator = platform::separatorOf(platform::nativeShell());
  int count = 0;
  for (const platform::DirEntry& entry : lister.entries()) {
    if (isDotName(entry.name)) continue;
    if (entry.isFolder) {
      if (recurse) count += countFiles(lister.folder() + separator + entry.name, filter, recurse);
    } else if (filter == "*" || extensionOf(entry.name) == filter) {
      ++count;
    }
  }
  return count;
}
