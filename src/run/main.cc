// zt-rebuild: rebuilds a game modification's resource archives from its
// staging folders, through the external archive tool.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "run/console.h"
#include "run/run_driver.h"

namespace {

// Set by the build, from the CMake project's version.
const char kVersion[] = ZT_REBUILD_VERSION;

const char kUsage[] =
    "usage: zt-rebuild GAME_ROOT\n"
    "       zt-rebuild --version\n"
    "\n"
    "Packs every file staged in GAME_ROOT/expansion/zt/temp into zt.pff and in\n"
    "expansion/zt/tempL into ztL.pff, replays expansion/zt/deleteList.txt and\n"
    "optimizes zt.pff, all through the archive tool (pack), which runs in\n"
    "GAME_ROOT. The tool's output is logged to GAME_ROOT/ztlog.txt.\n"
    "\n"
    "Exit status: 0 when every command succeeded, 1 when any failed or the game\n"
    "root cannot be entered, 2 when no game root is given.\n";

bool asksForHelp(const char* argument) {
  return std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0 ||
         (platform::nativeShell() == platform::Shell::Cmd && std::strcmp(argument, "/?") == 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (!platform::guardStandardStreams()) noteMissingOutput();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (argc == 2 && asksForHelp(argv[1])) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zt-rebuild %s\n", kVersion);
    return 0;
  }
  // Further arguments are ignored.
  return rebuildArchives(argv[1]);
}
