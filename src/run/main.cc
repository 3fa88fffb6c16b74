// zt-rebuild: rebuilds a game modification's resource archives from its
// staging folders, through the external archive tool.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/process.h"
#include "platform/text.h"
#include "run/console_window.h"
#include "run/preflight.h"
#include "run/run_driver.h"
#include "tool/command_line.h"
#include "tool/console.h"

namespace {

using platform::Shell;

// Set by the build, from the CMake project's version.
const char kVersion[] = ZT_REBUILD_VERSION;

// Written with "\" between path pieces and TOOL for the archive tool's
// name; each platform gets its own separator and name.
const char kUsage[] =
    "usage: zt-rebuild [--changed] [--dry-run] [--] GAME_ROOT\n"
    "       zt-rebuild --version\n"
    "\n"
    "Packs every file staged in GAME_ROOT\\expansion\\zt\\temp into zt.pff and in\n"
    "expansion\\zt\\tempL into ztL.pff, replays expansion\\zt\\deleteList.txt and\n"
    "optimizes zt.pff, all through the archive tool (TOOL), which runs in\n"
    "GAME_ROOT. The tool's output is logged to GAME_ROOT\\ztlog.txt.\n"
    "The tool must be in GAME_ROOT or on the search path (PATH); for real\n"
    "archives it must be the game's own archive tool.\n"
    "\n"
    "  --changed   pack only the staged files that changed since the last\n"
    "              --changed run packed them, as recorded in\n"
    "              GAME_ROOT\\zt-rebuild-record.txt (delete it, or run without\n"
    "              the option, to pack everything)\n"
    "  --dry-run   print the command lines the run would run, and run none\n"
    "  --          ends the options, for a game root that begins with -\n";

const char kWindowsUsage[] =
    "  /changed, /dry-run, /help, /version and /? work as well, in any case.\n"
    "\n"
    "A game root with spaces goes in double quotes:\n"
    "  zt-rebuild \"C:\\Games\\My Game\"\n";

const char kExitStatus[] =
    "\n"
    "Exit status: 0 when every command succeeded; 1 when any failed, the game\n"
    "root cannot be entered, is no game root (it has no expansion\\zt), has no\n"
    "archive tool, or another run is using it; 2 for a usage error.\n";

std::string usage() {
  const Shell shell = platform::nativeShell();
  std::string text = std::string(kUsage) + (shell == Shell::Cmd ? kWindowsUsage : "") + kExitStatus;
  const std::string tool = shell == Shell::Cmd ? "pack.exe" : "pack";
  for (size_t at = text.find("TOOL"); at != std::string::npos; at = text.find("TOOL", at)) {
    text.replace(at, 4, tool);
  }
  if (shell != Shell::Cmd) {
    for (char& c : text) c = c == '\\' ? '/' : c;
  }
  return text;
}

// Prints `text` on standard output for --help or --version; exit 1 if it
// could not be written, as for a run.
int answer(const std::string& text) {
  writeOut(text);
  flushOut();
  if (outputError().empty()) return 0;
  std::fprintf(stderr, "zt-rebuild: cannot write to standard output: %s\n",
               outputError().c_str());
  return 1;
}

int usageError(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "zt-rebuild: %s\n", problem.c_str());
  std::fputs(usage().c_str(), stderr);
  return 2;
}

// `word` as the option it stands for: on Windows, switches are written the
// way cmd's own commands take them too (/changed for --changed, /? for
// --help), in any case. Any other word comes back as it is: /games is a path.
std::string asOption(const std::string& word) {
  if (platform::nativeShell() != Shell::Cmd || word.size() < 2 || word[0] != '/') return word;
  const std::string name = lowerAscii(word.substr(1));
  if (name == "?") return "--help";
  for (const char* known : {"changed", "dry-run", "help", "version"}) {
    if (name == known) return "--" + name;
  }
  return word;
}

bool isOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

int run(int argc, char** argv) {
  std::vector<std::string> arguments;  // argv, exactly as the command line spells it
  std::string error;
  if (!platform::commandLineArguments(argc, argv, &arguments, &error)) {
    std::fprintf(stderr, "zt-rebuild: %s\n", error.c_str());
    return 1;
  }
  const int count = static_cast<int>(arguments.size());
  RunOptions options;
  int next = 1;
  for (; next < count && isOption(asOption(arguments[next])); ++next) {
    const std::string option = asOption(arguments[next]);
    if (option == "--") {
      ++next;
      break;
    } else if (option == "-h" || option == "--help") {
      return answer(usage());
    } else if (option == "--version") {
      return answer(std::string("zt-rebuild ") + kVersion + "\n");
    } else if (option == "--changed") {
      options.changedOnly = true;
    } else if (option == "--dry-run") {
      options.dryRun = true;
    } else {
      return usageError("unknown option " + option);
    }
  }
  if (next >= count) return usageError("");
  // Further words are ignored; but one that looks like an option was surely
  // meant as one, and running without it (a real run for a dry one) is no
  // answer to it.
  std::vector<std::string> later;
  const std::string root = gameRootAsTyped(platform::nativeShell(), arguments[next], &later);
  later.insert(later.end(), arguments.begin() + next + 1, arguments.end());
  for (const std::string& word : later) {
    if (isOption(asOption(word))) {
      return usageError("options go before the game root: " + word);
    }
    options.wordsAfterRoot.push_back(word);
  }
  return rebuildArchives(root, options);
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
