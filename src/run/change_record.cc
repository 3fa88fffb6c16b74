#include "run/change_record.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "scan/count_files.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/fixed_names.h"

namespace {

// Stamps grew the file's identity in 2; 3 tells whether the delete list
// named other archives, which a record of 2 does not say.
const char kHeading[] = "zt-rebuild record 3";

// A name is the rest of its line: only the line end and the escape itself
// need escaping.
std::string escaped(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool unescaped(const std::string& text, std::string* name) {
  name->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *name += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    char c = text[i];
    if (c != '\\' && c != 'n' && c != 'r') return false;
    *name += c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
  }
  return !name->empty();
}

std::string upper(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

bool readStamp(std::istringstream& words, platform::FileStamp* stamp) {
  return static_cast<bool>(words >> stamp->size >> stamp->writeTime >> stamp->changeTime >>
                           stamp->volume >> stamp->index);
}

std::string stampText(const platform::FileStamp& stamp) {
  return std::to_string(stamp.size) + " " + std::to_string(stamp.writeTime) + " " +
         std::to_string(stamp.changeTime) + " " + std::to_string(stamp.volume) + " " +
         std::to_string(stamp.index);
}

// No line of a record is longer: a longer one, or one cut short, means the
// file is not a record, and reading it stops there.
const size_t kLongestLine = 64 * 1024;

bool readRecordLine(std::istream& in, std::string* line) {
  line->clear();
  std::streambuf* buffer = in.rdbuf();
  for (int c; (c = buffer->sbumpc()) != std::char_traits<char>::eof();) {
    if (c == '\n') return true;
    if (line->size() == kLongestLine) return false;
    *line += static_cast<char>(c);
  }
  return false;
}

// The names among `stamps` that another one equals but for case: the tool
// keeps one entry for them all, whichever came last.
std::set<std::string> caseTwins(const std::map<std::string, platform::FileStamp>& stamps) {
  std::map<std::string, std::vector<std::string>> spellings;
  for (const auto& entry : stamps) spellings[upper(entry.first)].push_back(entry.first);
  std::set<std::string> twins;
  for (const auto& [spelling, names] : spellings) {
    if (names.size() > 1) twins.insert(names.begin(), names.end());
  }
  return twins;
}

// The archive's path from the game root, the working directory.
std::string archivePath(const std::string& archive) {
  return localPath(dialectFor(platform::nativeShell(), false),
                   std::string(names::kModFolder) + "\\" + archive);
}

// Whether `stamp` shows the file as it was before `startedAt`, in an earlier
// clock tick: a file changed in the tick a run started may change again in
// that tick, as far as a coarse clock can tell, without its stamp showing it.
// Both times: the last-write time can be set forward, the other not back.
bool stampedBefore(const platform::FileStamp& stamp, long long startedAt) {
  return stamp.writeTime < startedAt && stamp.changeTime < startedAt;
}

// Whether `stamp` is ahead of the clock reading `now`: a file from a zip
// made east of the user (zip keeps local time), or from a clock set back.
bool stampedAhead(const platform::FileStamp& stamp, long long now) {
  return stamp.writeTime > now || stamp.changeTime > now;
}

// On a file system that stamps whole seconds (or two), an archive changed
// after the run, in the tick its stamp was taken, would keep that stamp. So
// the record is put in place only once the file system's clock, read on the
// record's own file, has passed every archive and delete-list stamp in it:
// at once where the clock is fine, within a tick where it is coarse. A stamp
// ahead of the clock is never waited for: the record holds no archive with
// one, and a delete list with one dates from no tick before the run started,
// so the next run vouches for nothing on its account.
bool waitPastStamps(const std::string& ownFile, const ChangeRecord& record, std::string* error) {
  long long now = 0;
  if (!platform::touchFile(ownFile, &now, error)) return false;
  long long latest = 0;
  auto include = [&](const platform::FileStamp& stamp) {
    if (!stampedAhead(stamp, now)) latest = std::max({latest, stamp.writeTime, stamp.changeTime});
  };
  for (const auto& entry : record.archives) include(entry.second);
  if (record.deleteList) include(*record.deleteList);
  // FAT's tick is two seconds; a clock set back is given no more.
  const int kPollMs = 10, kLongestWaitMs = 4000;
  for (int waited = 0; now <= latest; waited += kPollMs) {
    if (waited >= kLongestWaitMs) {
      *error = "the file system's clock does not move past the archives' stamps";
      return false;
    }
    platform::pause(kPollMs);
    if (!platform::touchFile(ownFile, &now, error)) return false;
  }
  return true;
}

// The stamp of the file at `path`, if there is one.
std::optional<platform::FileStamp> stampOf(const std::string& path) {
  platform::FileStamp stamp;
  if (!platform::fileStamp(path, &stamp)) return std::nullopt;
  return stamp;
}

// The stamps of the files `lister` counts, by name; a file that cannot be
// stamped, or is refused, is left out.
std::map<std::string, platform::FileStamp> stampFiles(const DirectoryLister& lister) {
  const char separator = platform::separatorOf(platform::nativeShell());
  std::map<std::string, platform::FileStamp> stamps;
  for (const platform::DirEntry& entry : lister.entries()) {
    platform::FileStamp stamp;
    if (!isCountedFile(entry) || !entry.refusal.empty()) continue;
    if (platform::fileStamp(lister.folder() + separator + entry.name, &stamp)) {
      stamps[entry.name] = stamp;
    }
  }
  return stamps;
}

// Reads the file system's clock on the run's own lock file; when it cannot,
// says so and counts a failed step, since no record can then be written.
bool readClock(long long* now, CommandTally* tally) {
  std::string error;
  if (platform::touchFile(names::kLockFile, now, &error)) return true;
  writeError(std::string("cannot read the clock on ") + names::kLockFile + ": " + error +
             "; no record is written");
  countCommand(tally, false);
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
      deleteList != previous.deleteList ||
      (deleteList && !stampedBefore(*deleteList, previous.startedAt))) {
    return false;
  }
  for (const StagingFolder& folder : folders) {
    auto left = previous.archives.find(folder.archive);
    std::optional<platform::FileStamp> now = stampOf(archivePath(folder.archive));
    if (left == previous.archives.end() ? now.has_value() : now != left->second) return false;
  }
  return true;
}

// Adds to `record` what a run can vouch for in `archive`: the files it passed
// over as `unchanged` and those the tool `added`, with the archive's stamp as
// the run leaves it, read `now` by the file system's clock. An archive
// stamped ahead of that clock is left out, and so are its files: the next
// run packs them again, and the tool's writes bring its stamp back.
void vouchFor(const std::string& archive, const std::set<std::string>& unchanged,
              const std::vector<std::string>& added,
              const std::map<std::string, platform::FileStamp>& stamps, long long now,
              ChangeRecord* record) {
  std::optional<platform::FileStamp> archiveNow = stampOf(archivePath(archive));
  if (!archiveNow || stampedAhead(*archiveNow, now)) return;
  record->archives[archive] = *archiveNow;
  const std::set<std::string> twins = caseTwins(stamps);
  auto vouch = [&](const std::string& name) {
    auto stamp = stamps.find(name);
    if (stamp != stamps.end() && !twins.count(name)) {
      record->files[{archive, name}] = stamp->second;
    }
  };
  for (const std::string& name : unchanged) vouch(name);
  for (const std::string& name : added) vouch(name);
}

}  // namespace

