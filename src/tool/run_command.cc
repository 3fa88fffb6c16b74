#include "tool/run_command.h"

#include <cstdio>

#include "platform/platform.h"

bool runCommand(const std::string& commandLine, CommandTally* tally) {
  std::fflush(stdout);
  bool ok = platform::runCommandLine(commandLine) == 0;
  ++tally->run;
  if (!ok) ++tally->failed;
  return ok;
}
