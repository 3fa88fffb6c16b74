// What a run checks before it writes anything (no log, no lock): that the
// folder it was given is a game root and that the interpreter will find the
// archive tool; and, before it runs anything, that the tool's output can go
// to the log. Each refusal is one message on stderr that says what to do
// instead.
#ifndef ZT_RUN_PREFLIGHT_H_
#define ZT_RUN_PREFLIGHT_H_

#include <string>

#include "platform/files.h"

// Whether `gameRoot`, the working directory, holds the modification folder.
// When not, says on stderr what is wrong and what to do (naming the game
// root the user probably meant when `gameRoot` is the modification folder,
// a staging folder or the expansion folder) and returns false.
bool isGameRoot(const std::string& gameRoot);

// Whether the archive tool is in `gameRoot`, the working directory, or along
// the search path. When not, says on stderr what to do and returns false.
bool findsTheTool(const std::string& gameRoot);

// Whether `where`, what a file of the game root leads to, is that very file
// (`ownPath`, resolved): a regular file, and no link.
bool isOwnFile(const std::string& ownPath, const platform::Destination& where);

// Whether the interpreter's redirection can create or append to the log at
// `logPath` (resolved: `resolvedLogPath`), as itself:
// not a folder, a link (but one to the null device), a file with other names
// (a hard link), a pipe, which would keep the run waiting, or a device, and
// a file it may write. A dry run, which writes nothing, does not try to
// create it. When not, says on stderr why and what to do, and returns false.
bool logCanBeWritten(const std::string& logPath, const std::string& resolvedLogPath,
                     bool dryRun);

#endif  // ZT_RUN_PREFLIGHT_H_
