// Preloaded into zt-rebuild by a test, on Linux: the Nth start of a
// command's interpreter (ZT_INTERRUPT_AT_FORK=N) comes just after a SIGINT
// that reached the program alone, as a terminal's Ctrl+C can in the moment
// before the interpreter has joined the process group.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

long interruptAt = 0;
long starts = 0;

__attribute__((constructor)) void readWhen() {
  if (const char* at = getenv("ZT_INTERRUPT_AT_FORK")) interruptAt = atol(at);
  // Not for the commands, to which the program hands its environment.
  unsetenv("ZT_INTERRUPT_AT_FORK");
}

}  // namespace

extern "C" pid_t vfork() noexcept {
  // Sent to itself and unblocked, it is handled before kill returns.
  if (++starts == interruptAt) kill(getpid(), SIGINT);
  // A copy of the memory, not a share: a child returning through this frame
  // would clobber it for the parent. The copy holds what the handler noted.
  return fork();
}
