// Links out of the modification folder. A downloaded modification can ship
// symbolic links (unzip and tar restore them): one to a private file would
// have it packed into the archive the modder publishes, one to another
// archive would have that changed. So what a run packs, replays or names as
// an archive must lie in the modification folder as it resolves. The folder
// itself may be a link (modders switch modifications by linking it): it is
// resolved once, and everything is judged against where it leads.
#ifndef ZT_SCAN_LEADS_OUTSIDE_H_
#define ZT_SCAN_LEADS_OUTSIDE_H_

#include <string>
#include <vector>

// How `path`, a file or folder a run would read in the modification folder
// that resolves to `modFolder`, leads out of it, with what to do: the rest of
// a sentence about it ("leads to ..., outside the modification folder ...").
// Empty when it may be read: it lies inside, or nothing can be reached
// through it (nothing is there, or a link that leads nowhere), which reading
// it reports on its own.
std::string leadsOutside(const std::string& modFolder, const std::string& path);

// The same for an archive, which the tool creates where none is: a link
// there that leads nowhere, or that cannot be followed, would have it made
// somewhere else, and is refused too.
std::string archiveLeadsOutside(const std::string& modFolder, const std::string& path);

// The same for the first of `archives`, each a name in the modification
// folder, that leads out of it: the name, then how. Empty when none does.
std::string archiveLeadsOutside(const std::string& modFolder,
                                const std::vector<std::string>& archives);

#endif  // ZT_SCAN_LEADS_OUTSIDE_H_
