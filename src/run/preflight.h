// What a run checks before it writes anything (no log, no lock): that the
// folder it was given is a game root and that the interpreter will find the
// archive tool; and how the game root argument is read. Each refusal is one
// message on stderr that says what to do instead.
#ifndef ZT_RUN_PREFLIGHT_H_
#define ZT_RUN_PREFLIGHT_H_

#include <string>
#include <vector>

#include "platform/process.h"

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

// Whether the run may start in `gameRoot`, the working directory: it holds
// the modification folder, and the archive tool is in it or along the search
// path. When not, says on stderr what is wrong and what to do (naming the
// game root the user probably meant when `gameRoot` is the modification
// folder or the expansion folder) and returns false.
bool readyToRun(const std::string& gameRoot);

#endif  // ZT_RUN_PREFLIGHT_H_
