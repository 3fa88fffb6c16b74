// POSIX implementation of the platform layer: /bin/sh as the interpreter, and
// listings shaped the way a Windows file system gives them, so that both
// builds walk a folder in the same order.
#include "platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// The environment the commands are started with; some systems declare it nowhere.
extern char** environ;

namespace platform {

Shell nativeShell() { return Shell::Sh; }

namespace {

unsigned char asciiUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Letters compared in upper case, as NTFS does (so "_" sorts after them), and
// bytewise to break ties, so the order is total and the same on every machine.
bool listsBefore(const DirEntry& a, const DirEntry& b) {
  const std::string& x = a.name;
  const std::string& y = b.name;
  size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char cx = asciiUpper(static_cast<unsigned char>(x[i]));
    unsigned char cy = asciiUpper(static_cast<unsigned char>(y[i]));
    if (cx != cy) return cx < cy;
  }
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using OpenDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error) {
  entries->clear();
  OpenDir dir(opendir(folder.c_str()));
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return ListingStatus::Missing;
    *error = strerror(errno);
    return ListingStatus::Unreadable;
  }
  for (;;) {
    errno = 0;
    dirent* d = readdir(dir.get());
    if (!d) {
      if (errno == 0) break;
      *error = strerror(errno);
      entries->clear();
      return ListingStatus::Unreadable;
    }
    DirEntry entry;
    entry.name = d->d_name;
    if (entry.name == "." || entry.name == "..") continue;
    struct stat st;
    // Follows links, as a Windows listing reports a junction's target kind.
    entry.isFolder = fstatat(dirfd(dir.get()), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    entries->push_back(std::move(entry));
  }
  std::sort(entries->begin(), entries->end(), listsBefore);
  entries->insert(entries->begin(), {DirEntry{".", true, ""}, DirEntry{"..", true, ""}});
  return ListingStatus::Listed;
}

bool fromUtf8(const std::string& utf8, std::string* text, std::string*) {
  *text = utf8;
  return true;
}

bool isSpecialFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool isPipe(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool isRunnableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

size_t decodeCharacter(const std::string& text, size_t at, char32_t* character) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *character = lead;
    return 1;
  }
  // The shortest form only, and no surrogates: anything else is no character.
  size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t value = lead & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xc0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3f);
  }
  const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < shortest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) {
    return 0;
  }
  *character = value;
  return length;
}

bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string*) {
  arguments->assign(argv, argv + argc);
  return true;
}

size_t longestPath() { return 0; }

bool absolutePath(const std::string& path, std::string* absolute, std::string* error) {
  // An empty path names nothing, not the current directory.
  if (path.empty() || path[0] == '/') {
    *absolute = path;
    return true;
  }
  // Fails when the current directory has been removed: no place to stand on.
  std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
  if (!cwd) {
    *error = std::string("cannot read the current folder: ") + strerror(errno);
    return false;
  }
  std::string result = cwd.get();
  // Drop "." segments so that "." names the current directory itself.
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    if (!segment.empty() && segment != ".") {
      if (result.empty() || result.back() != '/') result += '/';
      result += segment;
    }
    start = end + 1;
  }
  if (path.back() == '/' && result.back() != '/') result += '/';
  *absolute = result;
  return true;
}

bool changeDirectory(const std::string& path, std::string* error) {
  if (chdir(path.c_str()) == 0) return true;
  *error = strerror(errno);
  return false;
}

