#include "tool/run_command.h"

#include "platform/platform.h"
#include "tool/console.h"

void countCommand(CommandTally* tally, bool succeeded) {
  ++tally->run;
  if (!succeeded) ++tally->failed;
}

bool runCommand(const std::string& commandLine, CommandTally* tally) {
  if (tally->dryRun) {
    // As everything on the console: a name cannot drive the terminal, nor
    // split one command over two lines.
    writeOut(printable(commandLine) + "\n");
    countCommand(tally, true);
    return true;
  }
  flushOut();
  bool ok = platform::runCommandLine(commandLine) == 0;
  countCommand(tally, ok);
  return ok;
}
