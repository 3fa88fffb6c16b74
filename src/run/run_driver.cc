#include "run/run_driver.h"

#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "run/change_record.h"
#include "run/delete_list_pass.h"
#include "run/packing_pass.h"
#include "run/preflight.h"
#include "scan/count_files.h"
#include "scan/directory_lister.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/run_command.h"

namespace {

// Held for the whole run, in the game root beside the log: two runs at once
// would interleave their commands on the same archives. It is a lock on an
// open file, so the system drops it when a run ends in any way; the file
// itself stays and blocks nothing.
const char kLockFile[] = "zt-rebuild.lock";
const char kLogFile[] = "ztlog.txt";

// A staging folder that is there but cannot be read stands for the commands
// that could not be run for its files.
void reportUnreadable(const DirectoryLister& folder, CommandTally* tally) {
  if (!folder.unreadable()) return;
  writeError("cannot read the staging folder " + printable(folder.folder()) + ": " +
             folder.error());
  countCommand(tally, false);
}

bool lockGameRoot(const std::string& gameRoot, platform::HeldLock* lock) {
  std::string error;
  switch (platform::lockFile(kLockFile, lock, &error)) {
    case platform::LockStatus::Held:
      return true;
    case platform::LockStatus::Busy:
      std::fprintf(stderr, "zt-rebuild: another run is using the game root %s; nothing was done\n",
                   printable(gameRoot).c_str());
      return false;
    case platform::LockStatus::Failed:
      std::fprintf(stderr, "zt-rebuild: cannot lock the game root %s (%s): %s\n",
                   printable(gameRoot).c_str(), kLockFile, error.c_str());
      return false;
  }
  return false;
}

// The longest path the run builds on the game root.
const char kDeleteList[] = "\\expansion\\zt\\deleteList.txt";

// Whether every path the run builds on `gameRoot` fits the platform's file
// calls. Were the longest not to, the folders below would only seem empty.
bool pathsBelowFit(const std::string& gameRoot, std::string* error) {
  const size_t longest = platform::longestPath();
  if (longest == 0 || gameRoot.size() + sizeof kDeleteList - 1 <= longest) return true;
  *error = "the paths below it would be longer than the " + std::to_string(longest) +
           " characters that the file calls accept";
  return false;
}

}  // namespace

