// What a run that packs only changed files leaves for the next such run: the
// staged files it can vouch are in their archive, with their stamps, and how
// each archive and the delete list stood when it ended. Kept in the game
// root, beside the log; never in the modification folder that modders
// package.
#ifndef ZT_RUN_CHANGE_RECORD_H_
#define ZT_RUN_CHANGE_RECORD_H_

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "run/packing_pass.h"
#include "scan/directory_lister.h"

extern const char kChangeRecordFile[];

struct ChangeRecord {
  // The file system's clock when the run started, read on a file of the
  // run's own: a file changed in that tick or later may change again within
  // the tick without its stamp showing it.
  long long startedAt = 0;
  std::map<std::string, platform::FileStamp> archives;  // by archive name, as the run left them
  // The delete list as the run read it; none when there was none.
  std::optional<platform::FileStamp> deleteList;
  // (archive name, staged file name) to the file's stamp when it was packed.
  std::map<std::pair<std::string, std::string>, platform::FileStamp> files;
  // How many commands (or steps that stand for one) failed in the run; none
  // in a record from before it was kept, which proves nothing.
  std::optional<int> failed;
};

// Reads the record at `path`. False when there is none, or it cannot be read
// or is damaged: then no file counts as unchanged.
bool readChangeRecord(const std::string& path, ChangeRecord* record);

// Writes the record to a new temporary file beside `path` and renames it into
// place, so that a reader sees the old record or the new one, whole; not
// before the file system's clock has passed the stamps it vouches for.
bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error);

// The stamp of the file at `path`, if there is one.
std::optional<platform::FileStamp> stampOf(const std::string& path);

// The stamps of the files `lister` counts, by name; a file that cannot be
// stamped is left out.
std::map<std::string, platform::FileStamp> stampFiles(const DirectoryLister& lister);

// The files among `stamps` that `previous` vouches are in `archive` as they
// are now (stamped `archiveNow`): the archive and the delete list (stamped
// `deleteListNow`) are as that run left them, the delete list was last
// changed in a clock tick before that run started, the file's stamp is the
// same and from a tick before that run's start, and no other staged name
// differs from it only in case (the tool would keep one entry for both).
std::set<std::string> unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                                     const std::optional<platform::FileStamp>& archiveNow,
                                     const std::optional<platform::FileStamp>& deleteListNow,
                                     const std::map<std::string, platform::FileStamp>& stamps);

// Sets job->unchanged to the files among `stamps` (those of job->folder)
// that `previous` vouches are in job's archive as they are now (above).
void skipUnchanged(const ChangeRecord& previous,
                   const std::optional<platform::FileStamp>& deleteList,
                   const std::map<std::string, platform::FileStamp>& stamps, PackingJob* job);

// Whether `previous` proves that the run now starting would change nothing,
// given that it has no staged file to pack: that run ended without any
// failure, and both archives and the delete list (stamped `deleteList` now)
// are as it left them, the delete list from a tick before it started.
bool upToDate(const ChangeRecord& previous, const std::optional<platform::FileStamp>& deleteList);

// Adds to `record` what a run can vouch for in job's archive: the files it
// passed over as unchanged and those the tool `added`, with the archive's
// stamp as the run leaves it.
void vouchFor(const PackingJob& job, const std::vector<std::string>& added,
              const std::map<std::string, platform::FileStamp>& stamps, ChangeRecord* record);

#endif  // ZT_RUN_CHANGE_RECORD_H_
