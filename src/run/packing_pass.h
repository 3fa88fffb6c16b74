// Packs every file of one staging folder into its archive, one tool command
// per file, while a single console line shows the progress of the whole run.
#ifndef ZT_RUN_PACKING_PASS_H_
#define ZT_RUN_PACKING_PASS_H_

#include <string>
#include <vector>

#include "scan/directory_lister.h"
#include "tool/command_line.h"
#include "tool/run_command.h"

// One staging folder of a run: its listing, read once when the run starts
// so that what is counted is what is packed, and the archive its files go
// into; then what the run passes over, packs and adds.
struct StagingFolder {
  std::string archive;      // names::kMainArchive or names::kSecondArchive
  std::string archivePath;  // the archive, game root included
  DirectoryLister lister;
  // By position in the listing: the files passed over as already packed.
  std::vector<bool> unchanged;
  int files = 0;                   // how many files are to be packed
  int firstNumber = 0;             // the number shown for its first file
  std::vector<std::string> added;  // the names of the files the tool added
};

// Packs the files of `folder`'s listing, passing over the entries that are
// not counted as files and the unchanged ones, until folder->files are
// packed or the listing runs out, against the run's `total`. Each file, and
// the archive, is checked just before its command is built, against
// `modFolder` as it resolves (see leads_outside.h); one refused is named and
// counted as a failed command, and nothing is run for it.
void packFolder(StagingFolder* folder, int total, const std::string& modFolder,
                const Dialect& dialect, CommandTally* tally);

// Says on stderr, once, how many subfolders and hidden (dot) files the
// staging folder that `lister` read holds, which are never packed; nothing
// when it holds none.
void notePassedOver(const DirectoryLister& lister);

#endif  // ZT_RUN_PACKING_PASS_H_