int rebuildArchives(const std::string& gameRootArgument, const RunOptions& options) {
  // Made absolute first: every path below is built on it and must still name
  // the same place once the game root is the working directory.
  std::string gameRoot = gameRootArgument;
  std::string error;
  if (!platform::absolutePath(gameRootArgument, &gameRoot, &error) ||
      !pathsBelowFit(gameRoot, &error) || !platform::changeDirectory(gameRoot, &error)) {
    std::fprintf(stderr, "zt-rebuild: cannot enter the game root %s: %s\n",
                 printable(gameRoot).c_str(), error.c_str());
    hintAtQuotes(gameRootArgument, options.wordsAfterRoot);
    return 1;
  }
  if (!readyToRun(gameRoot)) return 1;
  // A dry run writes nothing, so it needs no lock.
  platform::HeldLock lock;
  if (!options.dryRun && !lockGameRoot(gameRoot, &lock)) return 1;
  const platform::Shell shell = platform::nativeShell();
  const Dialect dialect = dialectFor(shell, platform::isRunnableFile(toolFileName(shell)));
  auto pathOf = [&](const char* piece) { return gameRoot + localPath(dialect, piece); };
  const bool showStages = !options.dryRun;
  // Writing to a pipe would wait for a reader forever.
  if (platform::isPipe(kLogFile)) {
    std::fprintf(stderr, "zt-rebuild: the log %s is a pipe, which would keep the run waiting; "
                 "nothing was done\n", printable(pathOf("\\ztlog.txt")).c_str());
    return 1;
  }

  CommandTally tally;
  tally.dryRun = options.dryRun;
  const std::string logPath = pathOf("\\ztlog.txt");
  // The file system's clock at the start, read on the run's own lock file
  // before any stamp is taken: later edits are told apart against it.
  std::optional<long long> startedAt;
  if (options.changedOnly && !options.dryRun) {
    long long now = 0;
    if (platform::touchFile(kLockFile, &now, &error)) {
      startedAt = now;
    } else {
      writeError(std::string("cannot read the clock on ") + kLockFile + ": " + error +
                 "; no record is written");
      countCommand(&tally, false);
    }
  }

  // Each staging folder is read once, here: what is counted is what is packed.
  const std::string tempFolder = pathOf("\\expansion\\zt\\temp");
  const std::string tempLFolder = pathOf("\\expansion\\zt\\tempL");
  DirectoryLister tempLister(tempFolder);
  DirectoryLister tempLLister(tempLFolder);
  reportUnreadable(tempLister, &tally);
  reportUnreadable(tempLLister, &tally);
  PackingJob temp{tempFolder, "zt.pff", countFiles(tempLister, "*", false), 1, 0, {}};
  PackingJob tempL{tempLFolder, "ztL.pff", countFiles(tempLLister, "*", false), 0, 0, {}};

  const std::string deleteList = pathOf(kDeleteList);
  std::map<std::string, platform::FileStamp> tempStamps, tempLStamps;
  std::optional<platform::FileStamp> deleteListStamp;
  bool hasRecord = false;
  if (options.changedOnly) {
    // All taken before anything is packed or replayed: a change made while
    // the run goes on shows as one to the next run.
    tempStamps = stampFiles(tempLister);
    tempLStamps = stampFiles(tempLLister);
    deleteListStamp = stampOf(deleteList);
    ChangeRecord previous;
    hasRecord = readChangeRecord(kChangeRecordFile, &previous);
    if (hasRecord) {
      skipUnchanged(previous, deleteListStamp, tempStamps, &temp);
      skipUnchanged(previous, deleteListStamp, tempLStamps, &tempL);
      // Nothing to pack, and nothing else that a run could change: no command,
      // and the last run's log and record stay as they are.
      if (temp.files == static_cast<int>(temp.unchanged.size()) &&
          tempL.files == static_cast<int>(tempL.unchanged.size()) && tally.failed == 0 &&
          upToDate(previous, deleteListStamp)) {
        if (showStages) writeLine("Archives are up to date; nothing to do");
        flushOut();
        if (outputError().empty()) return 0;
        std::fprintf(stderr, "zt-rebuild: cannot write to standard output: %s\n",
                     outputError().c_str());
        return 1;
      }
    }
  }
  if (!runCommand(startLogCommand(dialect), &tally)) {
    writeError("cannot start the log " + printable(logPath) + "; the interpreter's error is above");
  }
  const int unchanged = static_cast<int>(temp.unchanged.size() + tempL.unchanged.size());
  temp.files -= static_cast<int>(temp.unchanged.size());
  tempL.files -= static_cast<int>(tempL.unchanged.size());
  temp.total = tempL.total = temp.files + tempL.files;
  tempL.firstNumber = temp.files + 1;

  if (showStages) {
    writeLine("Logging to: " + printable(logPath));
    writeLine("Packing resource files, please wait...");
  }
  if (options.changedOnly) {
    // A dry run's standard output is only the command lines.
    const std::string skipped =
        std::to_string(unchanged) + " unchanged staged file" + (unchanged == 1 ? "" : "s");
    // Without a record that can be read, nothing can be vouched for.
    std::string noRecord;
    if (!hasRecord) {
      noRecord = stampOf(kChangeRecordFile) ? "the record of packed files cannot be read"
                                            : "there is no record of packed files yet";
    }
    if (showStages) {
      writeLine(hasRecord ? "Skipping " + skipped
                          : "Packing every staged file: " + noRecord);
    } else {
      writeError(hasRecord ? "would skip " + skipped
                           : "every staged file would be packed: " + noRecord);
    }
  }
  notePassedOver(tempLister);
  notePassedOver(tempLLister);
  std::vector<std::string> tempAdded = packFolder(tempLister, temp, dialect, &tally);
  std::vector<std::string> tempLAdded = packFolder(tempLLister, tempL, dialect, &tally);
  if (showStages) {
    writeLine("");
    writeLine("Done packing resource files");
    writeOut("Removing unused files (may take a minute or two)...");
  }
  replayDeleteList(deleteList, dialect, &tally);
  if (showStages) {
    writeLine("done");
    writeLine("");
    writeLine("Optimizing pff...");
  }
  // A modification with only a second archive has no main one to optimize:
  // that is nothing to do, not a failure. A dry run cannot know whether the
  // commands it shows would make one, so it shows the command.
  const std::string mainArchive = pathOf("\\expansion\\zt\\zt.pff");
  if (options.dryRun || platform::exists(mainArchive)) {
    runCommand(optimizeCommand(dialect), &tally, printable(mainArchive) + ": not optimized");
  }
  if (showStages) writeLine("");

  if (startedAt) {
    ChangeRecord record;
    record.startedAt = *startedAt;
    vouchFor(temp, tempAdded, tempStamps, &record);
    vouchFor(tempL, tempLAdded, tempLStamps, &record);
    record.deleteList = deleteListStamp;
    flushOut();
    record.failed = tally.failed + (outputError().empty() ? 0 : 1);
    if (!writeChangeRecord(kChangeRecordFile, record, &error)) {
      writeError(std::string("cannot write the record of packed files ") + kChangeRecordFile +
                 ": " + printable(error));
      countCommand(&tally, false);
    }
  }

  // A run that failed says so last, in place of "All done!", on stderr
  // where a script looks for it.
  if (showStages && tally.failed == 0) writeLine("All done!");
  flushOut();
  int status = 0;
  if (tally.failed > 0) {
    const std::string counts = std::to_string(tally.failed) + " of " + std::to_string(tally.run);
    if (options.dryRun) {
      writeError("the run would fail: " + counts + " commands would fail; see the errors above");
    } else {
      writeError("the run failed: " + counts + " commands failed; see the errors above, and the "
                 "tool's output in " + printable(logPath));
    }
    status = 1;
  }
  if (!outputError().empty()) {
    std::fprintf(stderr, "zt-rebuild: cannot write to standard output: %s\n",
                 outputError().c_str());
    status = 1;
  }
  return status;
}
