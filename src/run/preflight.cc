#include "run/preflight.h"

#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "run/arguments.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/fixed_names.h"

using platform::isSeparator;
using platform::Shell;

namespace {

// Splits the absolute `path` into the folder that holds it and its last
// name, trailing separators dropped. The parent is empty at the top.
void splitLast(Shell shell, const std::string& path, std::string* parent, std::string* name) {
  size_t end = path.size();
  while (end > 0 && isSeparator(shell, path[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !isSeparator(shell, path[start - 1])) --start;
  *name = path.substr(start, end - start);
  parent->clear();
  if (start == 0 || name->empty()) return;
  size_t parentEnd = start;
  while (parentEnd > 0 && isSeparator(shell, path[parentEnd - 1])) --parentEnd;
  // The top keeps its separator: "/" and "C:\".
  const bool top = parentEnd == 0 || (shell == Shell::Cmd && path[parentEnd - 1] == ':');
  *parent = path.substr(0, top ? parentEnd + 1 : parentEnd);
}

// Whether `folder` holds what only a modification folder holds.
bool holdsModContent(Shell shell, const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  std::string error;
  platform::listFolder(folder, &entries, &error);
  for (const platform::DirEntry& entry : entries) {
    for (const char* name : {names::kMainStaging, names::kSecondStaging, names::kMainArchive,
                             names::kSecondArchive, names::kDeleteList}) {
      if (sameName(shell, entry.name, name)) return true;
    }
  }
  return false;
}

// Why `folder`, which has no modification folder, is no game root, and
// which folder probably is.
std::string notAGameRoot(Shell shell, const std::string& folder) {
  const std::string modFolder = localPath(dialectFor(shell, false), names::kModFolder);
  // The folder and the three that hold it, each with its own name: above[i]
  // is i folders up, named name[i].
  std::string above[4] = {folder}, name[3];
  for (int i = 0; i < 3; ++i) splitLast(shell, above[i], &above[i + 1], &name[i]);
  const auto named = [&](int i, const char* expected) {
    return sameName(shell, name[i], expected);
  };
  if (named(0, names::kModFolderName) && named(1, names::kExpansionFolder) && !above[2].empty()) {
    return folder + " is the modification folder, not a game root: give the game root, " +
           "which holds it, probably " + typedForm(shell, above[2]);
  }
  if ((named(0, names::kMainStaging) || named(0, names::kSecondStaging)) &&
      named(1, names::kModFolderName) && named(2, names::kExpansionFolder) && !above[3].empty()) {
    return folder + " is a staging folder, not a game root: give the game root, which holds " +
           "it in " + modFolder + ", probably " + typedForm(shell, above[3]);
  }
  if (named(0, names::kExpansionFolder) && !above[1].empty() &&
      platform::isFolder(pathInGameRoot(folder, names::kModFolderName))) {
    return folder + " is the expansion folder, not a game root: give the game root, " +
           "probably " + typedForm(shell, above[1]);
  }
  if (holdsModContent(shell, folder)) {
    return folder + " looks like a modification folder, not a game root: give the game " +
           "root, the folder that holds the modification folder as " + modFolder;
  }
  return folder + " is not a game root: it has no modification folder " + modFolder +
         " (which holds the staging folders " + names::kMainStaging + " and " +
         names::kSecondStaging + "); give the folder the game is installed in";
}

}  // namespace

bool isGameRoot(const std::string& gameRoot) {
  const std::string modFolder = pathInGameRoot(gameRoot, names::kModFolder);
  if (platform::isFolder(modFolder)) return true;
  writeError(printable(notAGameRoot(platform::nativeShell(), gameRoot)));
  return false;
}

bool findsTheTool(const std::string& gameRoot) {
  const Shell shell = platform::nativeShell();
  // As the interpreter finds it: in the working directory, the game root,
  // where the sh dialect then names it ./pack; else along the search path.
  const std::string tool = toolFileName(shell);
  if (platform::isRunnableFile(tool) || platform::findProgram(tool)) return true;
  // There, but without the mode that lets it run (only POSIX files have one).
  if (platform::whereItLeads(tool).stamp) {
    writeError("the archive tool " + tool + " in the game root " + printable(gameRoot) +
               " cannot be run: make it executable (chmod +x " + tool + ")");
    return false;
  }
  writeError("the archive tool " + tool + " is neither in the game root " + printable(gameRoot) +
             " nor on the search path (PATH): put it in the game root; for real archives it "
             "must be the game's own archive tool");
  return false;
}

bool isOwnFile(const std::string& ownPath, const platform::Destination& where) {
  return where.kind == platform::EntryKind::File && platform::liesWithin(where.path, ownPath) &&
         platform::liesWithin(ownPath, where.path);
}

bool logCanBeWritten(const std::string& logPath, const std::string& resolvedLogPath, bool dryRun) {
  const auto refuse = [&](const std::string& why) {
    writeError("the log " + printable(logPath) + why + "; nothing was done");
    return false;
  };
  std::string error;
  // Asked once, with every link followed: on Windows by opening it, so that
  // a Unix link under Wine is seen too.
  const platform::Destination where = platform::whereItLeads(logPath, &error);
  if (where.kind == platform::EntryKind::Unknown) {
    return refuse(" cannot be followed to where it leads (" + printable(error) +
                  "): remove it (a run starts a new log)");
  }
  const bool broken = where.kind == platform::EntryKind::BrokenLink;
  const bool nothing = broken || where.kind == platform::EntryKind::Nothing;
  switch (where.kind) {
    case platform::EntryKind::NullDevice: return true;
    case platform::EntryKind::Folder:
      return refuse(
          " is a folder, which the tool's output cannot be written to: remove or "
          "rename it");
    case platform::EntryKind::Pipe:
      // Writing to a pipe would wait for a reader forever.
      return refuse(" is a pipe, which would keep the run waiting");
    case platform::EntryKind::Other:
      return refuse(" is not a regular file: remove it (a run starts a new log)");
    default: break;
  }
  if (nothing ? broken : !isOwnFile(resolvedLogPath, where)) {
    // The interpreter's redirection would follow it, and write wherever it
    // leads: a file of the user's own, outside the game root.
    return refuse(
        " is a symbolic link: the tool's output would be written where it leads; "
        "remove the link (a run starts a new log)");
  }
  if (where.names > 1) {
    // The redirection would empty the file its other names share.
    return refuse(" has other names (hard links), which the run would empty too: delete " +
                  std::string(names::kLogFile) + " and run again");
  }
  if (platform::canAppendTo(logPath, !dryRun, &error)) return true;
  if (nothing) return refuse(" cannot be created: " + error);
  return refuse(" cannot be written: " + error + ": make it writable, or remove it");
}
