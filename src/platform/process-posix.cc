// POSIX implementation of running commands: /bin/sh, started as system()
// starts it, in the program's process group, but with the program hearing
// Ctrl+C itself.
//
// How Ctrl+C and Ctrl+Z are handled at each moment of a command. Ctrl+C is
// SIGINT (SIGQUIT is handled alike); Ctrl+Z is SIGTSTP (SIGTTIN and SIGTTOU,
// a background job's use of the terminal, alike). A terminal sends them to
// its whole foreground process group: the program, and the command in it.
//  1. Before the fork. Before the first command Ctrl+C has its default, and
//     between two commands noteInterruption restores it: either way it ends
//     the program at once. From the moment runCommandLine marks a command as
//     running, it is only noted, and that command does not start (3). Ctrl+Z
//     stops the program, by its default, until the stops are blocked just
//     before the fork.
//  2. During vfork, the program suspended until the child's exec or exit. A
//     Ctrl+C that came before the child existed reached the program alone,
//     and the kernel ran its handler before letting the fork through: it is
//     noted. One that comes later reaches the child too (3), and the program
//     notes its own once vfork returns. A Ctrl+Z waits, blocked, and stops the
//     program once vfork returns.
//  3. In the child before exec. It blocks the interrupts, resets them to their
//     default (its handlers are its own, the program's stay), and exits with
//     128 + the signal, starting nothing, when one has been noted; one that
//     comes after that look ends it, by the default, once the program's mask
//     is restored. The stops get a handler that does nothing, which the exec
//     resets to the default: stopped before its exec, the child would hold
//     the program in vfork for good, deaf to Ctrl+C.
//  4. While the command runs. Ctrl+C reaches the interpreter and the tool,
//     which take it as they will, and is noted by the program, which goes on
//     waiting. Ctrl+Z stops the program, by its default, and the command as
//     it takes it; `fg` continues both.
//  5. After it ends. A noted interrupt ends the program by that signal, and so
//     does the command's death by SIGINT or SIGQUIT (one sent to it alone).
//     Otherwise its exit status is returned, and Ctrl+C ends the program at
//     once again (1).
// An interrupt ignored or blocked when the program started (a job started in
// the background) is never heard. One ignored is left so, for the commands
// too; one blocked is handed to them ignored, since the interpreter (dash)
// unblocks every signal as it starts a program, and would die of a Ctrl+C
// that was never meant for the run.
#include "platform/process.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/posix_signals.h"

// The environment the commands are started with; some systems declare it nowhere.
extern char** environ;

