// The record that a --changed run leaves in the game root, as a file: what
// it holds, and how it is read and written (whole, or not at all).
#ifndef ZT_RUN_RECORD_FILE_H_
#define ZT_RUN_RECORD_FILE_H_

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

// Staged files by name, each with its stamp when it was packed, in the order
// their run listed them.
using RecordedFiles = std::vector<std::pair<std::string, platform::FileStamp>>;

struct ChangeRecord {
  // The file system's clock when the run started, read on a file of the
  // run's own: a file changed in that tick or later may change again within
  // the tick without its stamp showing it.
  long long startedAt = 0;
  std::map<std::string, platform::FileStamp> archives;  // by archive name, as the run left them
  // The delete list as the run read it; none when there was none.
  std::optional<platform::FileStamp> deleteList;
  // Whether its lines named an archive other than the staging folders',
  // whose stamp the record does not keep: it cannot show that the list's
  // removals from that archive still hold.
  bool listNamedOtherArchives = false;
  std::map<std::string, RecordedFiles> files;  // by archive name
  // How many commands (or steps that stand for one) failed in the run; none
  // in a record from before it was kept, which proves nothing.
  std::optional<int> failed;
};

// Reads the record at `path`. False when there is none, or it cannot be read
// or is damaged: then no file counts as unchanged.
bool readChangeRecord(const std::string& path, ChangeRecord* record);

// Writes the record to a new temporary file beside `path` and renames it into
// place, so that a reader sees the old record or the new one, whole; not
// before the file system's clock has passed the stamps it holds.
bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error);

// Whether `stamp` is ahead of the clock reading `now`: a file from a zip
// made east of the user (zip keeps local time), or from a clock set back.
// No record holds it, nor waits for it.
bool stampedAhead(const platform::FileStamp& stamp, long long now);

#endif  // ZT_RUN_RECORD_FILE_H_
