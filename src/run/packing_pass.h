// Packs every file of one staging folder into its archive, one tool command
// per file, while a single console line shows the progress of the whole run.
#ifndef ZT_RUN_PACKING_PASS_H_
#define ZT_RUN_PACKING_PASS_H_

#include <string>
#include <vector>

#include "scan/directory_lister.h"
#include "tool/command_line.h"
#include "tool/run_command.h"

struct PackingJob {
  std::string folder;   // the staging folder, game root included
  std::string archive;  // names::kMainArchive or names::kSecondArchive
  std::string archivePath;  // the archive, game root included
  std::string modFolder;    // the modification folder as it resolves
  int files = 0;        // how many files are to be packed
  int firstNumber = 0;  // the number shown for its first file
  int total = 0;        // the number shown as the run's total
  // By position in the folder's listing: the files passed over as already
  // packed.
  std::vector<bool> unchanged;
};

// One staging folder of a run: its listing, read once when the run starts so
// that what is counted is what is packed, the archive its files go into, and
// the job that packs them, filled in once the run knows what it passes over.
struct StagingFolder {
  std::string archive;
  DirectoryLister lister;
  PackingJob job;
};

// Packs the files that `lister` (open on job.folder) yields, passing over the
// entries that are not counted as files and the unchanged ones, until
// job.files are packed or the listing runs out. Each file, and the archive,
// is checked just before its command is built (see leads_outside.h); one
// refused is named and counted as a failed command, and nothing is run for
// it. Returns the names of the files the tool added.
std::vector<std::string> packFolder(DirectoryLister& lister, const PackingJob& job,
                                    const Dialect& dialect, CommandTally* tally);

// Says on stderr, once, how many subfolders and hidden (dot) files the
// staging folder that `lister` read holds, which are never packed; nothing
// when it holds none.
void notePassedOver(const DirectoryLister& lister);

#endif  // ZT_RUN_PACKING_PASS_H_
