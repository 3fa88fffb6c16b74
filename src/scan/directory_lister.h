// Walks the entries of one folder in the platform's listing order, handing out
// their names one at a time. The listing begins with "." and "..".
#ifndef ZT_SCAN_DIRECTORY_LISTER_H_
#define ZT_SCAN_DIRECTORY_LISTER_H_

#include <string>

#include "platform/platform.h"

class DirectoryLister {
 public:
  // Opens a listing of `folder` and stands on its first entry. A missing
  // folder, or a path that is not a folder, leaves the lister without one.
  explicit DirectoryLister(const std::string& folder);
  ~DirectoryLister();
  DirectoryLister(const DirectoryLister&) = delete;
  DirectoryLister& operator=(const DirectoryLister&) = delete;

  // Advances by one entry and returns the current name. Past the last entry
  // the last name stays; without a listing the name is always empty.
  std::string next();

  const std::string& currentName() const { return current_.name; }
  bool currentIsFolder() const { return current_.isFolder; }

  // Whether the lister stands past its last entry, or never had a listing.
  bool atEnd() const { return atEnd_; }

 private:
  platform::Listing* listing_ = nullptr;
  platform::DirEntry current_;
  bool atEnd_ = true;
};

#endif  // ZT_SCAN_DIRECTORY_LISTER_H_
