#include "run/change_record.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/text.h"
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
void appendEscaped(std::string* text, const std::string& name) {
  for (char c : name) {
    if (c == '\\') {
      *text += "\\\\";
    } else if (c == '\n') {
      *text += "\\n";
    } else if (c == '\r') {
      *text += "\\r";
    } else {
      *text += c;
    }
  }
}

bool unescaped(std::string_view text, std::string* name) {
  if (text.find('\\') == std::string_view::npos) {
    name->assign(text);
    return !name->empty();
  }
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

// A record line's fields, each ended by one space or by the line's end.
struct Fields {
  std::string_view rest;

  bool word(std::string_view* field) {
    if (rest.empty()) return false;
    const size_t end = std::min(rest.find(' '), rest.size());
    *field = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return !field->empty();
  }

  template <typename Number>
  bool number(Number* value) {
    std::string_view field;
    if (!word(&field)) return false;
    const char* end = field.data() + field.size();
    const std::from_chars_result read = std::from_chars(field.data(), end, *value);
    return read.ec == std::errc() && read.ptr == end;
  }

  bool stamp(platform::FileStamp* stamp) {
    return number(&stamp->size) && number(&stamp->writeTime) && number(&stamp->changeTime) &&
           number(&stamp->volume) && number(&stamp->index);
  }
};

template <typename Number>
void appendNumber(std::string* text, Number value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text->append(digits, static_cast<size_t>(end - digits));
}

void appendStamp(std::string* text, const platform::FileStamp& stamp) {
  appendNumber(text, stamp.size);
  *text += ' ';
  appendNumber(text, stamp.writeTime);
  *text += ' ';
  appendNumber(text, stamp.changeTime);
  *text += ' ';
  appendNumber(text, stamp.volume);
  *text += ' ';
  appendNumber(text, stamp.index);
}

// No line of a record is longer: a longer one, or one cut short, means the
// file is not a record, and reading it stops there.
const size_t kLongestLine = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads a record a block at a time and hands out its lines, each without its
// line feed, valid until the next is asked for.
class RecordLines {
 public:
  explicit RecordLines(std::FILE* file) : file_(file) {}

  bool next(std::string_view* line) {
    for (;;) {
      const size_t end = buffer_.find('\n', start_);
      if (end != std::string::npos) {
        *line = std::string_view(buffer_).substr(start_, end - start_);
        start_ = end + 1;
        return line->size() <= kLongestLine;
      }
      if (buffer_.size() - start_ > kLongestLine || !readMore()) return false;
    }
  }

  // Whether nothing follows the lines handed out.
  bool atEnd() { return start_ == buffer_.size() && !readMore(); }

 private:
  bool readMore() {
    buffer_.erase(0, start_);
    start_ = 0;
    char block[64 * 1024];
    const size_t got = std::fread(block, 1, sizeof block, file_);
    buffer_.append(block, got);
    return got > 0;
  }

  std::FILE* file_;
  std::string buffer_;
  size_t start_ = 0;
};

char32_t upper(char c) { return platform::asciiUpper(static_cast<unsigned char>(c)); }

// Names in the order of their ASCII letters in upper case, as the tool
// tells entries apart: below 0, 0 or above 0.
int compareAnyCase(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Names hashed and compared in that way, without a copy of each.
struct AnyCaseHash {
  size_t operator()(std::string_view name) const {
    size_t hash = 14695981039346656037ULL;  // FNV-1a
    for (char c : name) hash = (hash ^ upper(c)) * 1099511628211ULL;
    return hash;
  }
};
struct AnyCaseEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return compareAnyCase(a, b) == 0;
  }
};

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

// Whether the run may vouch for `entry` of a staging folder's listing: a
// file it counts, not refused, which the listing could stamp.
bool vouchable(const platform::DirEntry& entry) {
  return isCountedFile(entry) && entry.refusal.empty() && entry.stamp.has_value();
}

