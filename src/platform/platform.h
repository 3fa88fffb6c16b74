// The operating system as the rest of the program sees it: file attributes,
// directory listings, the working directory and the command interpreter.
// One implementation per platform (platform-posix.cc, platform-win32.cc),
// picked by the build.
#ifndef ZT_PLATFORM_PLATFORM_H_
#define ZT_PLATFORM_PLATFORM_H_

#include <cstddef>
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
  // Why no program can be handed this entry's path as itself (its name does
  // not fit the system's code page, holds a character its names may not, or
  // the path is too long for the file calls); empty when it can. A refused
  // entry's name shows each character it cannot write as <U+XXXX>.
  std::string refusal;
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

// The program's arguments, argv[0] first, in the system's code page exactly
// as the command line spells them. On Windows they are read again from the
// wide command line, since argv has been best-fit converted (a fullwidth
// quote becomes a real one); an argument that does not fit the code page is
// refused, described in `error`. Elsewhere they are argv as it is.
bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string* error);

// The longest path that the file calls of the program and of the archive
// tool accept, in bytes; 0 where the system reports a path too long itself.
size_t longestPath();

// Sets `absolute` to `path` made absolute against the current directory. An
// absolute path comes back byte for byte unchanged. Returns false, and says
// why in `error`, when the current directory cannot be read or the result
// would be too long.
bool absolutePath(const std::string& path, std::string* absolute, std::string* error);

// Changes the process's working directory. On failure returns false and
// describes the reason in `error`.
bool changeDirectory(const std::string& path, std::string* error);

// Hands `commandLine` to the interpreter and waits for it. Returns the
// command's exit status, or -1 when the interpreter could not be started.
int runCommandLine(const std::string& commandLine);

}  // namespace platform

#endif  // ZT_PLATFORM_PLATFORM_H_
