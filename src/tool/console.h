// The program's console output, and whether standard output took all of it.
// A run goes to its end even when it cannot write there; it then exits 1.
#ifndef ZT_TOOL_CONSOLE_H_
#define ZT_TOOL_CONSOLE_H_

#include <string>

// `text` with every control character and bidirectional override shown as
// <U+XXXX>, so that no name from the file system can move the cursor, clear
// or retitle the user's terminal, or show its text reversed; a byte that is
// no character but a C1 control to an 8-bit terminal is shown as "?".
// Characters are read in the encoding of the program's strings: on Windows a
// byte of the code page is masked where that code page makes it a control
// (in 1252, 0x81, 0x8D, 0x8F, 0x90 and 0x9D), not where it is a letter (0x80
// is the euro sign, 0x9B a quotation mark).
std::string printable(const std::string& text);

// Writes `text` to standard output, without a line end.
void writeOut(const std::string& text);
// Writes `text` and a line end, then flushes standard output.
void writeLine(const std::string& text);
void flushOut();

// Writes a carriage return, flushes, then writes `text` and at least `pad`
// spaces over the line that standard output has open, without a flush; more
// spaces where fewer would leave part of what that line showed.
void overwriteLine(const std::string& text, size_t pad);

// Writes "zt-rebuild: ", `message` and a line end to standard error, on a
// line of its own: a line left open on standard output (the progress line)
// is ended and flushed first, since both often go to one terminal. Every
// message of the program goes out this way, so that a Windows console shows
// it in its own characters.
void writeError(const std::string& message);
// The same for `text` as it is, without the program's name: the usage.
void writeErrorText(const std::string& text);

// Records that standard output was missing when the program started.
void noteMissingOutput();
// Why standard output could not be written, as said where it failed; empty
// while every write has gone through.
const std::string& outputError();
// The exit status that standard output leaves: 0 while every write has gone
// through; else 1, once it has said on stderr why it could not be written.
int outputStatus();

#endif  // ZT_TOOL_CONSOLE_H_