namespace platform {

Shell nativeShell() { return Shell::Sh; }

namespace {

// All that this file keeps between calls. The handler and the child of vfork
// use it too: the child shares the program's memory until its exec, so what
// it writes here the program reads.

// The interrupt (SIGINT or SIGQUIT) that came while a command ran, 0 when
// none: the run ends once that command has, and no other starts.
volatile sig_atomic_t interruption = 0;
// Whether a command is being started or runs: an interrupt is then only noted.
volatile sig_atomic_t commandRunning = 0;
// Set by the child when the interpreter could not be started: its 127 would
// say the tool was not found.
volatile sig_atomic_t interpreterMissing = 0;
// The interrupts the program hears. One ignored or blocked when it started
// is not among them: pending behind the mask, it was never meant for it.
sigset_t watched;
// The interrupts blocked when the program started: ignored in its commands.
sigset_t blockedAtStart;
// Whether the interrupts are watched yet: from the first command on.
bool watching = false;
// The stop signals of job control (Ctrl+Z, and a background job's use of the
// terminal).
const int jobStops[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// Outside a command the program ends at once, by the signal's default; a
// command is waited for, so that the run ends between two commands.
void noteInterruption(int sig) {
  if (commandRunning) {
    interruption = sig;
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

// Once, before the first command. Unlike system(), which ignores these
// signals while the command runs, the program hears them itself: a Ctrl+C
// that the interpreter or the tool swallowed still stops the run. One that
// was ignored when the program started (a job started in the background)
// stays ignored, for the commands too.
void watchInterrupts() {
  if (watching) return;
  watching = true;
  // Ignored when the program started, SIGCHLD has the system reap the
  // commands unasked: waitpid would find none to report on.
  struct sigaction reaping;
  if (sigaction(SIGCHLD, nullptr, &reaping) == 0 && reaping.sa_handler == SIG_IGN) {
    signal(SIGCHLD, SIG_DFL);
  }
  sigemptyset(&watched);
  sigemptyset(&blockedAtStart);
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  for (int sig : {SIGINT, SIGQUIT}) {
    struct sigaction previous;
    if (sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    if (sigismember(&blocked, sig) == 1) {
      sigaddset(&blockedAtStart, sig);
      continue;
    }
    sigaddset(&watched, sig);
    struct sigaction action = {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
  }
}

// Ends the program by `sig`, as its default would have.
[[noreturn]] void endBy(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
  // Blocked or ignored in some odd start: end with the shell's number for it.
  std::_Exit(128 + sig);
}

// The child of vfork, until its exec: step 3 at the top of this file.
// `programMask` is the program's mask, before the stops were held back.
[[noreturn]] void startInterpreter(char* const arguments[], const sigset_t& programMask) {
  sigprocmask(SIG_BLOCK, &watched, nullptr);
  // The child's own handlers: resetting them leaves the program's alone.
  for (int sig : {SIGINT, SIGQUIT}) {
    if (sigismember(&watched, sig) == 1) signal(sig, SIG_DFL);
    if (sigismember(&blockedAtStart, sig) == 1) signal(sig, SIG_IGN);
  }
  if (interruption) _exit(128 + interruption);
  // A stop before the exec is taken by a handler, which the exec resets; one
  // ignored stays ignored.
  for (int sig : jobStops) {
    struct sigaction kept;
    if (sigaction(sig, nullptr, &kept) == 0 && kept.sa_handler != SIG_IGN) {
      signal(sig, ignoreSignal);
    }
  }
  sigprocmask(SIG_SETMASK, &programMask, nullptr);
  execve("/bin/sh", arguments, environ);
  interpreterMissing = 1;
  _exit(127);
}

}  // namespace

int runCommandLine(const std::string& commandLine) {
  watchInterrupts();
  char shell[] = "sh", dashC[] = "-c";
  char* const arguments[] = {shell, dashC, const_cast<char*>(commandLine.c_str()), nullptr};
  // What system() does, without its ignoring: the interpreter in the
  // program's process group, so that the terminal's Ctrl+C reaches it. From
  // here an interrupt is only noted, and no command starts after one.
  commandRunning = 1;
  interpreterMissing = 0;
  // Held back from the child until it has a handler for them (see there).
  sigset_t stops, programMask;
  sigemptyset(&stops);
  for (int sig : jobStops) sigaddset(&stops, sig);
  sigprocmask(SIG_BLOCK, &stops, &programMask);
  const pid_t child = vfork();
  if (child == 0) startInterpreter(arguments, programMask);
  sigprocmask(SIG_SETMASK, &programMask, nullptr);

  int status = 0;
  bool waited = child > 0;
  while (waited && waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) waited = false;
  }
  commandRunning = 0;
  if (interruption) endBy(interruption);
  if (!waited || interpreterMissing) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  // A user who interrupted the command meant to stop the whole run, as on a
  // Windows console, even when the signal reached the command alone.
  if (sig == SIGINT || sig == SIGQUIT) endBy(sig);
  return 128 + sig;
}

bool isRunnableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return isRunnableFile(name);
  std::string search;
  if (const char* path = std::getenv("PATH")) {
    search = path;
  } else {  // the system's default, as the shell takes it
    search.resize(confstr(_CS_PATH, nullptr, 0));
    if (!search.empty()) confstr(_CS_PATH, &search[0], search.size());
    search.resize(search.empty() ? 0 : search.size() - 1);
  }
  // getline drops an empty last entry: the colon added keeps it.
  std::istringstream entries(search + ":");
  for (std::string folder; std::getline(entries, folder, ':');) {
    // An empty entry is the working directory.
    if (isRunnableFile((folder.empty() ? "." : folder) + "/" + name)) return true;
  }
  return false;
}

}  // namespace platform
