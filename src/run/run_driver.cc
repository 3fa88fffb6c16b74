#include "run/run_driver.h"

#include <algorithm>
#include <optional>
#include <set>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "run/change_plan.h"
#include "run/delete_list_pass.h"
#include "run/packing_pass.h"
#include "run/preflight.h"
#include "scan/count_files.h"
#include "scan/directory_lister.h"
#include "scan/leads_outside.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/fixed_names.h"
#include "tool/run_command.h"

namespace {

// The staging folders, each with the archive its files go into, in the order
// the run packs them.
struct Staging {
  const char* folder;
  const char* archive;
};
const Staging kStaging[] = {{names::kMainStaging, names::kMainArchive},
                            {names::kSecondStaging, names::kSecondArchive}};

// `path` without the separators typed at its end, but for the one that a
// top folder (/ or C:\) needs: "C:\My Game\" names the same folder as
// "C:\My Game", and the paths built on it get no doubled separator.
std::string withoutTrailingSeparators(const std::string& path) {
  size_t end = path.size();
  const platform::Shell shell = platform::nativeShell();
  const bool drive = shell == platform::Shell::Cmd && path.size() >= 2 && path[1] == ':';
  while (end > (drive ? 3 : 1) && platform::isSeparator(shell, path[end - 1])) --end;
  return path.substr(0, end);
}

std::string pathInModFolder(const std::string& gameRoot, const std::string& name) {
  return pathInGameRoot(gameRoot, modFolderPiece() + name);
}

// Whether every path the run builds on `gameRoot` fits the platform's file
// calls. Were the longest, the delete list's, not to, the folders below
// would only seem empty.
bool pathsBelowFit(const std::string& gameRoot, std::string* error) {
  const size_t longest = platform::longestPath();
  const size_t deleteList = ("\\" + modFolderPiece() + names::kDeleteList).size();
  if (longest == 0 || gameRoot.size() + deleteList <= longest) return true;
  *error = "the paths below it would be longer than the " + std::to_string(longest) +
           " characters that the file calls accept";
  return false;
}

// Held for the whole run, in the game root beside the log: two runs at once
// would interleave their commands on the same archives. It is a lock on an
// open file, so the system drops it when a run ends in any way; the file
// itself stays and blocks nothing.
bool lockGameRoot(const std::string& gameRoot, const std::string& resolvedLockPath,
                  platform::HeldLock* lock) {
  std::string error;
  const platform::LockStatus status = platform::lockFile(names::kLockFile, lock, &error);
  if (status == platform::LockStatus::Busy) {
    writeError("another run is using the game root " + printable(gameRoot) + "; nothing was done");
    return false;
  }
  if (status == platform::LockStatus::Held) {
    // Its stamps are set to read the clock: a file it shares with other
    // names, or one it leads to (seen on Windows only by opening it), would
    // have theirs moved.
    const platform::Destination where = platform::whereItLeads(names::kLockFile, &error);
    if (where.kind == platform::EntryKind::Unknown) {
      error = "it cannot be followed to where it leads (" + error + ")";
    } else if (!isOwnFile(resolvedLockPath, where)) {
      error = "it is a link or not a file: delete it and run again";
    } else if (where.names > 1) {
      error = "it has other names (hard links), whose file the run would change: delete " +
              std::string(names::kLockFile) + " and run again";
    } else {
      return true;
    }
    lock->reset();
    error = printable(error);
  }
  writeError("cannot lock the game root " + printable(gameRoot) + " (" + names::kLockFile +
             "): " + error);
  return false;
}

// Makes the game root the working directory and checks that a run may start
// there: returns the game root, made absolute, or nothing once stderr says
// why not. A real run holds `lock` from here on; a dry run writes nothing,
// so it needs none.
std::optional<std::string> enterGameRoot(const std::string& argument, const RunOptions& options,
                                         platform::HeldLock* lock) {
  // Made absolute first: every path below is built on it and must still name
  // the same place once the game root is the working directory.
  std::string gameRoot = argument;
  std::string error;
  const bool absolute = platform::absolutePath(argument, &gameRoot, &error);
  gameRoot = withoutTrailingSeparators(gameRoot);
  if (!absolute || !pathsBelowFit(gameRoot, &error) ||
      !platform::changeDirectory(gameRoot, &error)) {
    writeError("cannot enter the game root " + printable(gameRoot) + ": " + printable(error));
    hintAtQuotes(options);
    return std::nullopt;
  }
  if (!isGameRoot(gameRoot)) {
    hintAtQuotes(options);
    return std::nullopt;
  }
  noteIgnoredWords(options);
  if (!findsTheTool(gameRoot)) return std::nullopt;
  // Where the game root leads: the lock and the log must be its own files.
  const platform::Destination root = platform::whereItLeads(".", &error);
  if (root.kind != platform::EntryKind::Folder) {
    writeError("cannot enter the game root " + printable(gameRoot) + ": " + printable(error));
    return std::nullopt;
  }
  const std::string lockPath = pathInGameRoot(root.path, names::kLockFile);
  if (!options.dryRun && !lockGameRoot(gameRoot, lockPath, lock)) return std::nullopt;
  if (!logCanBeWritten(pathInGameRoot(gameRoot, names::kLogFile),
                       pathInGameRoot(root.path, names::kLogFile), options.dryRun)) {
    return std::nullopt;
  }
  return gameRoot;
}

// The modification folder as it resolves, which all that the run uses must
// lie in (see leads_outside.h); nothing once stderr says why it cannot be
// resolved.
std::optional<std::string> resolveModFolder(const std::string& gameRoot) {
  const std::string folder = pathInGameRoot(gameRoot, names::kModFolder);
  std::string error;
  const platform::Destination where = platform::whereItLeads(folder, &error);
  if (where.kind == platform::EntryKind::Folder) return where.path;
  if (error.empty()) error = "it is no longer a folder";
  writeError("cannot resolve the modification folder " + printable(folder) + ": " +
             printable(error));
  return std::nullopt;
}

// Each staging folder is read once, here: what is counted is what is packed.
// A folder that is there but cannot be read is named later, once --changed
// has read the clock. One whose archive or itself leads out of the
// modification folder is not read: nothing is packed from it.
std::vector<StagingFolder> readStagingFolders(const std::string& gameRoot,
                                              const std::string& modFolder, CommandTally* tally) {
  std::vector<StagingFolder> folders;
  for (const Staging& staging : kStaging) {
    const std::string folder = pathInModFolder(gameRoot, staging.folder);
    const std::string archive = pathInModFolder(gameRoot, staging.archive);
    const bool used = usableNow(modFolder, archive, UsedAs::Archive, "not used", tally) &&
                      usableNow(modFolder, folder, UsedAs::StagingFolder, "not packed", tally);
    StagingFolder& staged = folders.emplace_back();
    staged.archive = staging.archive;
    staged.archivePath = archive;
    if (used) staged.lister = DirectoryLister(folder);
  }
  return folders;
}

// A staging folder that is there but cannot be read stands for the commands
// that could not be run for its files.
void reportUnreadable(const DirectoryLister& folder, CommandTally* tally) {
  if (!folder.unreadable()) return;
  failStep("cannot read the staging folder " + printable(folder.folder()) + ": " + folder.error(),
           tally);
}

// How many files of each folder are packed: those not passed over as
// unchanged, numbered on from the folder before. Returns the run's total.
int planPacking(std::vector<StagingFolder>* folders) {
  int total = 0;
  for (StagingFolder& folder : *folders) {
    folder.files =
        countFiles(folder.lister, "*", false) -
        static_cast<int>(std::count(folder.unchanged.begin(), folder.unchanged.end(), true));
    folder.firstNumber = total + 1;
    total += folder.files;
  }
  return total;
}

// A modification with only a second archive has no main one to optimize:
// that is nothing to do, not a failure. A dry run cannot know whether the
// commands it shows would make one, so it shows the command. The archive is
// checked again here, as it is now: one that may not be used is a failure.
void optimizeMainArchive(const std::string& gameRoot, const std::string& modFolder,
                         const Dialect& dialect, CommandTally* tally) {
  const std::string mainArchive = pathInModFolder(gameRoot, names::kMainArchive);
  if (!usableNow(modFolder, mainArchive, UsedAs::Archive, "not optimized", tally)) return;
  if (tally->dryRun || platform::whereItLeads(mainArchive).kind != platform::EntryKind::Nothing) {
    runCommand(optimizeCommand(dialect), tally, printable(mainArchive) + ": not optimized");
  }
}

// A run that failed says so last, in place of "All done!", on stderr where a
// script looks for it. Returns the exit status.
int closeRun(const CommandTally& tally, const std::string& logPath) {
  flushOut();
  if (tally.failed == 0) return outputStatus();
  const std::string counts = std::to_string(tally.failed) + " of " + std::to_string(tally.commands);
  if (tally.dryRun) {
    writeError("the run would fail: " + counts + " commands would fail; see the errors above");
  } else {
    writeError("the run failed: " + counts +
               " commands failed; see the errors above, and the tool's output in " +
               printable(logPath));
  }
  outputStatus();
  return 1;
}

}  // namespace

