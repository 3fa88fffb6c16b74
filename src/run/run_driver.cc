#include "run/run_driver.h"

#include <cstdio>

#include "platform/platform.h"
#include "run/delete_list_pass.h"
#include "run/packing_pass.h"
#include "scan/count_files.h"
#include "scan/directory_lister.h"
#include "tool/command_line.h"
#include "tool/run_command.h"

namespace {

void writeLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

void write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

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

int rebuildArchives(const std::string& gameRootArgument) {
  // Made absolute first: every path below is built on it and must still name
  // the same place once the game root is the working directory.
  std::string gameRoot = gameRootArgument;
  std::string error;
  if (!platform::absolutePath(gameRootArgument, &gameRoot, &error) ||
      !pathsBelowFit(gameRoot, &error) || !platform::changeDirectory(gameRoot, &error)) {
    std::fprintf(stderr, "zt-rebuild: cannot enter the game root %s: %s\n", gameRoot.c_str(),
                 error.c_str());
    return 1;
  }
  const platform::Shell shell = platform::nativeShell();
  const Dialect dialect = dialectFor(shell, platform::isRunnableFile(toolFileName(shell)));
  auto pathOf = [&](const char* piece) { return gameRoot + localPath(dialect, piece); };

  CommandTally tally;
  runCommand(startLogCommand(dialect), &tally);

  const std::string tempFolder = pathOf("\\expansion\\zt\\temp");
  const std::string tempLFolder = pathOf("\\expansion\\zt\\tempL");
  // Each staging folder is read once, here: what is counted is what is packed.
  DirectoryLister tempLister(tempFolder);
  DirectoryLister tempLLister(tempLFolder);
  const int tempCount = countFiles(tempLister, "*", false);
  const int tempLCount = countFiles(tempLLister, "*", false);
  const int total = tempCount + tempLCount;
  const std::string logPath = pathOf("\\ztlog.txt");

  writeLine("Logging to: " + logPath);
  writeLine("Packing resource files, please wait...");
  packFolder(tempLister, {tempFolder, "zt.pff", tempCount, 1, total}, dialect, &tally);
  packFolder(tempLLister, {tempLFolder, "ztL.pff", tempLCount, tempCount + 1, total}, dialect,
             &tally);
  writeLine("");
  writeLine("Done packing resource files");

  write("Removing unused files (may take a minute or two)...");
  replayDeleteList(pathOf(kDeleteList), dialect, &tally);
  writeLine("done");
  writeLine("");

  writeLine("Optimizing pff...");
  runCommand(optimizeCommand(dialect), &tally);
  writeLine("");
  writeLine("All done!");

  if (tally.failed > 0) {
    std::fprintf(stderr, "zt-rebuild: %d of %d commands failed; see %s for the tool's output\n",
                 tally.failed, tally.run, logPath.c_str());
    return 1;
  }
  return 0;
}
