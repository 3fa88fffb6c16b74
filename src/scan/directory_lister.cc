#include "scan/directory_lister.h"

#include <algorithm>

#include "platform/process.h"
#include "scan/leads_outside.h"

DirectoryLister::DirectoryLister(const std::string& folder, const std::string& modFolder)
    : folder_(folder) {
  status_ = platform::listFolder(folder, &entries_, &error_);
  if (modFolder.empty()) return;
  const char separator = platform::separatorOf(platform::nativeShell());
  // Only a link can lead out of a folder that lies inside. One to a folder
  // is passed over, whatever it leads to.
  for (platform::DirEntry& entry : entries_) {
    if (!entry.isLink || entry.isFolder || !entry.refusal.empty()) continue;
    const std::string how = leadsOutside(modFolder, folder + separator + entry.name);
    if (!how.empty()) entry.refusal = "it " + how;
  }
}

const platform::DirEntry& DirectoryLister::current() const {
  static const platform::DirEntry none;
  if (entries_.empty()) return none;
  return entries_[std::min(position_, entries_.size() - 1)];
}

std::string DirectoryLister::next() {
  if (position_ < entries_.size()) ++position_;
  return currentName();
}