int rebuildArchives(const std::string& gameRootArgument, const RunOptions& options) {
  platform::HeldLock lock;
  const std::optional<std::string> gameRoot = enterGameRoot(gameRootArgument, options, &lock);
  if (!gameRoot) return 1;
  const std::optional<std::string> modFolder = resolveModFolder(*gameRoot);
  if (!modFolder) return 1;
  const platform::Shell shell = platform::nativeShell();
  const Dialect dialect = dialectFor(shell, platform::isRunnableFile(toolFileName(shell)));
  const std::string logPath = pathInGameRoot(*gameRoot, names::kLogFile);
  const std::string deleteList = pathInModFolder(*gameRoot, names::kDeleteList);
  CommandTally tally;
  tally.dryRun = options.dryRun;
  // A dry run's standard output is only the command lines: it shows no
  // progress, and says on stderr what --changed passes over.
  auto showProgress = [&](const std::string& line) {
    if (!options.dryRun) writeLine(line);
  };

  std::vector<StagingFolder> folders = readStagingFolders(*gameRoot, *modFolder, &tally);
  const ChangePlan changes = planChanges(options, &folders, deleteList, &tally);
  for (const StagingFolder& folder : folders) reportUnreadable(folder.lister, &tally);
  if (changes.nothingToDo) {
    showProgress("Archives are up to date; nothing to do");
    if (options.dryRun) writeError("Archives are up to date; nothing would be done");
    flushOut();
    return outputStatus();
  }
  const int total = planPacking(&folders);
  if (!runCommand(startLogCommand(), &tally)) {
    writeError("cannot start the log " + printable(logPath) + "; the interpreter's error is above");
  }
  showProgress("Logging to: " + printable(logPath));
  showProgress("Packing resource files, please wait...");
  if (!changes.note.empty()) showProgress(changes.note);
  if (!changes.note.empty() && options.dryRun) writeError(changes.note);
  for (const StagingFolder& folder : folders) notePassedOver(folder.lister);
  for (StagingFolder& folder : folders) packFolder(&folder, total, *modFolder, dialect, &tally);
  showProgress("");
  showProgress("Done packing resource files");
  if (!options.dryRun) writeOut("Removing unused files (may take a minute or two)...");
  std::set<std::string> listArchives;
  replayDeleteList(deleteList, dialect, *modFolder, &tally, &listArchives);
  showProgress("done");
  showProgress("");
  showProgress("Optimizing pff...");
  optimizeMainArchive(*gameRoot, *modFolder, dialect, &tally);
  showProgress("");
  finishChanges(changes, folders, listArchives, &tally);
  if (tally.failed == 0) showProgress("All done!");
  return closeRun(tally, logPath);
}
