#include "run/change_record.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "scan/count_files.h"
#include "tool/command_line.h"

const char kChangeRecordFile[] = "zt-rebuild-record.txt";

namespace {

const char kHeading[] = "zt-rebuild record 1";

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
  return static_cast<bool>(words >> stamp->size >> stamp->writeTime);
}

// The archive's path from the game root, the working directory.
std::string archivePath(const std::string& archive) {
  return localPath(dialectFor(platform::nativeShell(), false), "expansion\\zt\\" + archive);
}

std::set<std::string> unchangedFiles(const ChangeRecord& previous, const std::string& archive,
                                     const std::optional<platform::FileStamp>& archiveNow,
                                     const std::optional<platform::FileStamp>& deleteListNow,
                                     const std::map<std::string, platform::FileStamp>& stamps) {
  std::set<std::string> unchanged;
  auto left = previous.archives.find(archive);
  if (left == previous.archives.end() || archiveNow != left->second ||
      deleteListNow != previous.deleteList) {
    return unchanged;
  }
  std::map<std::string, int> spellings;
  for (const auto& entry : stamps) ++spellings[upper(entry.first)];
  for (const auto& [name, stamp] : stamps) {
    auto packed = previous.files.find({archive, name});
    if (packed != previous.files.end() && packed->second == stamp &&
        stamp.writeTime < previous.startedAt && spellings[upper(name)] == 1) {
      unchanged.insert(name);
    }
  }
  return unchanged;
}

}  // namespace

bool readChangeRecord(const std::string& path, ChangeRecord* record) {
  *record = ChangeRecord();
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != kHeading) return false;
  size_t files = 0;
  while (std::getline(in, line)) {
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
    } else if (kind == "file") {
      std::string archive, name;
      platform::FileStamp stamp;
      if (!(words >> archive) || !readStamp(words, &stamp) || words.get() != ' ') return false;
      std::string rest;
      std::getline(words, rest);
      if (!unescaped(rest, &name)) return false;
      record->files[{archive, name}] = stamp;
      ++files;
    } else if (kind == "end") {
      // The last line counts the files: a record cut short is no record.
      size_t counted;
      return (words >> counted) && counted == files && record->startedAt != 0 &&
             !std::getline(in, line);
    } else {
      return false;
    }
  }
  return false;
}

bool writeChangeRecord(const std::string& path, const ChangeRecord& record, std::string* error) {
  std::ostringstream out;
  out << kHeading << "\n" << "started " << record.startedAt << "\n";
  for (const auto& [archive, stamp] : record.archives) {
    out << "archive " << archive << " " << stamp.size << " " << stamp.writeTime << "\n";
  }
  if (record.deleteList) {
    out << "deletelist " << record.deleteList->size << " " << record.deleteList->writeTime
        << "\n";
  }
  for (const auto& [key, stamp] : record.files) {
    out << "file " << key.first << " " << stamp.size << " " << stamp.writeTime << " "
        << escaped(key.second) << "\n";
  }
  out << "end " << record.files.size() << "\n";
  const std::string text = out.str();
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    *error = temporary + ": " + std::strerror(errno);
    return false;
  }
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int writeErrno = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    writeErrno = errno;
  }
  if (!written) {
    *error = temporary + ": " + std::strerror(writeErrno);
    std::remove(temporary.c_str());
    return false;
  }
  return platform::replaceFile(temporary, path, error);
}

std::map<std::string, platform::FileStamp> stampFiles(const DirectoryLister& lister) {
  const char separator = platform::separatorOf(platform::nativeShell());
  std::map<std::string, platform::FileStamp> stamps;
  for (const platform::DirEntry& entry : lister.entries()) {
    platform::FileStamp stamp;
    if (!isCountedFile(entry)) continue;
    if (platform::fileStamp(lister.folder() + separator + entry.name, &stamp)) {
      stamps[entry.name] = stamp;
    }
  }
  return stamps;
}

std::optional<platform::FileStamp> stampOf(const std::string& path) {
  platform::FileStamp stamp;
  if (!platform::fileStamp(path, &stamp)) return std::nullopt;
  return stamp;
}

void skipUnchanged(const ChangeRecord& previous,
                   const std::optional<platform::FileStamp>& deleteList,
                   const std::map<std::string, platform::FileStamp>& stamps, PackingJob* job) {
  job->unchanged =
      unchangedFiles(previous, job->archive, stampOf(archivePath(job->archive)), deleteList, stamps);
}

void vouchFor(const PackingJob& job, const std::vector<std::string>& added,
              const std::map<std::string, platform::FileStamp>& stamps, ChangeRecord* record) {
  std::optional<platform::FileStamp> archiveNow = stampOf(archivePath(job.archive));
  if (!archiveNow) return;
  record->archives[job.archive] = *archiveNow;
  auto vouch = [&](const std::string& name) {
    auto stamp = stamps.find(name);
    if (stamp != stamps.end()) record->files[{job.archive, name}] = stamp->second;
  };
  for (const std::string& name : job.unchanged) vouch(name);
  for (const std::string& name : added) vouch(name);
}
