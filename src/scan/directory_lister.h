// Walks the entries of one folder in the platform's listing order, handing out
// their names one at a time. The listing begins with "." and "..". The folder
// is read once, when the lister is made, so a lister and a count taken from
// it always agree.
#ifndef ZT_SCAN_DIRECTORY_LISTER_H_
#define ZT_SCAN_DIRECTORY_LISTER_H_

#include <string>
#include <vector>

#include "platform/files.h"

class DirectoryLister {
 public:
  // Reads the listing of `folder` and stands on its first entry. A missing
  // folder, a path that is not a folder, or one that cannot be read leaves
  // the lister without entries. No entry is opened: what each leads to is
  // checked when it is used (see leads_outside.h).
  explicit DirectoryLister(const std::string& folder);
  // A lister without entries, for a folder that is not to be read.
  DirectoryLister() : status_(platform::ListingStatus::Missing) {}

  // Advances by one entry and returns the current name. Past the last entry
  // the last name stays; without a listing the name is always empty.
  std::string next();

  // The entry the lister stands on; past the end, the last one.
  const platform::DirEntry& current() const;

  // Where in entries() the lister stands; entries().size() past the end.
  size_t position() const { return position_; }
  // Whether the lister stands past its last entry, or never had a listing.
  bool atEnd() const { return position_ >= entries_.size(); }

  const std::string& folder() const { return folder_; }
  const std::vector<platform::DirEntry>& entries() const { return entries_; }
  // Whether the folder is there but could not be read, and why.
  bool unreadable() const { return status_ == platform::ListingStatus::Unreadable; }
  const std::string& error() const { return error_; }

 private:
  std::string folder_;
  std::vector<platform::DirEntry> entries_;
  size_t position_ = 0;
  platform::ListingStatus status_;
  std::string error_;
};

#endif  // ZT_SCAN_DIRECTORY_LISTER_H_
