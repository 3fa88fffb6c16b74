// pack: a small archive tool that stands in for the game's own. One command
// per call: add files, delete entries, optimize, list, extract or verify.
// Each action prints one short line on stdout; errors go to stderr.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
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

struct Action;

struct Command {
  std::string archive;
  const Action* action = nullptr;
  bool force = false;
  std::vector<std::string> words;  // files or names
};

// What a command takes, how it locks and opens the archive, and what it does.
struct Action {
  const char* word;  // its switch; adding has none
  size_t fewestWords, mostWords;
  const char* wrongWords;  // the usage error when there are more or fewer
  bool shared;             // shares the lock with other readers
  OpenMode mode;           // how an archive that is there is opened
  int (*perform)(const Command& command, const std::string& path, Archive* archive);
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
  FileHandle file(createFile(temporary, path, &problem));
  if (!file) {
    *error = "cannot create " + temporary + ": " + problem;
    return false;
  }
  bool ok = fill(&file, error);
  file.reset();  // closed before the rename: Windows will not replace an open file
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

int add(const Command& command, const std::string& path, Archive* archive) {
  const bool exists = archive->file != nullptr;
  std::string error;
  int failures = 0;
  std::vector<std::string> lines;
  auto addAll = [&](Archive* target, std::string* writeError) {
    std::vector<Entry> entries = target->entries;
    for (const std::string& source : command.words) {
      const std::string name = baseName(source);
      const int existing = findEntry(entries, name);
      Entry entry;
      std::string problem;
      AppendResult result = AppendResult::SourceFailed;
      if (name.empty() || name.size() > kLongestName) {
        problem = source + ": not a file name";
      } else if (existing >= 0 && !command.force) {
        problem = command.archive + ": " + entries[existing].name +
                  " is already there (add /force to replace it)";
      } else {
        result = appendFile(target, source, name, &entry, &problem);
      }
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

int deleteEntries(const Command& command, const std::string&, Archive* archive) {
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

int list(const Command&, const std::string&, Archive* archive) {
  for (const Entry& entry : archive->entries) {
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
    auto write = [&](const char* data, size_t size) {
      const bool ok = writeAt(out->get(), written, data, size, &problem);
      written += size;
      return ok;
    };
    if (readEntry(archive, archive->entries[at], write, fillError) &&
        syncFile(out->get(), &problem)) {
      return true;
    }
    // What the reading found is said already; a failed write or flush is not.
    if (fillError->empty()) *fillError = "cannot write " + target + ".pack-tmp: " + problem;
    return false;
  };
  if (!writeBeside(target, fill, &error)) return fail(command, error);
  say(command.archive + ": extracted " + name + " to " + destination);
  return 0;
}

int verify(const Command& command, const std::string&, Archive* archive) {
  int damaged = 0;
  for (const Entry& entry : archive->entries) {
    std::string problem;
    if (!readEntry(archive, entry, [](const char*, size_t) { return true; }, &problem)) {
      warn(command.archive + ": " + problem);
      ++damaged;
    }
  }
  if (damaged) return 1;
  say(command.archive + ": verified " + std::to_string(archive->entries.size()) + " entries");
  return 0;
}

const char kNoWords[] = "unexpected words after the switch";
const size_t kAny = SIZE_MAX;
const Action kActions[] = {
    {nullptr, 1, kAny, "no file to add", false, OpenMode::Update, add},
    {"/del", 1, kAny, "no entry to delete", false, OpenMode::Update, deleteEntries},
    {"/opt", 0, 0, kNoWords, false, OpenMode::Read, optimize},
    {"/list", 0, 0, kNoWords, true, OpenMode::Read, list},
    {"/extract", 2, 2, "/extract takes an entry name and a destination", true, OpenMode::Read,
     extract},
    {"/verify", 0, 0, kNoWords, true, OpenMode::Read, verify},
};
const Action* const kAdd = &kActions[0];

// 0 when the command line is well formed, else the exit status to end with.
int parse(int argc, char** argv, Command* command) {
  if (argc < 2) return usageError("no archive given");
  command->archive = argv[1];
  if (command->archive.empty()) return usageError("the archive name is empty");
  for (int i = 2; i < argc; ++i) {
    const std::string word = foldCase(argv[i]);
    const Action* action = std::find_if(std::begin(kActions), std::end(kActions),
                                        [&](const Action& a) { return a.word && word == a.word; });
    if (word == "/force") {
      command->force = true;
    } else if (action == std::end(kActions)) {
      command->words.push_back(argv[i]);
    } else if (command->action && command->action != action) {
      return usageError("more than one action given");
    } else {
      command->action = action;
    }
  }
  if (!command->action) command->action = kAdd;
  const size_t n = command->words.size();
  if (n < command->action->fewestWords || n > command->action->mostWords) {
    return usageError(command->action->wrongWords);
  }
  if (command->force && command->action != kAdd) {
    return usageError("/force goes with adding files");
  }
  return 0;
}

// Runs the command under the archive's lock: exclusive for a change, shared
// for reading, so that processes using one archive take turns.
int run(const Command& command) {
  // A link's target is the archive: it is locked and replaced, not the link.
  const std::string path = resolveLinks(command.archive);
  // Only an add makes an archive: nor is a lock file made beside one that
  // is not there.
  if (command.action != kAdd && !pathExists(path)) {
    return fail(command, "no such archive");
  }
  FileHandle lock;
  std::string error;
  auto waiting = [&] { warn(command.archive + ": waiting for another process to finish with it"); };
  if (!lockArchive(path, command.action->shared, waiting, &lock, &error)) {
    return fail(command, error);
  }
  Archive archive;
  const bool exists = command.action != kAdd || pathExists(path);
  if (exists && !openArchive(path, command.action->mode, &archive, &error)) {
    return fail(command, error);
  }
  return command.action->perform(command, path, &archive);
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
