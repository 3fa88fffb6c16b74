// The standard streams and the console: keeping the streams safe to write,
// showing text on a console as its characters, and how the console is shared.
// One implementation per platform (console-posix.cc, console-win32.cc).
#ifndef ZT_PLATFORM_CONSOLE_H_
#define ZT_PLATFORM_CONSOLE_H_

#include <string>

namespace platform {

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

#endif  // ZT_PLATFORM_CONSOLE_H_
