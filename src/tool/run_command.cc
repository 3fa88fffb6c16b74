#include "tool/run_command.h"

#include <cstdio>

#include "platform/platform.h"

void countCommand(CommandTally* tally, bool succeeded) {
  ++tally->run;
  if (!succeeded) ++tally->failed;
}

bool runCommand(const std::string& commandLine, CommandTally* tally) {
  if (tally->dryRun) {
    std::fwrite(commandLine.data(), 1, commandLine.size(), stdout);
    std::fputc('\n', stdout);
    countCommand(tally, true);
    return true;
  }
  std::fflush(stdout);
  bool ok = platform::runCommandLine(commandLine) == 0;
  countCommand(tally, ok);
  return ok;
}
