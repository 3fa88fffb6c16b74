#include "scan/directory_lister.h"

DirectoryLister::DirectoryLister(const std::string& folder) {
  if (!platform::pathExists(folder)) return;
  listing_ = platform::openListing(folder, &current_);
  atEnd_ = listing_ == nullptr;
}

DirectoryLister::~DirectoryLister() {
  if (listing_) platform::closeListing(listing_);
}

std::string DirectoryLister::next() {
  platform::DirEntry entry;
  if (listing_ && platform::nextEntry(listing_, &entry)) {
    current_ = entry;
  } else {
    atEnd_ = true;
  }
  return current_.name;
}