namespace {

long long nanoseconds(const struct timespec& time) {
  return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

#ifdef __APPLE__
const struct timespec& writtenAt(const struct stat& st) { return st.st_mtimespec; }
const struct timespec& changedAt(const struct stat& st) { return st.st_ctimespec; }
#else
const struct timespec& writtenAt(const struct stat& st) { return st.st_mtim; }
const struct timespec& changedAt(const struct stat& st) { return st.st_ctim; }
#endif

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool fileStamp(const std::string& path, FileStamp* stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp->size = static_cast<unsigned long long>(st.st_size);
  stamp->writeTime = nanoseconds(writtenAt(st));
  stamp->changeTime = nanoseconds(changedAt(st));
  stamp->volume = static_cast<unsigned long long>(st.st_dev);
  stamp->index = static_cast<unsigned long long>(st.st_ino);
  return true;
}

bool touchFile(const std::string& path, long long* now, std::string* error) {
  // Non-blocking: a pipe planted there must not keep the run waiting.
  FdCloser file{open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0) {
    *error = strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  // Both times become the file system's clock, at its own resolution.
  if (futimens(file.fd, nullptr) != 0 || fstat(file.fd, &st) != 0) {
    *error = strerror(errno);
    return false;
  }
  *now = std::max(nanoseconds(writtenAt(st)), nanoseconds(changedAt(st)));
  return true;
}

bool writeNewFile(const std::string& path, const std::string& content, std::string* error) {
  FdCloser file{open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
  if (file.fd < 0) {
    *error = strerror(errno);
    return false;
  }
  for (size_t done = 0; done < content.size();) {
    ssize_t written = write(file.fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error = written < 0 ? strerror(errno) : "the file system took nothing";
      return false;
    }
    done += static_cast<size_t>(written);
  }
  int fd = file.fd;
  file.fd = -1;
  if (close(fd) != 0) {
    *error = strerror(errno);
    return false;
  }
  return true;
}

void pause(int milliseconds) {
  struct timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&wait, nullptr);
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  *error = strerror(errno);
  return false;
}

struct FileLock {
  int fd;
};

void FileLockReleaser::operator()(FileLock* lock) const {
  close(lock->fd);
  delete lock;
}

LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error) {
  // Never through a link: the lock file is the game root's own.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    *error = strerror(errno);
    return LockStatus::Failed;
  }
  HeldLock held(new FileLock{fd});
  // A lock on the open file, not a file's mere presence: the system drops it
  // when the process ends, so a killed run leaves nothing that blocks.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return LockStatus::Busy;
    *error = strerror(errno);
    return LockStatus::Failed;
  }
  *lock = std::move(held);
  return LockStatus::Held;
}

namespace {

void ignoreSignal(int) {}

}  // namespace

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

namespace {

// The interrupt (SIGINT or SIGQUIT) that came while a command ran, and
// whether one runs: the run ends once that command has, and no other starts.
volatile sig_atomic_t interruption = 0;
volatile sig_atomic_t commandRunning = 0;

// The interrupts the program hears. One ignored or blocked when it started
// is not among them: pending behind the mask, it was never meant for it.
sigset_t watched;

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
  static bool watching = false;
  if (watching) return;
  watching = true;
  // Ignored when the program started, SIGCHLD has the system reap the
  // commands unasked: waitpid would find none to report on.
  struct sigaction reaping;
  if (sigaction(SIGCHLD, nullptr, &reaping) == 0 && reaping.sa_handler == SIG_IGN) {
    signal(SIGCHLD, SIG_DFL);
  }
  sigemptyset(&watched);
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  for (int sig : {SIGINT, SIGQUIT}) {
    struct sigaction previous;
    if (sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    if (sigismember(&blocked, sig) == 1) continue;
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

// Set by the child when the interpreter could not be started: its 127 would
// say the tool was not found.
volatile sig_atomic_t interpreterMissing = 0;

// The stop signals of job control (Ctrl+Z, and a background job's use of the
// terminal).
const int jobStops[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// The child of vfork, which shares the program's memory until it starts the
// interpreter. An interrupt that came before the child was in the process
// group reached the program alone, whose handler has noted it here by now
// (the kernel delivers it before it lets the fork through); one that comes
// later reaches the child too, and at its default ends it before the exec.
// `programMask` is the program's mask, before the stops were held back.
[[noreturn]] void startInterpreter(char* const arguments[], const sigset_t& programMask) {
  sigprocmask(SIG_BLOCK, &watched, nullptr);
  // The child's own handlers: resetting them leaves the program's alone.
  for (int sig : {SIGINT, SIGQUIT}) {
    if (sigismember(&watched, sig) == 1) signal(sig, SIG_DFL);
  }
  if (interruption) _exit(128 + interruption);
  // A stop that comes before the exec is taken by a handler, which the exec
  // resets: stopped before its exec, the child would hold the program in
  // vfork for good, deaf to Ctrl+C. The job's stop reached the program too,
  // which stops once the exec is done. One ignored stays ignored.
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

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
  for (size_t start = 0;;) {
    size_t end = search.find(':', start);
    if (end == std::string::npos) end = search.size();
    // An empty entry is the working directory.
    const std::string folder = end > start ? search.substr(start, end - start) : ".";
    if (isRunnableFile(folder + "/" + name)) return true;
    if (end == search.size()) return false;
    start = end + 1;
  }
}

// A terminal is shared by whoever opened it: no count of its users.
ConsoleUse consoleUse() {
  ConsoleUse use;
  use.inputIsConsole = isatty(0) == 1;
  use.outputIsConsole = isatty(1) == 1;
  return use;
}

void waitForKey() { getchar(); }

}  // namespace platform
