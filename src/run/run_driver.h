// The whole course of a run: the fixed sequence of commands over one game
// root, and the console messages that go with it.
#ifndef ZT_RUN_RUN_DRIVER_H_
#define ZT_RUN_RUN_DRIVER_H_

#include <string>

#include "run/arguments.h"

// Rebuilds the archives below `gameRoot`. Returns the exit status: 0 when
// every command succeeded, 1 when the game root cannot be entered, is no game
// root, has no archive tool or cannot be locked, or anything failed. A Ctrl+C
// ends the program between two commands.
int rebuildArchives(const std::string& gameRoot, const RunOptions& options);

#endif  // ZT_RUN_RUN_DRIVER_H_
