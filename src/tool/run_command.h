// Runs one command line through the platform's interpreter.
#ifndef ZT_TOOL_RUN_COMMAND_H_
#define ZT_TOOL_RUN_COMMAND_H_

#include <string>

#include "scan/leads_outside.h"

// How many commands a run started, and how many of them failed; in a dry run,
// the commands are shown instead of run.
struct CommandTally {
  bool dryRun = false;
  int commands = 0;
  int failed = 0;
};

// Runs `commandLine` through the interpreter, after flushing standard output
// so that what the program wrote stands before the command's output; counts
// it in `tally` and returns whether it exited with 0. When it failed and
// `failed` names what was not done, says so on stderr with the reason. A dry
// run prints the line (through printable) instead and returns true.
bool runCommand(const std::string& commandLine, CommandTally* tally,
                const std::string& failed = "");

// A step that stands for a command and failed: says `message` on stderr and
// counts the failure in `tally`.
void failStep(const std::string& message, CommandTally* tally);

// Whether what the run would use at `path` as `use` may be used now (see
// refusalAtUse); if not, says so on stderr (`unused`: how it goes unused)
// and counts a failed step.
bool usableNow(const std::string& modFolder, const std::string& path, UsedAs use,
               const std::string& unused, CommandTally* tally);

#endif  // ZT_TOOL_RUN_COMMAND_H_
