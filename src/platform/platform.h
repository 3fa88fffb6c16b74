// The operating system as the rest of the program sees it: the arguments,
// directory listings, file kinds and stamps, locks, the working directory,
// the standard streams and the console, the command interpreter and the
// programs it finds.
// One implementation per platform (platform-posix.cc, platform-win32.cc),
// picked by the build.
#ifndef ZT_PLATFORM_PLATFORM_H_
#define ZT_PLATFORM_PLATFORM_H_

#include <cstddef>
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

// Whether Windows opens a file of this name as a device in place of a
// file: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9
// (the superscript 1, 2 and 3 count as digits), in any case, with any
// extension and spaces before it. Both builds judge names bound for cmd.
inline bool isDeviceName(const std::u32string& name) {
  std::u32string base = name.substr(0, name.find(U'.'));
  while (!base.empty() && base.back() == U' ') base.pop_back();
  for (char32_t& c : base) c = (c >= U'a' && c <= U'z') ? c - U'a' + U'A' : c;
  if (base == U"CON" || base == U"PRN" || base == U"AUX" || base == U"NUL" ||
      base == U"CONIN$" || base == U"CONOUT$") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, U"COM") != 0 && base.compare(0, 3, U"LPT") != 0)) {
    return false;
  }
  return (base[3] >= U'1' && base[3] <= U'9') || base[3] == 0xB9 || base[3] == 0xB2 ||
         base[3] == 0xB3;
}

struct DirEntry {
  std::string name;
  bool isFolder = false;
  // Why no program can be handed this entry's path as itself (its name does
  // not fit the system's code page, holds a character its names may not, is
  // opened as another file or a device, or the path is too long for the
  // file calls); empty when it can. A refused
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

// `utf8` (a text in UTF-8, such as Notepad saves) in the system's code page,
// converted exactly. Returns false when a character has no place there, and
// names each such character as <U+XXXX> in `error`. On POSIX, where names
// are bytes, the text comes back unchanged.
bool fromUtf8(const std::string& utf8, std::string* text, std::string* error);

// Whether `path` is there but is neither a regular file nor a folder: a
// pipe, a socket or a device, which a read could wait on forever.
bool isSpecialFile(const std::string& path);

// Whether `path` is a pipe (links followed), which a write could wait on
// forever.
bool isPipe(const std::string& path);

// Whether anything at all is at `path`: a file, a folder, a link even if it
// leads nowhere.
bool exists(const std::string& path);

// Whether `path` is a regular file the interpreter could run as a program.
bool isRunnableFile(const std::string& path);

// The character that starts at `text[at]`, in the encoding of the
// program's strings (UTF-8 on POSIX, the system's code page on Windows):
// sets `character` to its Unicode value and returns its length in bytes, or
// returns 0 when the bytes there are no character of that encoding.
size_t decodeCharacter(const std::string& text, size_t at, char32_t* character);

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

// What tells one state of a file from another: which file it is, its size,
// its last-write time, and a second time that whoever writes the file cannot
// set back. On POSIX the file is its device and inode, and the second time
// the status-change time, which every write, rename and setting of the times
// moves. On Windows the file is its volume serial and file index, and the
// second time the file system's change time (FILE_BASIC_INFO.ChangeTime);
// where the file system keeps none (FAT), the creation time, which only
// tells files apart. Times are in the platform's own units (nanoseconds, or
// 100-nanosecond ticks), as fine as the file system keeps them: on some
// only whole seconds, or two.
struct FileStamp {
  unsigned long long size = 0;
  long long writeTime = 0;
  long long changeTime = 0;
  unsigned long long volume = 0;
  unsigned long long index = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && writeTime == other.writeTime &&
           changeTime == other.changeTime && volume == other.volume && index == other.index;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path` (links followed); false when there is no
// regular file there.
bool fileStamp(const std::string& path, FileStamp* stamp);

// Sets the last-write time of the regular file at `path` (never through a
// link) to the present, and sets `now` to the file system's clock as that
// file then shows it (the later of its two times): whatever is written on
// that file system afterwards is stamped at `now` or later.
bool touchFile(const std::string& path, long long* now, std::string* error);

// Creates the file `path` holding `content`: always a new file, never
// through a link or over anything that is there.
bool writeNewFile(const std::string& path, const std::string& content, std::string* error);

// Waits about `milliseconds`.
void pause(int milliseconds);

// Puts `from` in the place of `to` in one step, replacing what is there.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);

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
// started without, so that no file the program opens can take its place,
// and makes a write to a pipe that nobody reads fail instead of ending the
// process. Returns false when standard output was missing.
bool guardStandardStreams();

enum class Stream { Output, Error };

// Writes `text`, in the system's code page, to the standard stream when that
// is a console, converted so that the console shows each character as it is
// whatever its own code page; `written` says whether all of it went through.
// Returns false, writing nothing, when the stream is not a console: a file
// or pipe takes the bytes as they are.
bool writeToConsole(Stream stream, const std::string& text, bool* written);

#ifdef _WIN32
// `text`, in the system's code page, as WriteConsoleW takes it: in UTF-16,
// each line end as the C runtime's text mode writes it ("\r\n").
std::wstring consoleText(const std::string& text);
#endif

// Hands `commandLine` to the interpreter and waits for it. Returns the
// command's exit status, or -1 when the interpreter could not be started.
// Ctrl+C (SIGINT or SIGQUIT on POSIX, Ctrl+C or Ctrl+Break on Windows) ends
// the program once the command it came during has ended, and at once when it
// comes between commands, so that no command starts after it: on POSIX by
// the signal itself, on Windows with exit status 130. From the first command
// on, the program hears it itself, even when the command swallows it.
int runCommandLine(const std::string& commandLine);

// Whether `path` is a folder (links followed).
bool isFolder(const std::string& path);

// Whether the interpreter finds the program that a command names `name`
// bare: cmd looks in the working directory and then along PATH, in each
// folder for the name as it is and then with each extension of PATHEXT
// added; sh looks along PATH only.
bool findProgram(const std::string& name);

// How the process shares its console: the number of processes attached to
// it (1 when it was made for this process alone, as for a program started
// from Explorer; 0 without one, and on systems that have no such console),
// and whether standard input and standard output are a console or terminal.
struct ConsoleUse {
  int processes = 0;
  bool inputIsConsole = false;
  bool outputIsConsole = false;
};
ConsoleUse consoleUse();

// Waits until a key is pressed on the console.
void waitForKey();

}  // namespace platform

#endif  // ZT_PLATFORM_PLATFORM_H_
