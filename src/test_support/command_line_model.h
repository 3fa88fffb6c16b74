// A second reading of the command lines the program builds, for the fuzz
// targets: how /bin/sh, and cmd.exe followed by a program's C runtime, split
// a line into a program's words. Written from the interpreters' documented
// rules alone, never from the program's own quoting, so that the two can be
// held against each other. Whatever the model cannot read with certainty (an
// expansion, an operator, a quote left open) is a fault, never a guess.
#ifndef ZT_TEST_SUPPORT_COMMAND_LINE_MODEL_H_
#define ZT_TEST_SUPPORT_COMMAND_LINE_MODEL_H_

#include <string>
#include <vector>

struct ModelCommand {
  // Why the line is not a plain command whose output is appended to one
  // file; empty when it is.
  std::string fault;
  // The program and its arguments, as the program receives them.
  std::vector<std::string> words;
  // The file that standard output is appended to (">> NAME").
  std::string appendsTo;
};

// The line as `sh -c LINE` runs it.
ModelCommand modelShCommand(const std::string& line);

// How a C runtime reads `""` inside quotes: Microsoft's runtimes since 2008
// (and Wine's) as a literal quote that keeps the quotes open; older ones as
// a literal quote that closes them.
enum class RuntimeQuotes { DoubledQuoteStaysQuoted, DoubledQuoteCloses };

// The line as `cmd.exe /c LINE` runs it (what the C library's system()
// hands over), with the program's arguments as its C runtime reads them.
ModelCommand modelCmdCommand(const std::string& line, RuntimeQuotes runtime);

#endif  // ZT_TEST_SUPPORT_COMMAND_LINE_MODEL_H_
