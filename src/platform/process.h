// Running commands: the command interpreter, the programs it finds, and what
// Ctrl+C does to a run while its commands start and go on.
// One implementation per platform (process-posix.cc, process-win32.cc).
#ifndef ZT_PLATFORM_PROCESS_H_
#define ZT_PLATFORM_PROCESS_H_

#include <string>

namespace platform {

// The command interpreter's language: cmd.exe on Windows, /bin/sh elsewhere.
enum class Shell { Cmd, Sh };

// The interpreter that runCommandLine hands its lines to.
Shell nativeShell();

// The path separator that goes with an interpreter's platform.
inline char separatorOf(Shell shell) { return shell == Shell::Cmd ? '\\' : '/'; }

// Whether `c` parts the names of a path there: "/" everywhere, "\" on Windows too.
inline bool isSeparator(Shell shell, char c) { return c == '/' || c == separatorOf(shell); }

// Hands `commandLine` to the interpreter and waits for it. Returns the
// command's exit status, or -1 when the interpreter could not be started.
// Ctrl+C (SIGINT or SIGQUIT on POSIX, Ctrl+C or Ctrl+Break on Windows) ends
// the program once the command it came during has ended, and at once when it
// comes between commands, so that no command starts after it: on POSIX by
// the signal itself, on Windows with exit status 130. From the first command
// on, the program hears it itself, even when the command swallows it.
int runCommandLine(const std::string& commandLine);

// Whether the interpreter finds the program that a command names `name`
// bare: cmd looks in the working directory and then along PATH, in each
// folder for the name as it is and then with each extension of PATHEXT
// added; sh looks along PATH only.
bool findProgram(const std::string& name);

// Whether `path` is a regular file the interpreter could run as a program.
bool isRunnableFile(const std::string& path);

}  // namespace platform

#endif  // ZT_PLATFORM_PROCESS_H_
