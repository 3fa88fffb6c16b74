// What a run that packs only changed files (--changed) leaves for the next
// such run: the staged files it can vouch are in their archive, with their
// stamps, and how each archive and the delete list stood when it ended. Kept
// in the game root, beside the log; never in the modification folder that
// modders package. A run asks two things of it: its plan, before anything is
// packed, and at its end the record it leaves.
#ifndef ZT_RUN_CHANGE_PLAN_H_
#define ZT_RUN_CHANGE_PLAN_H_

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "run/arguments.h"
#include "run/record_file.h"
#include "run/packing_pass.h"
#include "tool/run_command.h"

// For each entry of a staging folder's listing, by position: whether it is
// a file passed over as already in its archive.
using UnchangedFiles = std::vector<bool>;

// Which of the `entries` of a staging folder's listing are files that
// `previous` vouches are in `archive` as they are now (stamped
// `archiveNow`): the archive and the delete list (stamped `deleteListNow`)
// are as that run left them, the delete list was last changed in a clock
// tick before that run started, the file's stamp, as the listing took it, is
// the same and from a tick before that run's start, and no other staged name
// differs from it only in case (the tool would keep one entry for both).
UnchangedFiles unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                              const std::optional<platform::FileStamp>& archiveNow,
                              const std::optional<platform::FileStamp>& deleteListNow,
                              const std::vector<platform::DirEntry>& entries);

// What a run decides from the record before it packs anything, and keeps for
// the record it leaves at its end. Without --changed it plans nothing.
struct ChangePlan {
  // By each staging folder's archive: the files passed over as already packed.
  std::map<std::string, UnchangedFiles> unchanged;
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

// Plans a run over `folders` and the delete list at `deleteListPath`: reads
// the clock on the run's lock file, stamps the delete list (the staged
// files' stamps come with their listing) and reads the record of the last
// --changed run. A clock that cannot be read is named on stderr
// and counted in `tally` as a failed step.
ChangePlan planChanges(const RunOptions& options, const std::vector<StagingFolder>& folders,
                       const std::string& deleteListPath, CommandTally* tally);

// At the run's end, leaves the record for the next --changed run: the files
// of `folders` passed over and those the tool `added` (by archive), the
// archives the delete list's lines named (`listArchives`), and how the run
// ends in `tally`. A record that cannot be written is named on stderr and
// counted as a failed step.
void finishChanges(const ChangePlan& plan, const std::vector<StagingFolder>& folders,
                   const std::map<std::string, std::vector<std::string>>& added,
                   const std::set<std::string>& listArchives, CommandTally* tally);

#endif  // ZT_RUN_CHANGE_PLAN_H_
