// The program's console output, and whether standard output took all of it.
// A run goes to its end even when it cannot write there; it then exits 1.
#ifndef ZT_TOOL_CONSOLE_H_
#define ZT_TOOL_CONSOLE_H_

#include <string>

// `text` with every control character shown as "?", so that no name from the
// file system can move the cursor, clear or retitle the user's terminal.
std::string printable(const std::string& text);

// Writes `text` to standard output, without a line end.
void writeOut(const std::string& text);
// Writes `text` and a line end, then flushes standard output.
void writeLine(const std::string& text);
void flushOut();

// Records that standard output was missing when the program started.
void noteMissingOutput();
// Why standard output could not be written, as said where it failed; empty
// while every write has gone through.
const std::string& outputError();

#endif  // ZT_TOOL_CONSOLE_H_
