#include "run/change_plan.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/text.h"
#include "scan/count_files.h"
#include "tool/console.h"
#include "tool/fixed_names.h"

namespace {

// Finds staged files by name in `files`, which a record lists in the order
// its run listed them: a listing in that same order is matched in step, and
// an index is made only once a name is not where that order puts it.
class RecordedLookup {
 public:
  explicit RecordedLookup(const RecordedFiles& files) : files_(files) {}

  // The stamp recorded for `name`, or null.
  const platform::FileStamp* find(const std::string& name) {
    if (next_ < files_.size() && files_[next_].first == name) return &files_[next_++].second;
    if (index_.empty()) {
      index_.reserve(files_.size());
      for (size_t i = 0; i < files_.size(); ++i) index_.emplace(files_[i].first, i);
    }
    auto found = index_.find(name);
    if (found == index_.end()) return nullptr;
    next_ = found->second + 1;
    return &files_[found->second].second;
  }

 private:
  const RecordedFiles& files_;
  size_t next_ = 0;
  std::unordered_map<std::string_view, size_t> index_;
};

// Whether the record may hold `entry` of a staging folder's listing: a
// file it counts, not refused, which the listing could stamp.
bool recordable(const platform::DirEntry& entry) {
  return isCountedFile(entry) && entry.refusal.empty() && entry.stamp.has_value();
}

// Which of the recordable `entries`, by position, another one equals but for
// case: the tool keeps one entry for them all, whichever came last. Twins
// stand side by side in the order of names in any case, which a POSIX
// listing is in already.
std::vector<bool> caseTwins(const std::vector<platform::DirEntry>& entries) {
  std::vector<size_t> order;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (recordable(entries[i])) order.push_back(i);
  }
  const auto before = [&](size_t a, size_t b) {
    return platform::compareAnyCase(entries[a].name, entries[b].name) < 0;
  };
  if (!std::is_sorted(order.begin(), order.end(), before)) {
    std::sort(order.begin(), order.end(), before);
  }
  std::vector<bool> twins(entries.size());
  for (size_t i = 1; i < order.size(); ++i) {
    if (!before(order[i - 1], order[i])) twins[order[i - 1]] = twins[order[i]] = true;
  }
  return twins;
}

// Whether `stamp` shows the file as it was before `startedAt`, in an earlier
// clock tick: a file changed in the tick a run started may change again in
// that tick, as far as a coarse clock can tell, without its stamp showing it.
// Both times: the last-write time can be set forward, the other not back.
bool stampedBefore(const platform::FileStamp& stamp, long long startedAt) {
  return stamp.writeTime < startedAt && stamp.changeTime < startedAt;
}

// Whether the delete list, stamped `now`, is as the run of `previous` read
// it, and was last changed in a tick before that run started.
bool deleteListAsLeft(const ChangeRecord& previous, const std::optional<platform::FileStamp>& now) {
  return now == previous.deleteList && (!now || stampedBefore(*now, previous.startedAt));
}

// The stamp of the file at `path`, if there is one.
std::optional<platform::FileStamp> stampOf(const std::string& path) {
  return platform::whereItLeads(path).stamp;
}

// Reads the file system's clock on the run's own lock file; when it cannot,
// says so and counts a failed step, since no record can then be written.
bool readClock(long long* now, CommandTally* tally) {
  std::string error;
  if (platform::touchFile(names::kLockFile, now, &error)) return true;
  failStep(std::string("cannot read the clock on ") + names::kLockFile + ": " + error +
               "; no record is written",
           tally);
  return false;
}

// Whether `previous` proves that the run now starting would change nothing,
// given that it has no staged file to pack: that run ended without any
// failure, and the `folders`' archives and the delete list (stamped
// `deleteList` now) are as it left them, the delete list from a tick before
// it started and naming no archive but theirs.
bool upToDate(const ChangeRecord& previous, const std::vector<StagingFolder>& folders,
              const std::optional<platform::FileStamp>& deleteList) {
  if (previous.failed != 0 || previous.listNamedOtherArchives ||
      !deleteListAsLeft(previous, deleteList)) {
    return false;
  }
  for (const StagingFolder& folder : folders) {
    auto left = previous.archives.find(folder.archive);
    std::optional<platform::FileStamp> now = stampOf(folder.archivePath);
    if (left == previous.archives.end() ? now.has_value() : now != left->second) return false;
  }
  return true;
}

