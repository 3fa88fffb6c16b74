// Counts the files of a folder whose extension matches a filter.
#ifndef ZT_SCAN_COUNT_FILES_H_
#define ZT_SCAN_COUNT_FILES_H_

#include <string>

// The number of files in `folder` (and, with `recurse`, in its subfolders)
// whose extension is exactly `filter`, or of all files when `filter` is "*".
// The extension is what follows a name's last "."; a name without one is its
// own extension. Names beginning with "." are never counted. A missing or
// unreadable folder counts 0.
int countFiles(const std::string& folder, const std::string& filter, bool recurse);

// Whether a name begins with ".": such entries are never counted.
bool isDotName(const std::string& name);

// Whether the packing passes pass over an entry: what countFiles never counts
// as a file of its own folder.
inline bool isHiddenOrFolder(const std::string& name, bool isFolder) {
  return isDotName(name) || isFolder;
}

#endif  // ZT_SCAN_COUNT_FILES_H_
