// zt-rebuild: rebuilds a game modification's resource archives from its
// staging folders, through the external archive tool.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/console.h"
#include "run/run_driver.h"

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

bool asksForHelp(const char* argument) {
  return std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0 ||
         (platform::nativeShell() == platform::Shell::Cmd && std::strcmp(argument, "/?") == 0);
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
  if (count == 2 && asksForHelp(arguments[1].c_str())) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zt-rebuild %s\n", kVersion);
    return 0;
  }
  RunOptions options;
  int next = 1;
  for (; next < count && arguments[next].size() > 1 && arguments[next][0] == '-'; ++next) {
    const std::string& option = arguments[next];
    if (option == "--") {
      ++next;
      break;
    } else if (option == "--changed") {
      options.changedOnly = true;
    } else if (option == "--dry-run") {
      options.dryRun = true;
    } else {
      return usageError("unknown option " + option);
    }
  }
  if (next >= count) return usageError("");
  // Further arguments are ignored; but an option there would be a run the
  // user did not ask for (a real one instead of a dry one).
  for (int later = next + 1; later < count; ++later) {
    const std::string& word = arguments[later];
    if (word == "--changed" || word == "--dry-run") {
      return usageError("options go before the game root: " + word);
    }
  }
  return rebuildArchives(arguments[next], options);
}
