// A stand-in for the archive tool, for the end-to-end tests. Every call
// appends one line to "pack-calls.txt" in the working directory: the
// arguments it received, separated by tabs, with "\" , tab and line feed
// escaped as \\, \t and \n. It prints one line on stdout, for the log, and
// fails (exit 1) when an argument contains the text of ZT_PACK_FAIL. On POSIX,
// when one contains the text of ZT_PACK_INTERRUPT, it sends SIGINT to its
// process group, as Ctrl+C on a terminal does.
#ifndef _WIN32
#include <signal.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
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
  std::printf("pack called with %d arguments\n", argc - 1);

#ifndef _WIN32
  const char* interruptOn = std::getenv("ZT_PACK_INTERRUPT");
  for (int i = 1; interruptOn && *interruptOn && i < argc; ++i) {
    if (std::strstr(argv[i], interruptOn)) kill(0, SIGINT);
  }
#endif
  const char* failOn = std::getenv("ZT_PACK_FAIL");
  for (int i = 1; failOn && *failOn && i < argc; ++i) {
    if (std::strstr(argv[i], failOn)) return 1;
  }
  return 0;
}
