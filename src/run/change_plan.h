// The plan of a --changed run: which staged files the last such run's record
// (record_file.h, in the game root) shows are packed already, and at the
// run's end the record it leaves for the next one.
#ifndef ZT_RUN_CHANGE_PLAN_H_
#define ZT_RUN_CHANGE_PLAN_H_

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "run/arguments.h"
#include "run/packing_pass.h"
#include "run/record_file.h"
#include "tool/run_command.h"

// For each of the `entries` of a staging folder's listing, by position:
// whether `previous` shows it is in `archive` as it is now: the archive
// (`archiveNow`) and the delete list (`deleteListNow`) are as that run left
// them, the list older than that run's start, the file's stamp the same and
// older than that start, and no other staged name differs from it only in
// case (the tool keeps one entry for both).
std::vector<bool> unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                                 const std::optional<platform::FileStamp>& archiveNow,
                                 const std::optional<platform::FileStamp>& deleteListNow,
                                 const std::vector<platform::DirEntry>& entries);

// What a run decides from the record before it packs anything, and keeps for
// the record it leaves at its end. Without --changed it plans nothing.
struct ChangePlan {
  // Nothing to pack, nothing failed so far, and nothing else that a run could
  // change: the run runs no command, and the last run's log and record stay.
  bool nothingToDo = false;
  // What is passed over, or why nothing is: a real run shows it as a stage,
  // a dry run says it on stderr in its own words. Empty without --changed.
  std::string note;

  // The file system's clock when the run started; none when no record is to
  // be written (a dry run, or a clock that cannot be read).
  std::optional<long long> startedAt;
  std::optional<platform::FileStamp> deleteList;
};

// Plans a run over `folders`, marking in each the files passed over as
// unchanged, and the delete list at `deleteListPath`: reads the clock on the
// run's lock file, stamps the delete list (the staged files' stamps come
// with their listing) and reads the record of the last --changed run. A
// clock that cannot be read is named on stderr and counted in `tally` as a
// failed step.
ChangePlan planChanges(const RunOptions& options, std::vector<StagingFolder>* folders,
                       const std::string& deleteListPath, CommandTally* tally);

// At the run's end, leaves the record for the next --changed run: the files
// of `folders` passed over and those the tool added, the archives the delete
// list's lines named (`listArchives`), and how the run ends in `tally`. A
// record that cannot be written is named on stderr and counted as a failed
// step.
void finishChanges(const ChangePlan& plan, const std::vector<StagingFolder>& folders,
                   const std::set<std::string>& listArchives, CommandTally* tally);

#endif  // ZT_RUN_CHANGE_PLAN_H_
