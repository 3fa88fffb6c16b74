#include "tool/run_command.h"

#include <cstdio>

#include "platform/process.h"
#include "tool/console.h"

namespace {

// Why a tool command failed, from the status that runCommandLine returned.
std::string commandFailure(platform::Shell shell, int status) {
  if (status == -1) return "the command interpreter could not be started";
  std::string code = " (exit status " + std::to_string(status) + ")";
  // A Windows program that the system ended, or could not start, exits with
  // an NTSTATUS code, written in hex as Windows documents it.
  const unsigned long ntStatus = static_cast<unsigned long>(static_cast<unsigned>(status));
  if (shell == platform::Shell::Cmd && ntStatus >= 0xC0000000UL) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", ntStatus);
    code = std::string(" (exit status ") + hex + ")";
    if (ntStatus == 0xC0000135UL) {
      return "the tool could not be started: a DLL it needs is missing" + code;
    }
  }
  // What each interpreter returns when it cannot find or run the program.
  const bool notStarted =
      shell == platform::Shell::Cmd ? status == 9009 : status == 126 || status == 127;
  return (notStarted ? "the tool could not be started" : "the tool failed") + code;
}

// Counts one command, or one step that stands for a command, in `tally`.
void countCommand(CommandTally* tally, bool succeeded) {
  ++tally->commands;
  if (!succeeded) ++tally->failed;
}

}  // namespace

bool runCommand(const std::string& commandLine, CommandTally* tally, const std::string& failed) {
  if (tally->dryRun) {
    // As everything on the console: a name cannot drive the terminal, nor
    // split one command over two lines.
    writeOut(printable(commandLine) + "\n");
    countCommand(tally, true);
    return true;
  }
  flushOut();
  const int status = platform::runCommandLine(commandLine);
  const bool ok = status == 0;
  countCommand(tally, ok);
  if (!ok && !failed.empty()) {
    writeError(failed + ": " + commandFailure(platform::nativeShell(), status));
  }
  return ok;
}

void failStep(const std::string& message, CommandTally* tally) {
  writeError(message);
  countCommand(tally, false);
}

bool usableNow(const std::string& modFolder, const std::string& path, UsedAs use,
               const std::string& unused, CommandTally* tally) {
  const std::optional<std::string> refusal = refusalAtUse(modFolder, path, use);
  if (refusal) failStep(printable(path + ": " + unused + ": it " + *refusal), tally);
  return !refusal;
}