// Which of the vouchable `entries`, by position, another one equals but for
// case: the tool keeps one entry for them all, whichever came last.
std::vector<bool> caseTwins(const std::vector<platform::DirEntry>& entries) {
  std::vector<bool> twins(entries.size());
  // In a listing in the order of names in any case, as a POSIX one is, twins
  // stand side by side; any other needs an index.
  const platform::DirEntry* last = nullptr;
  size_t lastAt = 0;
  bool inOrder = true;
  for (size_t i = 0; i < entries.size() && inOrder; ++i) {
    if (!vouchable(entries[i])) continue;
    const int order = last ? compareAnyCase(last->name, entries[i].name) : -1;
    if (order == 0) twins[lastAt] = twins[i] = true;
    inOrder = order <= 0;
    last = &entries[i];
    lastAt = i;
  }
  if (inOrder) return twins;
  twins.assign(entries.size(), false);
  std::unordered_map<std::string_view, size_t, AnyCaseHash, AnyCaseEqual> spellings;
  spellings.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!vouchable(entries[i])) continue;
    auto [seen, isNew] = spellings.emplace(entries[i].name, i);
    if (!isNew) twins[seen->second] = twins[i] = true;
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

// Adds to `record` what a run can vouch for in `archive` among the
// `entries` of its staging folder's listing: the files it passed over as
// `unchanged` and those the tool `added`, with the stamps the listing took,
// and the archive's stamp as the run leaves it, read `now` by the file
// system's clock. An archive stamped ahead of that clock is left out, and so
// are its files: the next run packs them again, and the tool's writes bring
// its stamp back.
void vouchFor(const std::string& archive, const std::vector<platform::DirEntry>& entries,
              const UnchangedFiles& unchanged, const std::vector<std::string>& added,
              long long now, ChangeRecord* record) {
  std::optional<platform::FileStamp> archiveNow = stampOf(archivePath(archive));
  if (!archiveNow || stampedAhead(*archiveNow, now)) return;
  record->archives[archive] = *archiveNow;
  const std::vector<bool> twins = caseTwins(entries);
  const std::unordered_set<std::string_view> packed(added.begin(), added.end());
  RecordedFiles& files = record->files[archive];
  for (size_t i = 0; i < entries.size(); ++i) {
    const platform::DirEntry& entry = entries[i];
    if (vouchable(entry) && !twins[i] && (unchanged[i] || packed.count(entry.name))) {
      files.emplace_back(entry.name, *entry.stamp);
    }
  }
}

}  // namespace

UnchangedFiles unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                              const std::optional<platform::FileStamp>& archiveNow,
                              const std::optional<platform::FileStamp>& deleteListNow,
                              const std::vector<platform::DirEntry>& entries) {
  UnchangedFiles unchanged(entries.size());
  auto left = previous.archives.find(archive);
  auto files = previous.files.find(archive);
  if (left == previous.archives.end() || archiveNow != left->second ||
      files == previous.files.end() || deleteListNow != previous.deleteList ||
      (previous.deleteList && !stampedBefore(*previous.deleteList, previous.startedAt))) {
    return unchanged;
  }
  const std::vector<bool> twins = caseTwins(entries);
  RecordedLookup recorded(files->second);
  for (size_t i = 0; i < entries.size(); ++i) {
    const platform::DirEntry& entry = entries[i];
    if (!vouchable(entry) || twins[i]) continue;
    const platform::FileStamp* packed = recorded.find(entry.name);
    unchanged[i] = packed && *packed == *entry.stamp &&
                   stampedBefore(*entry.stamp, previous.startedAt);
  }
  return unchanged;
}

