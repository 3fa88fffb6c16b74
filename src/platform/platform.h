// The operating system as the rest of the program sees it: file attributes,
// directory listings, the working directory and the command interpreter.
// One implementation per platform (platform-posix.cc, platform-win32.cc),
// picked by the build.
#ifndef ZT_PLATFORM_PLATFORM_H_
#define ZT_PLATFORM_PLATFORM_H_

#include <memory>
#include <string>
#include <vector>

namespace platform {

// The command interpreter's language: cmd.exe on Windows, /bin/sh elsewhere.
enum class Shell { Cmd, Sh };

// The interpreter that runCommandLine hands its lines to.
Shell nativeShell();

// The path separator that goes with an interpreter's platform.
inline char separatorOf(Shell shell) { return shell == Shell::Cmd ? '\\' : '/'; }

struct DirEntry {
  std::string name;
  bool isFolder = false;
};

enum class ListingStatus {
  Listed,      // the folder's entries were read
  Missing,     // nothing is there, or it is not a folder
  Unreadable,  // a folder is there but cannot be read; the error says why
};

// Reads the whole listing of `folder` at once, in the order a Windows file
// system gives it: "." and ".." first, then the rest. Reading it once means
// that what is counted and what is packed are the same entries, whatever
// changes in the folder while a run goes on.
ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error);

// Whether `path` is a regular file the interpreter could run as a program.
bool isRunnableFile(const std::string& path);

// `path` made absolute against the current directory. An absolute path comes
// back byte for byte unchanged.
std::string absolutePath(const std::string& path);

// Changes the process's working directory. On failure returns false and
// describes the reason in `error`.
bool changeDirectory(const std::string& path, std::string* error);

// An exclusive lock on a file, held until the lock is destroyed or the
// process ends, however it ends.
struct FileLock;
struct FileLockReleaser {
  void operator()(FileLock* lock) const;
};
using HeldLock = std::unique_ptr<FileLock, FileLockReleaser>;

enum class LockStatus {
  Held,    // the lock is ours
  Busy,    // another process holds it
  Failed,  // the file cannot be opened or locked; the error says why
};

// Opens `path`, creating it if it is not there, and takes an exclusive lock
// on it without waiting. No command the program runs inherits it.
LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error);

// Opens the null device in place of a standard stream the process was
// started without, so that no file the program opens can take its place.
// Returns false when standard output was one of them.
bool guardStandardStreams();

// Hands `commandLine` to the interpreter and waits for it. Returns the
// command's exit status, or -1 when the interpreter could not be started.
int runCommandLine(const std::string& commandLine);

}  // namespace platform

#endif  // ZT_PLATFORM_PLATFORM_H_