std::set<std::string> unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                                     const std::optional<platform::FileStamp>& archiveNow,
                                     const std::optional<platform::FileStamp>& deleteListNow,
                                     const std::map<std::string, platform::FileStamp>& stamps) {
  std::set<std::string> unchanged;
  auto left = previous.archives.find(archive);
  if (left == previous.archives.end() || archiveNow != left->second ||
      deleteListNow != previous.deleteList ||
      (previous.deleteList && !stampedBefore(*previous.deleteList, previous.startedAt))) {
    return unchanged;
  }
  const std::set<std::string> twins = caseTwins(stamps);
  for (const auto& [name, stamp] : stamps) {
    auto packed = previous.files.find({archive, name});
    if (packed != previous.files.end() && packed->second == stamp &&
        stampedBefore(stamp, previous.startedAt) && !twins.count(name)) {
      unchanged.insert(name);
    }
  }
  return unchanged;
}

bool readChangeRecord(const std::string& path, ChangeRecord* record) {
  *record = ChangeRecord();
  // Only a regular file: a pipe there would keep the run waiting.
  if (!stampOf(path)) return false;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!readRecordLine(in, &line) || line != kHeading) return false;
  size_t files = 0;
  while (readRecordLine(in, &line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "started") {
      if (!(words >> record->startedAt)) return false;
    } else if (kind == "archive") {
      std::string archive;
      if (!(words >> archive) || !readStamp(words, &record->archives[archive])) return false;
    } else if (kind == "deletelist") {
      record->deleteList.emplace();
      if (!readStamp(words, &*record->deleteList)) return false;
    } else if (kind == "otherarchives") {
      record->listNamedOtherArchives = true;
    } else if (kind == "file") {
      std::string archive, name;
      platform::FileStamp stamp;
      if (!(words >> archive) || !readStamp(words, &stamp) || words.get() != ' ') return false;
      std::string rest;
      std::getline(words, rest);
      if (!unescaped(rest, &name)) return false;
      record->files[{archive, name}] = stamp;
      ++files;
    } else if (kind == "failed") {
      record->failed.emplace();
      if (!(words >> *record->failed)) return false;
    } else if (kind == "end") {
      // The last line counts the files: a record cut short is no record.
      size_t counted;
      return (words >> counted) && counted == files && record->startedAt != 0 &&
             in.rdbuf()->sgetc() == std::char_traits<char>::eof();
    } else {
      return false;
    }
  }
  return false;
}

bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error) {
  std::string text = std::string(kHeading) + "\n";
  text += "started " + std::to_string(record.startedAt) + "\n";
  for (const auto& [archive, stamp] : record.archives) {
    text += "archive " + archive + " " + stampText(stamp) + "\n";
  }
  if (record.deleteList) text += "deletelist " + stampText(*record.deleteList) + "\n";
  if (record.listNamedOtherArchives) text += "otherarchives\n";
  for (const auto& [key, stamp] : record.files) {
    text += "file " + key.first + " " + stampText(stamp) + " " + escaped(key.second) + "\n";
  }
  if (record.failed) text += "failed " + std::to_string(*record.failed) + "\n";
  text += "end " + std::to_string(record.files.size()) + "\n";

  const std::string temporary = path + ".tmp";
  // A leftover of a killed run goes; so does a link planted there, itself,
  // never what it points to. Should another one be planted in between, the
  // exclusive creation fails.
  std::remove(temporary.c_str());
  std::string failure;
  if (!platform::writeNewFile(temporary, text, &failure)) {
    *error = temporary + ": " + failure;
    return false;
  }
  if (waitPastStamps(temporary, record, &failure) &&
      platform::replaceFile(temporary, path, &failure)) {
    return true;
  }
  *error = temporary + ": " + failure;
  std::remove(temporary.c_str());
  return false;
}

ChangePlan planChanges(const RunOptions& options, const std::vector<StagingFolder>& folders,
                       const std::string& deleteListPath, CommandTally* tally) {
  ChangePlan plan;
  for (const StagingFolder& folder : folders) plan.unchanged[folder.archive];
  if (!options.changedOnly) return plan;
  // The file system's clock at the start, read on the run's own lock file
  // before any stamp is taken: later edits are told apart against it. A dry
  // run leaves no record.
  long long now = 0;
  if (!options.dryRun && readClock(&now, tally)) plan.startedAt = now;
  // All taken before anything is packed or replayed: a change made while the
  // run goes on shows as one to the next run.
  for (const StagingFolder& folder : folders) {
    plan.stamps[folder.archive] = stampFiles(folder.lister);
  }
  plan.deleteList = stampOf(deleteListPath);
  ChangeRecord previous;
  if (!readChangeRecord(names::kRecordFile, &previous)) {
    // Without a record that can be read, nothing can be vouched for.
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
  for (const StagingFolder& folder : folders) {
    const std::string& archive = folder.archive;
    const std::set<std::string>& unchanged = plan.unchanged[archive] =
        unchangedFiles(previous, archive, stampOf(archivePath(archive)), plan.deleteList,
                       plan.stamps[archive]);
    skipped += unchanged.size();
    nothingToPack = nothingToPack && !folder.lister.unreadable() &&
                    countFiles(folder.lister, "*", false) == static_cast<int>(unchanged.size());
  }
  plan.nothingToDo = nothingToPack && upToDate(previous, folders, plan.deleteList);
  const std::string files =
      std::to_string(skipped) + " unchanged staged file" + (skipped == 1 ? "" : "s");
  plan.note = options.dryRun ? "would skip " + files : "Skipping " + files;
  return plan;
}

void finishChanges(const ChangePlan& plan,
                   const std::map<std::string, std::vector<std::string>>& added,
                   const std::set<std::string>& listArchives, CommandTally* tally) {
  long long now = 0;
  if (!plan.startedAt || !readClock(&now, tally)) return;
  ChangeRecord record;
  record.startedAt = *plan.startedAt;
  for (const auto& [archive, stamps] : plan.stamps) {
    auto packed = added.find(archive);
    vouchFor(archive, plan.unchanged.at(archive),
             packed == added.end() ? std::vector<std::string>() : packed->second, stamps, now,
             &record);
  }
  record.deleteList = plan.deleteList;
  for (const std::string& archive : listArchives) {
    if (archive != names::kMainArchive && archive != names::kSecondArchive) {
      record.listNamedOtherArchives = true;
    }
  }
  flushOut();
  record.failed = tally->failed + (outputError().empty() ? 0 : 1);
  std::string error;
  if (!writeChangeRecord(names::kRecordFile, record, &error)) {
    writeError(std::string("cannot write the record of packed files ") + names::kRecordFile +
               ": " + printable(error));
    countCommand(tally, false);
  }
}
