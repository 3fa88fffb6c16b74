// zt-rebuild: rebuilds a game modification's resource archives from its
// staging folders, through the external archive tool.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/run_driver.h"
#include "tool/console.h"

namespace {

// Set by the build, from the CMake project's version.
const char kVersion[] = ZT_REBUILD_VERSION;

const char kUsage[] =
    "usage: zt-rebuild [--changed] [--dry-run] [--] GAME_ROOT\n"
    "       zt-rebuild --version\n"
    "\n"
    "Packs every file staged in GAME_ROOT/expansion/zt/temp into zt.pff and in\n"
    "expansion/zt/tempL into ztL.pff, replays expansion/zt/deleteList.txt and\n"
    "optimizes zt.pff, all through the archive tool (pack), which runs in\n"
    "GAME_ROOT. The tool's output is logged to GAME_ROOT/ztlog.txt.\n"
    "\n"
    "  --changed   pack only the staged files that changed since the last\n"
    "              --changed run packed them, as recorded in\n"
    "              GAME_ROOT/zt-rebuild-record.txt (delete it, or run without\n"
    "              the option, to pack everything)\n"
    "  --dry-run   print the command lines the run would run, and run none\n"
    "  --          ends the options, for a game root that begins with -\n"
    "\n"
    "Exit status: 0 when every command succeeded; 1 when any failed, the game\n"
    "root cannot be entered or another run is using it; 2 for a usage error.\n";

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
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!platform::guardStandardStreams()) noteMissingOutput();
  std::vector<std::string> arguments;  // argv, exactly as the command line spells it
  std::string error;
  if (!platform::commandLineArguments(argc, argv, &arguments, &error)) {
    std::fprintf(stderr, "zt-rebuild: %s\n", error.c_str());
    return 1;
  }
  const int count = static_cast<int>(arguments.size());
  // cmd's own way to ask, alone.
  if (count == 2 && platform::nativeShell() == platform::Shell::Cmd && arguments[1] == "/?") {
    return answer(kUsage);
  }
  RunOptions options;
  int next = 1;
  for (; next < count && arguments[next].size() > 1 && arguments[next][0] == '-'; ++next) {
    const std::string& option = arguments[next];
    if (option == "--") {
      ++next;
      break;
    } else if (option == "-h" || option == "--help") {
      return answer(kUsage);
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
  for (int later = next + 1; later < count; ++later) {
    const std::string& word = arguments[later];
    if (word.size() > 1 && word[0] == '-') {
      return usageError("options go before the game root: " + word);
    }
  }
  return rebuildArchives(arguments[next], options);
}
