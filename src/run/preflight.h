// What a run checks before it writes anything (no log, no lock): that the
// folder it was given is a game root and that the interpreter will find the
// archive tool. Each refusal is one message on stderr that says what to do
// instead.
#ifndef ZT_RUN_PREFLIGHT_H_
#define ZT_RUN_PREFLIGHT_H_

#include <string>

// Whether the run may start in `gameRoot`, the working directory: it holds
// the modification folder, and the archive tool is in it or along the search
// path. When not, says on stderr what is wrong and what to do (naming the
// game root the user probably meant when `gameRoot` is the modification
// folder or the expansion folder) and returns false.
bool readyToRun(const std::string& gameRoot);

#endif  // ZT_RUN_PREFLIGHT_H_
