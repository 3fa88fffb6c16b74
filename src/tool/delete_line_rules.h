// The rules that keep a delete-list line from being run, in one ordered
// table: a line is checked against them in turn, and the first one it breaks
// is the one reported.
#ifndef ZT_TOOL_DELETE_LINE_RULES_H_
#define ZT_TOOL_DELETE_LINE_RULES_H_

#include <optional>
#include <string>
#include <vector>

#include "tool/command_line.h"

// A line as a rule judges it: its text, and the words the tool is handed
// for it (the archive's without the modification folder before it) as the
// rule's reading of a doubled quote has them.
struct JudgedLine {
  const Dialect& dialect;
  const std::string& text;
  std::vector<std::string> words;
};

struct DeleteLineRule {
  const char* name;
  // Why the line is not run; "{}" stands for what the check found.
  const char* message;
  bool cmdOnly;  // sh reads the line otherwise, and this cannot happen there
  // How the tool's C runtime is taken to read a doubled quote, for a rule on
  // its words: both readings must be safe.
  DoubledQuote reading;
  // What in the line breaks the rule (a word, or nothing to name), or
  // nothing when the line keeps it.
  std::optional<std::string> (*check)(const JudgedLine& line);
};

// The rules in the order they are tried. A line holding a control character
// or a lone double quote is refused before it is split into words. The rules
// on words are tried on the words sh is handed or, for cmd, the ones newer C
// runtimes read, then on the ones older runtimes read (how they read a
// doubled quote differs); the hiding of "%" and the command's length last.
// A message names what the line should say where it can, and shows the
// line's words through printable().
const std::vector<DeleteLineRule>& deleteLineRules();

struct DeleteLineRefusal {
  const DeleteLineRule* rule;
  std::string message;
};

// What in `line` breaks `rule` in `dialect`, or nothing when it keeps it.
std::optional<std::string> breaksRule(const DeleteLineRule& rule, const Dialect& dialect,
                                      const std::string& line);

// The first rule of the table that `line` breaks in `dialect`, with its
// message, or nothing when the line may be run.
std::optional<DeleteLineRefusal> refuseDeleteLine(const Dialect& dialect, const std::string& line);

// The command that replays `line` (uncheckedDeleteListCommand), or nothing
// for a line that breaks one of the rules, and why in `refusal`.
std::optional<std::string> deleteListCommand(const Dialect& dialect, const std::string& line,
                                             std::string* refusal = nullptr);

// The archive's word of `line`, as the tool is handed it after the
// modification folder: first as sh or newer C runtimes read it, then, where
// older runtimes read a doubled quote otherwise, as they do. What must hold
// of the archive the tool opens must hold of each.
std::vector<std::string> archiveWords(const Dialect& dialect, const std::string& line);

// Why a delete-list line whose command would be longer than
// maxCommandLength() is not run.
std::string tooLongRefusal(const Dialect& dialect);

#endif  // ZT_TOOL_DELETE_LINE_RULES_H_
