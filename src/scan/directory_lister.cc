#include "scan/directory_lister.h"

#include <algorithm>

DirectoryLister::DirectoryLister(const std::string& folder) : folder_(folder) {
  status_ = platform::listFolder(folder, &entries_, &error_);
}

const platform::DirEntry& DirectoryLister::current() const {
  static const platform::DirEntry none;
  if (entries_.empty()) return none;
  return entries_[std::min(position_, entries_.size() - 1)];
}

std::string DirectoryLister::next() {
  if (position_ < entries_.size()) ++position_;
  return current().name;
}
