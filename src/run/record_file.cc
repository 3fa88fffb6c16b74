#include "run/record_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// Stamps grew the file's identity in 2; 3 tells whether the delete list
// named other archives, which a record of 2 does not say.
const char kHeading[] = "zt-rebuild record 3";

// A name is the rest of its line: only the line end and the escape itself
// need escaping.
void appendEscaped(std::string* text, const std::string& name) {
  for (char c : name) {
    if (c == '\\' || c == '\n' || c == '\r') *text += '\\';
    *text += c == '\n' ? 'n' : c == '\r' ? 'r' : c;
  }
}

bool unescaped(std::string_view text, std::string* name) {
  name->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\') {
      if (++i == text.size() || std::string_view("\\nr").find(text[i]) == std::string_view::npos) {
        return false;
      }
      c = text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : '\\';
    }
    *name += c;
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

// `value` as the next field of a record line, after the space that ends the
// field before it.
template <typename Number>
void appendField(std::string* text, Number value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  *text += ' ';
  text->append(digits, static_cast<size_t>(end - digits));
}

void appendStamp(std::string* text, const platform::FileStamp& stamp) {
  appendField(text, stamp.size);
  appendField(text, stamp.writeTime);
  appendField(text, stamp.changeTime);
  appendField(text, stamp.volume);
  appendField(text, stamp.index);
}

// No line of a record is longer: a longer one means the file is not a
// record.
const size_t kLongestLine = 64 * 1024;

// On a file system that stamps whole seconds (or two), an archive changed
// after the run, in the tick its stamp was taken, would keep that stamp. So
// the record is put in place only once the file system's clock, read on the
// record's own file, has passed every archive and delete-list stamp in it:
// at once where the clock is fine, within a tick where it is coarse. A stamp
// ahead of the clock is never waited for: the record holds no archive with
// one, and a delete list with one dates from no tick before the run started,
// so the next run skips nothing on its account.
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

// The record as a file holds it.
std::string recordText(const ChangeRecord& record) {
  size_t files = 0;
  for (const auto& entry : record.files) files += entry.second.size();
  std::string text;
  text.reserve(256 + files * 96);
  text += kHeading;
  text += "\nstarted";
  appendField(&text, record.startedAt);
  text += '\n';
  for (const auto& [archive, stamp] : record.archives) {
    text += "archive " + archive;
    appendStamp(&text, stamp);
    text += '\n';
  }
  if (record.deleteList) {
    text += "deletelist";
    appendStamp(&text, *record.deleteList);
    text += '\n';
  }
  if (record.listNamedOtherArchives) text += "otherarchives\n";
  for (const auto& [archive, names] : record.files) {
    for (const auto& [name, stamp] : names) {
      text += "file " + archive;
      appendStamp(&text, stamp);
      text += ' ';
      appendEscaped(&text, name);
      text += '\n';
    }
  }
  if (record.failed) {
    text += "failed";
    appendField(&text, *record.failed);
    text += '\n';
  }
  text += "end";
  appendField(&text, files);
  text += '\n';
  return text;
}

}  // namespace

bool stampedAhead(const platform::FileStamp& stamp, long long now) {
  return stamp.writeTime > now || stamp.changeTime > now;
}

bool readChangeRecord(const std::string& path, ChangeRecord* record) {
  *record = ChangeRecord();
  // Only a regular file: a pipe there would keep the run waiting.
  if (!platform::whereItLeads(path).stamp) return false;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream read;
  if (!file || !(read << file.rdbuf())) return false;
  const std::string text = read.str();
  const std::string heading = std::string(kHeading) + "\n";
  if (text.compare(0, heading.size(), heading) != 0) return false;
  std::string_view rest = std::string_view(text).substr(heading.size());
  // File lines come archive by archive.
  std::string_view lastArchive;
  RecordedFiles* archiveFiles = nullptr;
  while (!rest.empty()) {
    const size_t lineEnd = rest.find('\n');
    if (lineEnd == std::string_view::npos || lineEnd > kLongestLine) return false;
    Fields fields{rest.substr(0, lineEnd)};
    rest.remove_prefix(lineEnd + 1);
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
    } else if (kind == "failed") {
      record->failed.emplace();
      if (!fields.number(&*record->failed)) return false;
    } else if (kind != "end") {
      return false;
    }
  }
  // The last line counts the files: a record cut short is no record. Only
  // the program writes records, and it writes each one way: one that is
  // written otherwise (a count that does not add up, a number with a
  // leading zero, a line twice or out of its place, more after its end)
  // has been changed by hand or damaged.
  return record->startedAt != 0 && text == recordText(*record);
}

bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error) {
  const std::string text = recordText(record);
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
