// Runs one command line through the platform's interpreter.
#ifndef ZT_TOOL_RUN_COMMAND_H_
#define ZT_TOOL_RUN_COMMAND_H_

#include <string>

// How many commands a run started, and how many of them failed; in a dry run,
// the commands are shown instead of run.
struct CommandTally {
  bool dryRun = false;
  int run = 0;
  int failed = 0;
};

// Counts one command, or one step that stands for a command, in `tally`.
void countCommand(CommandTally* tally, bool succeeded);

// Hands `commandLine` whole to the interpreter and waits until it has ended.
// Standard output is flushed first, so what the program wrote stands before
// what the command writes. Returns whether the command exited with status 0,
// and counts it in `tally`; when it failed and `failed` names what was not
// done, says so on stderr with the reason. A Ctrl+C ends the program instead
// (see platform::runCommandLine). In a dry run, writes the line to standard
// output instead, as one line with control characters shown as <U+XXXX>, and
// returns true.
bool runCommand(const std::string& commandLine, CommandTally* tally,
                const std::string& failed = "");

// A step that stands for a command and failed: says `message` on stderr and
// counts the failure in `tally`.
void failStep(const std::string& message, CommandTally* tally);

#endif  // ZT_TOOL_RUN_COMMAND_H_