// Adds to `record` what a run knows to be in `folder`'s archive among the
// entries of its listing: the files it passed over as unchanged and those
// the tool added, with the stamps the listing took, and the archive's stamp
// as the run leaves it, read `now` by the file system's clock. An archive
// stamped ahead of that clock is left out, and so are its files: the next
// run packs them again, and the tool's writes bring its stamp back.
void recordArchive(const StagingFolder& folder, long long now, ChangeRecord* record) {
  std::optional<platform::FileStamp> archiveNow = stampOf(folder.archivePath);
  if (!archiveNow || stampedAhead(*archiveNow, now)) return;
  record->archives[folder.archive] = *archiveNow;
  const std::vector<platform::DirEntry>& entries = folder.lister.entries();
  const std::vector<bool> twins = caseTwins(entries);
  const std::unordered_set<std::string_view> packed(folder.added.begin(), folder.added.end());
  RecordedFiles& files = record->files[folder.archive];
  for (size_t i = 0; i < entries.size(); ++i) {
    const platform::DirEntry& entry = entries[i];
    if (recordable(entry) && !twins[i] && (folder.unchanged[i] || packed.count(entry.name))) {
      files.emplace_back(entry.name, *entry.stamp);
    }
  }
}

}  // namespace

std::vector<bool> unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                                 const std::optional<platform::FileStamp>& archiveNow,
                                 const std::optional<platform::FileStamp>& deleteListNow,
                                 const std::vector<platform::DirEntry>& entries) {
  std::vector<bool> unchanged(entries.size());
  auto left = previous.archives.find(archive);
  auto files = previous.files.find(archive);
  if (left == previous.archives.end() || archiveNow != left->second ||
      files == previous.files.end() || !deleteListAsLeft(previous, deleteListNow)) {
    return unchanged;
  }
  const std::vector<bool> twins = caseTwins(entries);
  RecordedLookup recorded(files->second);
  for (size_t i = 0; i < entries.size(); ++i) {
    const platform::DirEntry& entry = entries[i];
    if (!recordable(entry) || twins[i]) continue;
    const platform::FileStamp* packed = recorded.find(entry.name);
    unchanged[i] =
        packed && *packed == *entry.stamp && stampedBefore(*entry.stamp, previous.startedAt);
  }
  return unchanged;
}

ChangePlan planChanges(const RunOptions& options, std::vector<StagingFolder>* folders,
                       const std::string& deleteListPath, CommandTally* tally) {
  ChangePlan plan;
  for (StagingFolder& folder : *folders) folder.unchanged.resize(folder.lister.entries().size());
  if (!options.changedOnly) return plan;
  // The file system's clock at the start, read on the run's own lock file
  // before any stamp is taken: later edits are told apart against it. A dry
  // run leaves no record.
  long long now = 0;
  if (!options.dryRun && readClock(&now, tally)) plan.startedAt = now;
  // Taken before anything is packed or replayed, as the staged files' were
  // with their listing: a change made while the run goes on shows as one to
  // the next run.
  plan.deleteList = stampOf(deleteListPath);
  ChangeRecord previous;
  if (!readChangeRecord(names::kRecordFile, &previous)) {
    // Without a record that can be read, no file counts as unchanged.
    const std::string why = stampOf(names::kRecordFile)
                                ? "the record of packed files cannot be read"
                                : "there is no record of packed files yet";
    plan.note = options.dryRun ? "every staged file would be packed: " + why
                               : "Packing every staged file: " + why;
    return plan;
  }
  size_t skipped = 0;
  // Nothing failed so far: the clock was read and every folder could be.
  bool nothingToPack = tally->failed == 0;
  for (StagingFolder& folder : *folders) {
    const std::vector<bool>& unchanged = folder.unchanged =
        unchangedFiles(previous, folder.archive, stampOf(folder.archivePath), plan.deleteList,
                       folder.lister.entries());
    const int passedOver = static_cast<int>(std::count(unchanged.begin(), unchanged.end(), true));
    skipped += passedOver;
    nothingToPack = nothingToPack && !folder.lister.unreadable() &&
                    countFiles(folder.lister, "*", false) == passedOver;
  }
  plan.nothingToDo = nothingToPack && upToDate(previous, *folders, plan.deleteList);
  const std::string files =
      std::to_string(skipped) + " unchanged staged file" + (skipped == 1 ? "" : "s");
  plan.note = options.dryRun ? "would skip " + files : "Skipping " + files;
  return plan;
}

void finishChanges(const ChangePlan& plan, const std::vector<StagingFolder>& folders,
                   const std::set<std::string>& listArchives, CommandTally* tally) {
  long long now = 0;
  if (!plan.startedAt || !readClock(&now, tally)) return;
  ChangeRecord record;
  record.startedAt = *plan.startedAt;
  for (const StagingFolder& folder : folders) recordArchive(folder, now, &record);
  record.deleteList = plan.deleteList;
  record.listNamedOtherArchives =
      std::any_of(listArchives.begin(), listArchives.end(), [](const std::string& archive) {
        return archive != names::kMainArchive && archive != names::kSecondArchive;
      });
  flushOut();
  record.failed = tally->failed + (outputError().empty() ? 0 : 1);
  std::string error;
  if (!writeChangeRecord(names::kRecordFile, record, &error)) {
    failStep(std::string("cannot write the record of packed files ") + names::kRecordFile + ": " +
                 printable(error),
             tally);
  }
}
