// A stand-in for the archive tool, for the end-to-end tests. Every call
// appends one line to "pack-calls.txt" in the working directory: the
// arguments it received, separated by tabs, with "\" , tab and line feed
// escaped as \\, \t and \n, and the same line to the archive named by its
// first argument unless it fails, so that the archive changes as a real
// tool's would. It
// prints one line on stdout, for the log, and
// fails (exit 1, or ZT_PACK_FAIL_STATUS, in C's notation: 0xC0000005) when
// an argument contains the text of ZT_PACK_FAIL. When one
// contains the text of ZT_PACK_RUN_ON, it first runs the command ZT_PACK_RUN
// through the interpreter (so that a test can act in the middle of a run)
// and appends its exit status to "pack-run-status.txt". On POSIX,
// when one contains the text of ZT_PACK_INTERRUPT, it sends SIGINT to its
// process group, as Ctrl+C on a terminal does; with ZT_PACK_SWALLOW set, to
// the group's leader alone (the run, in a session of its own) and ends well,
// as when the interpreter caught the signal just before starting the tool.
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool anyArgumentHolds(int argc, char** argv, const char* variable) {
  const char* text = std::getenv(variable);
  for (int i = 1; text && *text && i < argc; ++i) {
    if (std::strstr(argv[i], text)) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (anyArgumentHolds(argc, argv, "ZT_PACK_RUN_ON")) {
    int status = std::system(std::getenv("ZT_PACK_RUN"));
#ifndef _WIN32
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    FILE* statusFile = std::fopen("pack-run-status.txt", "ab");
    if (!statusFile) return 3;
    std::fprintf(statusFile, "%d\n", status);
    std::fclose(statusFile);
  }
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += '\t';
    for (const char* p = argv[i]; *p; ++p) {
      switch (*p) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        default: line += *p;
      }
    }
  }
  line += '\n';
  FILE* record = std::fopen("pack-calls.txt", "ab");
  if (!record) return 3;
  std::fwrite(line.data(), 1, line.size(), record);
  std::fclose(record);
  const bool fails = anyArgumentHolds(argc, argv, "ZT_PACK_FAIL");
  if (FILE* archive = argc > 1 && !fails ? std::fopen(argv[1], "ab") : nullptr) {
    std::fwrite(line.data(), 1, line.size(), archive);
    std::fclose(archive);
  }
  std::printf("pack called with %d arguments\n", argc - 1);

#ifndef _WIN32
  if (anyArgumentHolds(argc, argv, "ZT_PACK_INTERRUPT")) {
    kill(std::getenv("ZT_PACK_SWALLOW") ? getpgrp() : 0, SIGINT);
  }
#endif
  if (!fails) return 0;
  const char* status = std::getenv("ZT_PACK_FAIL_STATUS");
  return status ? static_cast<int>(std::strtoul(status, nullptr, 0)) : 1;
}
