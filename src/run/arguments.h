// Reads the command line: the options, the game root as typed and the words
// after it.
#ifndef ZT_RUN_ARGUMENTS_H_
#define ZT_RUN_ARGUMENTS_H_

#include <string>
#include <vector>

#include "platform/process.h"

struct RunOptions {
  // Pack only the staged files that changed since the last such run.
  bool changedOnly = false;
  // Show the command lines instead of running them; write nothing.
  bool dryRun = false;
  // The words that followed the game root on the command line: ignored,
  // which the run says once.
  std::vector<std::string> wordsAfterRoot;
  // The game root and those words, joined and quoted as the user probably
  // meant them: shown should the game root be wrong. Empty when no words
  // followed, and on POSIX, whose shell has split the words itself: there
  // they may as well be several folders that one pattern matched.
  std::string quotedRoot;
};

// What the command line asks for.
struct Request {
  enum class Kind { Run, Help, Version, UsageError };
  Kind kind = Kind::Run;
  std::string gameRoot;  // as typed (gameRootAsTyped)
  RunOptions options;
  std::string problem;  // for a usage error; empty when the game root is missing
};

// Reads `arguments` (argv as typed), options first: the first that asks for
// help or the version, or is unknown, decides. On Windows, cmd-style
// switches (/changed, /?) work too, in any case. Words after the game root
// that make a folder with it are a path with spaces typed without quotes: a
// usage error.
Request readArguments(platform::Shell shell, const std::vector<std::string>& arguments);

// The switches a Windows user may write, as the usage and the hint list them.
std::string windowsSwitches();

// The game root argument as the user typed it. For cmd a double quote in it
// stands for a backslash before a closing quote ("C:\My Game\" reaches the
// program as C:\My Game" by the C runtime's rule for \"; no Windows path
// holds a quote), and the words after it go to `wordsAfter`.
std::string gameRootAsTyped(platform::Shell shell, const std::string& argument,
                            std::vector<std::string>* wordsAfter = nullptr);

// `path` as one word typed to the interpreter: for cmd in double quotes when
// it holds a space or a tab; for sh in single quotes when it holds anything
// but letters, digits and / . _ - + , : @ %.
std::string typedForm(platform::Shell shell, const std::string& path);

// Called when the game root cannot be entered or is no game root: when
// words followed it on the command line, says on stderr that a path with
// spaces needs quotes, and shows the quoted form (`options.quotedRoot`).
void hintAtQuotes(const RunOptions& options);

// Says once on stderr that the words after the game root were ignored, when
// there were any.
void noteIgnoredWords(const RunOptions& options);

#endif  // ZT_RUN_ARGUMENTS_H_
