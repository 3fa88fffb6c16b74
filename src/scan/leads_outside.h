// What a run hands the tool or reads, checked at the moment it is used. A
// downloaded modification can ship symbolic links (unzip and tar restore
// them): one to a private file would have it packed into the archive the
// modder publishes, one to another archive would have that changed. So what
// a run packs, replays or names as an archive must lie in the modification
// folder as it resolves, and be what it is used as. The folder itself may be
// a link (modders switch modifications by linking it): it is resolved once,
// and everything is checked against where it leads. Checked just before each
// use, not when a folder was listed: what was swapped in since is caught;
// what is swapped in while a command runs cannot be.
#ifndef ZT_SCAN_LEADS_OUTSIDE_H_
#define ZT_SCAN_LEADS_OUTSIDE_H_

#include <optional>
#include <string>

// What the run is about to do with a path, which decides what may be there.
enum class UsedAs {
  StagedFile,     // packed: a regular file, there now
  StagingFolder,  // listed: nothing there is nothing staged
  Archive,        // handed to the tool: a regular file, or nothing (the tool makes it)
  DeleteList,     // read: a regular file, or nothing (nothing to replay)
};

// Why `path`, in the modification folder that resolves to `modFolder`, may
// not be used as `use` now: the rest of a sentence that begins "it" ("leads
// to ..., outside the modification folder ...", "is not a regular file").
// Nothing when it may. What the file system cannot answer (a loop, a path
// too long to resolve, permission) refuses, with the reason.
std::optional<std::string> refusalAtUse(const std::string& modFolder, const std::string& path,
                                        UsedAs use);

#endif  // ZT_SCAN_LEADS_OUTSIDE_H_
