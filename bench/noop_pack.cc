// An archive tool that does nothing: what is left of a run's time is the
// driver's and the interpreter's. With ZT_BENCH_STARTS set, it appends the
// wall-clock time it started at (nanoseconds) to that file, with its own
// process id and its parent's (the interpreter, or the interpreter's fork
// that became this tool), so that bench/interrupts can tell which commands
// started after an interrupt (on POSIX only; bench/interrupts is POSIX's).
#ifndef _WIN32
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

int main() {
#ifndef _WIN32
  if (const char* starts = std::getenv("ZT_BENCH_STARTS")) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (std::FILE* file = std::fopen(starts, "a")) {
      std::fprintf(file, "%lld%09ld %ld %ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec,
                   static_cast<long>(getpid()), static_cast<long>(getppid()));
      std::fclose(file);
    }
  }
#endif
  return 0;
}
