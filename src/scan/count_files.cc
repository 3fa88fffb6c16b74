#include "scan/count_files.h"

#include "platform/platform.h"

namespace {

std::string extensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

bool isDotName(const std::string& name) { return !name.empty() && name[0] == '.'; }

int countFiles(const std::string& folder, const std::string& filter, bool recurse) {
  platform::DirEntry entry;
  platform::Listing* listing = platform::openListing(folder, &entry);
  if (!listing) return 0;
  const char separator = platform::separatorOf(platform::nativeShell());
  int count = 0;
  do {
    if (isDotName(entry.name)) continue;
    if (entry.isFolder) {
      if (recurse) count += countFiles(folder + separator + entry.name, filter, recurse);
    } else if (filter == "*" || extensionOf(entry.name) == filter) {
      ++count;
    }
  } while (platform::nextEntry(listing, &entry));
  platform::closeListing(listing);
  return count;
}
