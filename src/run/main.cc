// zt-rebuild: rebuilds a game modification's resource archives from its
// staging folders, through the external archive tool.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/process.h"
#include "platform/text.h"
#include "run/arguments.h"
#include "run/console_window.h"
#include "run/run_driver.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/fixed_names.h"

namespace {

using platform::Shell;

// Set by the build, from the CMake project's version.
const char kVersion[] = ZT_REBUILD_VERSION;

// Written with "\" between path pieces; each platform gets its own separator
// and the archive tool's name.
std::string usage() {
  const Shell shell = platform::nativeShell();
  const std::string program = names::kProgram;
  const std::string mod = modFolderPiece();
  const std::string tool = toolFileName(shell);
  std::string text =
      "usage: " + program + " [--changed] [--dry-run] [--] GAME_ROOT\n"
      "       " + program + " --version\n"
      "       " + program + " --help | -h\n"
      "\n"
      "Packs every file staged in GAME_ROOT\\" + mod + names::kMainStaging + " into " +
      names::kMainArchive + " and in\n" +
      mod + names::kSecondStaging + " into " + names::kSecondArchive + ", replays " + mod +
      names::kDeleteList + " and\n"
      "optimizes " + names::kMainArchive + ", all through the archive tool (" + tool +
      "), which runs in\n"
      "GAME_ROOT. The tool's output is logged to GAME_ROOT\\" + names::kLogFile + ".\n"
      "The tool must be in GAME_ROOT or on the search path (PATH); for real\n"
      "archives it must be the game's own archive tool.\n"
      "\n"
      "  --changed   pack only the staged files that changed since the last\n"
      "              --changed run packed them, as recorded in\n"
      "              GAME_ROOT\\" + names::kRecordFile + " (delete it, or run without\n"
      "              the option, to pack everything)\n"
      "  --dry-run   print the command lines the run would run, and run none\n"
      "  --          ends the options, for a game root that begins with -\n";
  if (shell == Shell::Cmd) {
    text += "  " + windowsSwitches() + " work as well, in any case.\n"
            "\n"
            "A game root with spaces goes in double quotes:\n"
            "  " + program + " \"C:\\Games\\My Game\"\n";
  }
  text += "\n"
          "Exit status: 0 when every command succeeded; 1 when any failed, the game\n"
          "root cannot be entered, is no game root (it has no " + std::string(names::kModFolder) +
          "), has no\n"
          "archive tool, or another run is using it; 2 for a usage error; 130 when\n"
          "Ctrl+C stopped the run.\n";
  if (shell != Shell::Cmd) std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

// Prints the help or the version asked for; exit 1 if it could not be
// written, as for a run.
int printRequested(const std::string& text) {
  writeOut(text);
  flushOut();
  return outputStatus();
}

int run(int argc, char** argv) {
  std::vector<std::string> arguments;  // argv, exactly as the command line spells it
  std::string error;
  if (!platform::commandLineArguments(argc, argv, &arguments, &error)) {
    writeError(error);
    return 1;
  }
  const Request request = readArguments(platform::nativeShell(), arguments);
  switch (request.kind) {
    case Request::Kind::Help:
      return printRequested(usage());
    case Request::Kind::Version:
      return printRequested(std::string(names::kProgram) + " " + kVersion + "\n");
    case Request::Kind::UsageError:
      // The usage when nothing was given; else the one line that says what
      // is wrong, which the whole usage would bury.
      if (request.problem.empty()) {
        writeErrorText(usage());
      } else {
        writeError(printable(request.problem));
      }
      return 2;
    case Request::Kind::Run:
      break;
  }
  return rebuildArchives(request.gameRoot, request.options);
}

}  // namespace

int main(int argc, char** argv) {
  if (!platform::guardStandardStreams()) noteMissingOutput();
  const int status = run(argc, argv);
  const platform::ConsoleUse console = platform::consoleUse();
  if (waitsBeforeClosing(console.processes, console.inputIsConsole, console.outputIsConsole)) {
    std::fflush(stderr);
    writeLine("Press any key to close this window.");
    platform::waitForKey();
  }
  return status;
}
