// How the command line is read: the options, the game root as the user typed
// it and the words after it; and the hint given when that root cannot be
// entered.
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
  // The words that followed the game root on the command line: ignored, but
  // for a hint when the game root cannot be entered.
  std::vector<std::string> wordsAfterRoot;
};

// What the command line asks for.
struct Request {
  enum class Kind { Run, Help, Version, UsageError };
  Kind kind = Kind::Run;
  std::string gameRoot;  // as typed (gameRootAsTyped)
  RunOptions options;
  std::string problem;  // for a usage error; empty when the game root is missing
};

// Reads `arguments` (argv, exactly as the command line spells it), options
// first, in order: the first one that answers or is unknown decides. On
// Windows, switches are written the way cmd's own commands take them too
// (/changed for --changed, /? for --help), in any case.
Request readArguments(platform::Shell shell, const std::vector<std::string>& arguments);

// The switches a Windows user may write, as the usage and the hint list them.
std::string windowsSwitches();

// The game root argument as the user typed it. For cmd a trailing double
// quote stands for the backslash before it: "C:\My Game\" reaches the
// program as C:\My Game" by the C runtime's rule for \", and no Windows path
// holds a quote. By the same rule the words typed after it, as in
// "C:\My Game\" /changed, stay in the argument after the quote: they are
// added to `wordsAfter`. Elsewhere the argument is used as it is.
std::string gameRootAsTyped(platform::Shell shell, const std::string& argument,
                            std::vector<std::string>* wordsAfter = nullptr);

// `path` as one word typed to the interpreter: for cmd in double quotes when
// it holds a space or a tab; for sh in single quotes when it holds anything
// but letters, digits and / . _ - + , : @ %.
std::string typedForm(platform::Shell shell, const std::string& path);

// Called when the game root `argument` cannot be entered: when words
// followed it on the command line, says on stderr that a path with spaces
// needs quotes, and shows the quoted form; for cmd, a root that looks like
// a switch is named as no option instead.
void hintAtQuotes(const std::string& argument, const std::vector<std::string>& wordsAfter);

#endif  // ZT_RUN_ARGUMENTS_H_
