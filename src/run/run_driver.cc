#include "run/run_driver.h"

#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "run/change_record.h"
#include "run/delete_list_pass.h"
#include "run/packing_pass.h"
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
  std::fprintf(stderr, "zt-rebuild: cannot read the staging folder %s: %s\n",
               printable(folder.folder()).c_str(), folder.error().c_str());
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
    return 1;
  }
  // A dry run writes nothing, so it needs no lock.
  platform::HeldLock lock;
  if (!options.dryRun && !lockGameRoot(gameRoot, &lock)) return 1;
  const platform::Shell shell = platform::nativeShell();
  const Dialect dialect = dialectFor(shell, platform::isRunnableFile(toolFileName(shell)));
  auto pathOf = [&](const char* piece) { return gameRoot + localPath(dialect, piece); };
  const bool showStages = !options.dryRun;

  CommandTally tally;
  tally.dryRun = options.dryRun;
  runCommand(startLogCommand(dialect), &tally);
  // The log was written just now: its time is the file system's clock at the
  // start, against which later edits are told apart.
  const std::optional<platform::FileStamp> logStarted = stampOf(kLogFile);

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
  if (options.changedOnly) {
    // All taken before anything is packed or replayed: a change made while
    // the run goes on shows as one to the next run.
    tempStamps = stampFiles(tempLister);
    tempLStamps = stampFiles(tempLLister);
    deleteListStamp = stampOf(deleteList);
    ChangeRecord previous;
    if (readChangeRecord(kChangeRecordFile, &previous)) {
      skipUnchanged(previous, deleteListStamp, tempStamps, &temp);
      skipUnchanged(previous, deleteListStamp, tempLStamps, &tempL);
    }
  }
  const int unchanged = static_cast<int>(temp.unchanged.size() + tempL.unchanged.size());
  temp.files -= static_cast<int>(temp.unchanged.size());
  tempL.files -= static_cast<int>(tempL.unchanged.size());
  temp.total = tempL.total = temp.files + tempL.files;
  tempL.firstNumber = temp.files + 1;
  const std::string logPath = pathOf("\\ztlog.txt");

  if (showStages) {
    writeLine("Logging to: " + printable(logPath));
    writeLine("Packing resource files, please wait...");
    if (options.changedOnly) {
      writeLine("Skipping " + std::to_string(unchanged) + " unchanged staged file" +
                (unchanged == 1 ? "" : "s"));
    }
  }
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
  if (options.dryRun || platform::exists(pathOf("\\expansion\\zt\\zt.pff"))) {
    runCommand(optimizeCommand(dialect), &tally);
  }
  if (showStages) {
    writeLine("");
    writeLine("All done!");
  }

  if (options.changedOnly && !options.dryRun && logStarted) {
    ChangeRecord record;
    record.startedAt = logStarted->writeTime;
    vouchFor(temp, tempAdded, tempStamps, &record);
    vouchFor(tempL, tempLAdded, tempLStamps, &record);
    record.deleteList = deleteListStamp;
    if (!writeChangeRecord(kChangeRecordFile, record, &error)) {
      std::fprintf(stderr, "zt-rebuild: cannot write the record of packed files %s: %s\n",
                   kChangeRecordFile, printable(error).c_str());
      countCommand(&tally, false);
    }
  }

  flushOut();
  int status = 0;
  if (tally.failed > 0) {
    if (options.dryRun) {
      std::fprintf(stderr, "zt-rebuild: %d of %d commands would fail; see the errors above\n",
                   tally.failed, tally.run);
    } else {
      std::fprintf(stderr,
                   "zt-rebuild: %d of %d commands failed; see the errors above, and the tool's "
                   "output in %s\n",
                   tally.failed, tally.run, printable(logPath).c_str());
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