bool readChangeRecord(const std::string& path, ChangeRecord* record) {
  *record = ChangeRecord();
  // Only a regular file: a pipe there would keep the run waiting.
  if (!stampOf(path)) return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  RecordLines lines(file.get());
  std::string_view line;
  if (!lines.next(&line) || line != kHeading) return false;
  size_t files = 0;
  // File lines come archive by archive.
  std::string_view lastArchive;
  RecordedFiles* archiveFiles = nullptr;
  while (lines.next(&line)) {
    Fields fields{line};
    std::string_view kind;
    fields.word(&kind);
    if (kind == "started") {
      if (!fields.number(&record->startedAt)) return false;
    } else if (kind == "archive") {
      std::string_view archive;
      if (!fields.word(&archive) || !fields.stamp(&record->archives[std::string(archive)])) {
        return false;
      }
    } else if (kind == "deletelist") {
      record->deleteList.emplace();
      if (!fields.stamp(&*record->deleteList)) return false;
    } else if (kind == "otherarchives") {
      record->listNamedOtherArchives = true;
    } else if (kind == "file") {
      std::string_view archive;
      std::string name;
      platform::FileStamp stamp;
      // The name is the rest of the line, spaces and all.
      if (!fields.word(&archive) || !fields.stamp(&stamp) || !unescaped(fields.rest, &name)) {
        return false;
      }
      if (!archiveFiles || archive != lastArchive) {
        auto added = record->files.try_emplace(std::string(archive)).first;
        lastArchive = added->first;
        archiveFiles = &added->second;
      }
      archiveFiles->emplace_back(std::move(name), stamp);
      ++files;
    } else if (kind == "failed") {
      record->failed.emplace();
      if (!fields.number(&*record->failed)) return false;
    } else if (kind == "end") {
      // The last line counts the files: a record cut short is no record.
      size_t counted;
      return fields.number(&counted) && fields.rest.empty() && counted == files &&
             record->startedAt != 0 && lines.atEnd();
    } else {
      return false;
    }
    if (!fields.rest.empty() && kind != "file") return false;
  }
  return false;
}

bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error) {
  size_t files = 0;
  for (const auto& entry : record.files) files += entry.second.size();
  std::string text;
  text.reserve(256 + files * 96);
  text += kHeading;
  text += "\nstarted ";
  appendNumber(&text, record.startedAt);
  text += '\n';
  for (const auto& [archive, stamp] : record.archives) {
    text += "archive " + archive + " ";
    appendStamp(&text, stamp);
    text += '\n';
  }
  if (record.deleteList) {
    text += "deletelist ";
    appendStamp(&text, *record.deleteList);
    text += '\n';
  }
  if (record.listNamedOtherArchives) text += "otherarchives\n";
  for (const auto& [archive, names] : record.files) {
    for (const auto& [name, stamp] : names) {
      text += "file " + archive + " ";
      appendStamp(&text, stamp);
      text += ' ';
      appendEscaped(&text, name);
      text += '\n';
    }
  }
  if (record.failed) {
    text += "failed ";
    appendNumber(&text, *record.failed);
    text += '\n';
  }
  text += "end ";
  appendNumber(&text, files);
  text += '\n';

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
  for (const StagingFolder& folder : folders) {
    plan.unchanged[folder.archive].resize(folder.lister.entries().size());
  }
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
    const UnchangedFiles& unchanged = plan.unchanged[archive] =
        unchangedFiles(previous, archive, stampOf(archivePath(archive)), plan.deleteList,
                       folder.lister.entries());
    const int passedOver = static_cast<int>(std::count(unchanged.begin(), unchanged.end(), true));
    skipped += passedOver;
    nothingToPack = nothingToPack && !folder.lister.unreadable() &&
                    countFiles(folder.lister, "*", false) == passedOver;
  }
  plan.nothingToDo = nothingToPack && upToDate(previous, folders, plan.deleteList);
  const std::string files =
      std::to_string(skipped) + " unchanged staged file" + (skipped == 1 ? "" : "s");
  plan.note = options.dryRun ? "would skip " + files : "Skipping " + files;
  return plan;
}

void finishChanges(const ChangePlan& plan, const std::vector<StagingFolder>& folders,
                   const std::map<std::string, std::vector<std::string>>& added,
                   const std::set<std::string>& listArchives, CommandTally* tally) {
  long long now = 0;
  if (!plan.startedAt || !readClock(&now, tally)) return;
  ChangeRecord record;
  record.startedAt = *plan.startedAt;
  for (const StagingFolder& folder : folders) {
    auto packed = added.find(folder.archive);
    vouchFor(folder.archive, folder.lister.entries(), plan.unchanged.at(folder.archive),
             packed == added.end() ? std::vector<std::string>() : packed->second, now, &record);
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
