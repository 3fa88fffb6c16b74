// pack: a small archive tool that stands in for the game's own. One command
// per call: add files, delete entries, optimize, list, extract or verify.
// Each action prints one short line on stdout; errors go to stderr.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive.h"
#include "fold_case.h"
#include "lock.h"
#include "printable.h"

namespace {

const char kUsage[] =
    "usage: pack ARCHIVE FILE [FILE ...] /force   add files (replacing entries of that name)\n"
    "       pack ARCHIVE FILE [FILE ...]          add files that are not there yet\n"
    "       pack ARCHIVE /del NAME [NAME ...]     remove entries\n"
    "       pack ARCHIVE /opt                     rewrite the archive without dead space\n"
    "       pack ARCHIVE /list                    list entries and their sizes\n"
    "       pack ARCHIVE /extract NAME DEST       write an entry's bytes to DEST\n"
    "       pack ARCHIVE /verify                  check every entry's checksum\n"
    "Switches may stand anywhere after ARCHIVE, in any letter case. Entry names\n"
    "compare case-insensitively. Exit status: 0 success, 1 failure, 2 usage.\n";

enum class Action { Add, Delete, Optimize, List, Extract, Verify };

struct Command {
  std::string archive;
  Action action = Action::Add;
  bool force = false;
  std::vector<std::string> words;  // files or names
};

// Why standard output first failed, if it did: a report that never reached
// its file (a full disk under `>> log`) fails the command.
std::string outputFailure;

// Notes why standard output failed when `failed` says its last call did.
void noteOutput(bool failed) {
  if (failed && outputFailure.empty()) {
    outputFailure = errno ? std::strerror(errno) : "it was not written";
  }
}

void writeOut(const std::string& text) {
  errno = 0;
  noteOutput(std::fwrite(text.data(), 1, text.size(), stdout) != text.size());
}

// One line of the report on stdout, and one message on stderr. Names in them
// are shown as printable() does.
void say(const std::string& line) { writeOut(printable(line) + "\n"); }
void warn(const std::string& message) {
  std::fprintf(stderr, "pack: %s\n", printable(message).c_str());
}

int usageError(const char* problem) {
  std::fprintf(stderr, "pack: %s\n%s", problem, kUsage);
  return 2;
}

// 0 when the command line is well formed, else the exit status to end with.
int parse(int argc, char** argv, Command* command) {
  if (argc < 2) return usageError("no archive given");
  command->archive = argv[1];
  if (command->archive.empty()) return usageError("the archive name is empty");
  bool haveAction = false;
  for (int i = 2; i < argc; ++i) {
    const std::string word = foldCase(argv[i]);
    Action action;
    if (word == "/force") {
      command->force = true;
      continue;
    } else if (word == "/del") {
      action = Action::Delete;
    } else if (word == "/opt") {
      action = Action::Optimize;
    } else if (word == "/list") {
      action = Action::List;
    } else if (word == "/extract") {
      action = Action::Extract;
    } else if (word == "/verify") {
      action = Action::Verify;
    } else {
      command->words.push_back(argv[i]);
      continue;
    }
    if (haveAction && command->action != action) return usageError("more than one action given");
    command->action = action;
    haveAction = true;
  }
  const size_t n = command->words.size();
  switch (command->action) {
    case Action::Add:
      if (n == 0) return usageError("no file to add");
      break;
    case Action::Delete:
      if (n == 0) return usageError("no entry to delete");
      break;
    case Action::Extract:
      if (n != 2) return usageError("/extract takes an entry name and a destination");
      break;
    default:
      if (n != 0) return usageError("unexpected words after the switch");
  }
  if (command->force && command->action != Action::Add) {
    return usageError("/force goes with adding files");
  }
  return 0;
}

int fail(const Command& command, const std::string& message) {
  warn(command.archive + ": " + message);
  return 1;
}

// Writes a new version of `path` into a temporary file beside it with
// `fill`, then renames it over `path` when that succeeds and removes it
// otherwise, so that the path holds either the old file or the complete new
// one. A leftover of a crash is removed first (the archive's lock makes it no
// running process's), and a link there is removed, never written through.
// The new file has `path`'s permissions from the start.
template <typename Fill>
bool writeBeside(const std::string& path, Fill fill, std::string* error) {
  const std::string temporary = path + ".pack-tmp";
  removeFile(temporary);
  std::string problem;
  bool ok = false;
  {
    FileHandle file(createFile(temporary, path, &problem));
    if (!file) {
      *error = "cannot create " + temporary + ": " + problem;
      return false;
    }
    ok = fill(&file, error);
  }  // closed before the rename: Windows will not replace an open file
  if (ok && !replaceFile(temporary, path, &problem)) {
    *error = "cannot rename " + temporary + " to " + path + ": " + problem;
    ok = false;
  }
  // The folder is flushed, so that the rename outlasts a power cut.
  if (ok) syncFolder(path);
  if (!ok) removeFile(temporary);
  return ok;
}

// Writes a new archive at `path` with `fill`.
template <typename Fill>
bool writeArchiveBeside(const std::string& path, Fill fill, std::string* error) {
  return writeBeside(
      path,
      [&](FileHandle* file, std::string* fillError) {
        Archive fresh;
        startArchive(file->release(), &fresh);
        return fill(&fresh, fillError);
      },
      error);
}

int add(const Command& command, const std::string& path, bool exists, Archive* archive) {
  std::string error;
  int failures = 0;
  std::vector<std::string> lines;
  auto addAll = [&](Archive* target, std::string* writeError) {
    std::vector<Entry> entries = target->entries;
    for (const std::string& source : command.words) {
      const std::string name = baseName(source);
      if (name.empty() || name.size() > kLongestName) {
        warn(source + ": not a file name");
        ++failures;
        continue;
      }
      int existing = findEntry(entries, name);
      if (existing >= 0 && !command.force) {
        warn(command.archive + ": " + entries[existing].name +
             " is already there (add /force to replace it)");
        ++failures;
        continue;
      }
      Entry entry;
      std::string problem;
      AppendResult result = appendFile(target, source, name, &entry, &problem);
      if (result == AppendResult::ArchiveFailed) {
        *writeError = problem;
        return false;
      }
      if (result == AppendResult::SourceFailed) {
        warn(problem);
        ++failures;
        continue;
      }
      lines.push_back((existing >= 0 ? "replaced " : "added ") + name + " (" +
                      std::to_string(entry.size) + " bytes)");
      if (existing >= 0) {
        entries[existing] = entry;
      } else {
        entries.push_back(entry);
      }
    }
    // Nothing to show: an existing archive stays as it was, a new one is
    // not made.
    if (lines.empty()) return exists;
    return commit(target, entries, writeError);
  };
  bool ok = exists ? addAll(archive, &error) : writeArchiveBeside(path, addAll, &error);
  if (!ok && !error.empty()) return fail(command, error);
  for (const std::string& line : lines) {
    say(command.archive + ": " + line);
  }
  return failures ? 1 : 0;
}

int deleteEntries(const Command& command, Archive* archive) {
  std::vector<Entry> entries = archive->entries;
  std::string removed, absent;
  for (const std::string& name : command.words) {
    int at = findEntry(entries, name);
    std::string& list = at >= 0 ? removed : absent;
    list += (list.empty() ? "" : " ") + name;
    if (at >= 0) entries.erase(entries.begin() + at);
  }
  std::string error;
  bool ok = removed.empty() || commit(archive, entries, &error);
  if (!ok) return fail(command, error);
  // Delete lists are replayed on every run: an entry that is gone already is
  // not an error.
  say(command.archive + ": deleted " + (removed.empty() ? "nothing" : removed) +
      (absent.empty() ? "" : "; not there: " + absent));
  return 0;
}

int optimize(const Command& command, const std::string& path, Archive* archive) {
  const size_t count = archive->entries.size();
  uint64_t before = archive->header.end, after = 0;
  std::string error;
  bool ok = writeArchiveBeside(
      path,
      [&](Archive* fresh, std::string* writeError) {
        std::vector<Entry> entries;
        {
          // Taken over here, so that it is closed before the rename: Windows
          // will not replace an open file.
          Archive old = std::move(*archive);
          for (const Entry& source : old.entries) {
            entries.emplace_back();
            if (!appendEntry(fresh, &old, source, &entries.back(), writeError)) return false;
          }
        }
        bool committed = commit(fresh, entries, writeError);
        after = fresh->header.indexOffset + fresh->header.indexSize;
        return committed;
      },
      &error);
  if (!ok) return fail(command, error);
  say(command.archive + ": optimized, " + std::to_string(count) + " entries, " +
      std::to_string(before) + " -> " + std::to_string(after) + " bytes");
  return 0;
}

int list(const Archive& archive) {
  for (const Entry& entry : archive.entries) {
    say(entry.name + " " + std::to_string(entry.size));
  }
  return 0;
}

int extract(const Command& command, const std::string& path, Archive* archive) {
  const std::string& name = command.words[0];
  const std::string& destination = command.words[1];
  int at = findEntry(archive->entries, name);
  if (at < 0) return fail(command, "no entry " + name);
  // Written beside the destination and renamed into place: a damaged entry
  // leaves no partial file, and the archive is never the file truncated.
  const std::string target = resolveLinks(destination);
  if (sameFile(target, path) || sameFile(target, path + ".lock")) {
    return fail(command, "will not write over the archive or its lock file: " + destination);
  }
  // Only a file is replaced: a rename would put one in place of a device
  // (/dev/null), a pipe or an empty folder.
  std::string problem;
  if (!replaceableByFile(target, &problem)) {
    return fail(command, "will not write over " + destination + ": " + problem);
  }
  std::string error;
  auto fill = [&](FileHandle* out, std::string* fillError) {
    uint64_t written = 0;
    const std::string cannotWrite = "cannot write " + target + ".pack-tmp: ";
    const bool whole = readEntry(
        archive, archive->entries[at],
        [&](const char* data, size_t size) {
          if (!writeAt(out->get(), written, data, size, &problem)) {
            *fillError = cannotWrite + problem;
            return false;
          }
          written += size;
          return true;
        },
        fillError);
    if (!whole) return false;
    if (!syncFile(out->get(), &problem)) {
      *fillError = cannotWrite + problem;
      return false;
    }
    return true;
  };
  if (!writeBeside(target, fill, &error)) return fail(command, error);
  say(command.archive + ": extracted " + name + " to " + destination);
  return 0;
}

int verify(const Command& command, Archive* archive) {
  int damaged = 0;
  for (const Entry& entry : archive->entries) {
    std::string problem;
    if (!readEntry(
            archive, entry, [](const char*, size_t) { return true; }, &problem)) {
      warn(command.archive + ": " + problem);
      ++damaged;
    }
  }
  if (damaged) return 1;
  say(command.archive + ": verified " + std::to_string(archive->entries.size()) + " entries");
  return 0;
}

// Runs the command under the archive's lock: exclusive for a change, shared
// for reading, so that processes using one archive take turns.
int run(const Command& command) {
  // A link's target is the archive: it is locked and replaced, not the link.
  const std::string path = resolveLinks(command.archive);
  const bool reads = command.action == Action::List || command.action == Action::Extract ||
                     command.action == Action::Verify;
  // Only an add makes an archive: nor is a lock file made beside one that
  // is not there.
  if (command.action != Action::Add && !pathExists(path)) {
    return fail(command, "no such archive");
  }
  ArchiveLock lock;
  std::string error;
  auto waiting = [&] { warn(command.archive + ": waiting for another process to finish with it"); };
  if (!lock.take(path, reads, waiting, &error)) return fail(command, error);
  Archive archive;
  const bool exists = command.action != Action::Add || pathExists(path);
  const bool inPlace = command.action == Action::Add || command.action == Action::Delete;
  if (exists && !openArchive(path, inPlace ? OpenMode::Update : OpenMode::Read, &archive, &error)) {
    return fail(command, error);
  }
  switch (command.action) {
    case Action::Add: return add(command, path, exists, &archive);
    case Action::Delete: return deleteEntries(command, &archive);
    case Action::Optimize: return optimize(command, path, &archive);
    case Action::List: return list(archive);
    case Action::Extract: return extract(command, path, &archive);
    case Action::Verify: return verify(command, &archive);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (argc == 2 && std::strcmp(argv[1], "/?") == 0) {
    writeOut(kUsage);
  } else {
    Command command;
    status = parse(argc, argv, &command);
    if (status == 0) status = run(command);
  }
  errno = 0;
  noteOutput(std::fflush(stdout) != 0);
  if (outputFailure.empty()) return status;
  std::fprintf(stderr, "pack: cannot write to standard output: %s\n", outputFailure.c_str());
  return status ? status : 1;
}
