#include "scan/leads_outside.h"

#include <errno.h>

#include <cstring>

#include "platform/files.h"

std::optional<std::string> refusalAtUse(const std::string& modFolder, const std::string& path,
                                        UsedAs use) {
  using platform::EntryKind;
  std::string error;
  const platform::Destination where = platform::whereItLeads(path, &error);
  if (where.kind == EntryKind::Unknown) {
    return "cannot be followed to where it leads (" + error + ")";
  }
  if (where.kind == EntryKind::Nothing || where.kind == EntryKind::BrokenLink) {
    if (use == UsedAs::StagedFile) return "is no longer there";
    // The tool would make an archive where a link that leads nowhere leads.
    if (use == UsedAs::Archive && where.kind == EntryKind::BrokenLink) {
      return std::string("cannot be followed to where it leads (") + std::strerror(ENOENT) + ")";
    }
    return std::nullopt;
  }
  if ((where.kind == EntryKind::File || where.kind == EntryKind::Folder) &&
      !platform::liesWithin(where.path, modFolder)) {
    return "leads to " + where.path + ", outside the modification folder " + modFolder +
           " (to use it, put a copy of what it leads to in its place)";
  }
  // A folder that is not one is not listed: nothing is staged in it.
  if (use == UsedAs::StagingFolder || where.kind == EntryKind::File) return std::nullopt;
  if (where.kind == EntryKind::Folder) return "is a folder, not a file";
  return "is not a regular file";
}
