#include "run/run_driver.h"

#include <cstdio>

#include "platform/platform.h"
#include "run/console.h"
#include "run/delete_list_pass.h"
#include "run/packing_pass.h"
#include "scan/count_files.h"
#include "scan/directory_lister.h"
#include "tool/command_line.h"
#include "tool/run_command.h"

namespace {

// Held for the whole run, in the game root beside the log: two runs at once
// would interleave their commands on the same archives. It is a lock on an
// open file, so the system drops it when a run ends in any way; the file
// itself stays and blocks nothing.
const char kLockFile[] = "zt-rebuild.lock";

// A staging folder that is there but cannot be read stands for the commands
// that could not be run for its files.
void reportUnreadable(const DirectoryLister& folder, CommandTally* tally) {
  if (!folder.unreadable()) return;
  std::fprintf(stderr, "zt-rebuild: cannot read the staging folder %s: %s\n",
               printable(folder.folder()).c_str(), folder.error().c_str());
  countCommand(tally, false);
}

}  // namespace

int rebuildArchives(const std::string& gameRootArgument) {
  // Made absolute first: every path below is built on it and must still name
  // the same place once the game root is the working directory.
  const std::string gameRoot = platform::absolutePath(gameRootArgument);
  std::string error;
  if (!platform::changeDirectory(gameRoot, &error)) {
    std::fprintf(stderr, "zt-rebuild: cannot enter the game root %s: %s\n",
                 printable(gameRoot).c_str(), error.c_str());
    return 1;
  }
  platform::HeldLock lock;
  switch (platform::lockFile(kLockFile, &lock, &error)) {
    case platform::LockStatus::Held:
      break;
    case platform::LockStatus::Busy:
      std::fprintf(stderr, "zt-rebuild: another run is using the game root %s; nothing was done\n",
                   printable(gameRoot).c_str());
      return 1;
    case platform::LockStatus::Failed:
      std::fprintf(stderr, "zt-rebuild: cannot lock the game root %s (%s): %s\n",
                   printable(gameRoot).c_str(), kLockFile, error.c_str());
      return 1;
  }
  const platform::Shell shell = platform::nativeShell();
  const Dialect dialect = dialectFor(shell, platform::isRunnableFile(toolFileName(shell)));
  auto pathOf = [&](const char* piece) { return gameRoot + localPath(dialect, piece); };

  CommandTally tally;
  runCommand(startLogCommand(dialect), &tally);

  // Each staging folder is read once, here: what is counted is what is packed.
  const std::string tempFolder = pathOf("\\expansion\\zt\\temp");
  const std::string tempLFolder = pathOf("\\expansion\\zt\\tempL");
  DirectoryLister tempLister(tempFolder);
  DirectoryLister tempLLister(tempLFolder);
  reportUnreadable(tempLister, &tally);
  reportUnreadable(tempLLister, &tally);
  const int tempCount = countFiles(tempLister, "*", false);
  const int tempLCount = countFiles(tempLLister, "*", false);
  const int total = tempCount + tempLCount;
  const std::string logPath = pathOf("\\ztlog.txt");

  writeLine("Logging to: " + printable(logPath));
  writeLine("Packing resource files, please wait...");
  packFolder(tempLister, {tempFolder, "zt.pff", tempCount, 1, total}, dialect, &tally);
  packFolder(tempLLister, {tempLFolder, "ztL.pff", tempLCount, tempCount + 1, total}, dialect,
             &tally);
  writeLine("");
  writeLine("Done packing resource files");

  writeOut("Removing unused files (may take a minute or two)...");
  replayDeleteList(pathOf("\\expansion\\zt\\deleteList.txt"), dialect, &tally);
  writeLine("done");
  writeLine("");

  writeLine("Optimizing pff...");
  runCommand(optimizeCommand(dialect), &tally);
  writeLine("");
  writeLine("All done!");

  int status = 0;
  if (tally.failed > 0) {
    std::fprintf(stderr,
                 "zt-rebuild: %d of %d commands failed; see the errors above, and the tool's "
                 "output in %s\n",
                 tally.failed, tally.run, printable(logPath).c_str());
    status = 1;
  }
  if (!outputError().empty()) {
    std::fprintf(stderr, "zt-rebuild: cannot write to standard output: %s\n",
                 outputError().c_str());
    status = 1;
  }
  return status;
}
