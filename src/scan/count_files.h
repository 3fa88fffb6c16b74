// Counts the files of a folder whose extension matches a filter.
#ifndef ZT_SCAN_COUNT_FILES_H_
#define ZT_SCAN_COUNT_FILES_H_

#include <string>

#include "scan/directory_lister.h"

// The number of files in `folder` (and, with `recurse`, in its subfolders)
// whose extension is exactly `filter`, or of all files when `filter` is "*".
// The extension is what follows a name's last "."; a name without one is its
// own extension. Names beginning with "." are never counted. A missing or
// unreadable folder counts 0.
int countFiles(const std::string& folder, const std::string& filter, bool recurse);

// The same count over the listing that `lister` read.
int countFiles(const DirectoryLister& lister, const std::string& filter, bool recurse);

// Whether an entry is one that countFiles counts as a file of its own folder
// (with the filter "*"): not a folder, and not a name beginning with ".".
bool isCountedFile(const platform::DirEntry& entry);

#endif  // ZT_SCAN_COUNT_FILES_H_
