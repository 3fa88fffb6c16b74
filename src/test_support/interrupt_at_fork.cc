// Preloaded into zt-rebuild by a test, on Linux: the Nth start of a
// command's interpreter (ZT_INTERRUPT_AT_FORK=N) comes just after a SIGINT
// that reached the program alone, as a terminal's Ctrl+C can in the moment
// before the interpreter has joined the process group. With ZT_STOP_AT_FORK=N
// a SIGTSTP reaches the Nth interpreter's child before it has started it, as
// a terminal's Ctrl+Z can.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

long interruptAt = 0;
long stopAt = 0;
long starts = 0;

__attribute__((constructor)) void readWhen() {
  if (const char* at = getenv("ZT_INTERRUPT_AT_FORK")) interruptAt = atol(at);
  if (const char* at = getenv("ZT_STOP_AT_FORK")) stopAt = atol(at);
  // Not for the commands, to which the program hands its environment.
  unsetenv("ZT_INTERRUPT_AT_FORK");
  unsetenv("ZT_STOP_AT_FORK");
}

}  // namespace

extern "C" pid_t vfork() noexcept {
  // Sent to itself and unblocked, it is handled before kill returns.
  if (++starts == interruptAt) kill(getpid(), SIGINT);
  // A copy of the memory, not a share: a child returning through this frame
  // would clobber it for the parent. The copy holds what the handler noted.
  const pid_t child = fork();
  if (child == 0 && starts == stopAt) raise(SIGTSTP);
  return child;
}
