// POSIX implementation of the standard streams and the console: a terminal
// takes the program's bytes as they are.
#include "platform/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <stdio.h>

#include "platform/posix_signals.h"

namespace platform {

bool guardStandardStreams() {
  // A handler rather than SIG_IGN: the commands run start with the default.
  signal(SIGPIPE, ignoreSignal);
  bool outputWasOpen = true;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    if (fd == 1) outputWasOpen = false;
    int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
  return outputWasOpen;
}

// A terminal here takes the bytes as they are.
bool writeToConsole(Stream, const std::string&, bool*) { return false; }

// A terminal is shared by whoever opened it: no count of its users.
ConsoleUse consoleUse() {
  ConsoleUse use;
  use.inputIsConsole = isatty(0) == 1;
  use.outputIsConsole = isatty(1) == 1;
  return use;
}

void waitForKey() { getchar(); }

}  // namespace platform
