// The archive tool's command lines, in the dialect of the interpreter that
// runs them: every word from outside the program reaches the tool unchanged,
// so that no file name can run a command.
#ifndef ZT_TOOL_COMMAND_LINE_H_
#define ZT_TOOL_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

struct Dialect {
  platform::Shell shell;
  std::string tool;  // how the command names the archive tool
};

// The dialect of `shell`. cmd.exe finds "pack.exe" in the working directory
// before the search path; sh must be told "./pack" to get the same.
Dialect dialectFor(platform::Shell shell, bool toolInWorkingDirectory);

// The archive tool's file name in the working directory.
std::string toolFileName(platform::Shell shell);

// The modification folder as commands write it before an archive's name,
// separator included: expansion\zt\ (localPath() carries it over).
std::string modFolderPiece();

// A fixed path piece, written with backslashes, in the dialect's separator.
std::string localPath(const Dialect& dialect, const std::string& piece);

// The path of `piece` (written with backslashes) in `gameRoot`, in the
// platform's separator; in a top folder, without a second separator.
std::string pathInGameRoot(const std::string& gameRoot, const std::string& piece);

// Whether two file names are the same as the shell's file systems compare
// them: cmd's in any case (of ASCII letters, all that the fixed names hold).
bool sameName(platform::Shell shell, const std::string& a, const std::string& b);

// `word` as one sh word, in single quotes.
std::string shQuote(const std::string& word);

// Creates or empties the run log.
std::string startLogCommand();

// Adds `stagedPath` to `archive` in the modification folder, the tool's
// output appended to the log. Nothing, and why in `refusal`, for a path that
// holds a quote or a control character, which cmd cannot take as one word.
std::optional<std::string> addFileCommand(const Dialect& dialect, const std::string& archive,
                                          const std::string& stagedPath,
                                          std::string* refusal = nullptr);

// A delete-list line after the modification folder, as the cmd dialect
// hands them to the tool: the blanks before the archive's name are dropped,
// which would part it from the folder, and the folder's last backslash is
// doubled before a quote that opens the name, which would otherwise make it
// a literal quote (the C runtime reads 2 backslashes and a quote as 1 and a
// real quote).
std::string modFolderAndLine(const std::string& line);

// Replays one line of the delete list (an archive's name in the modification
// folder, then the tool's arguments): for cmd as modFolderAndLine() joins it,
// its "%" hidden; for sh split into words, each quoted. Whether the line may
// run at all is for delete_line_rules.h to say.
std::string uncheckedDeleteListCommand(const Dialect& dialect, const std::string& line);

// The longest command line the dialect's interpreter accepts: cmd.exe's
// 8,191 characters; for sh, the one argument of 128 KiB, terminator
// included, that the system passes as the interpreter's command.
size_t maxCommandLength(const Dialect& dialect);

// Whether `c` is a control character other than a tab: one would end cmd's
// line or its quotes.
bool isControlCharacter(char c);

// How the C runtime reads a quote inside quotes that another quote follows:
// as a literal quote that keeps the quotes open (Wine's runtime, and newer
// ones of Microsoft's), or one that closes them (older ones).
enum class DoubledQuote { StaysQuoted, EndsQuotes };

// The arguments that a program's C runtime reads from `text`, which follows
// the program's name on its command line. With `quotedAt`, also whether it
// reads each byte of `text` between double quotes.
std::vector<std::string> runtimeWords(const std::string& text, DoubledQuote rule,
                                      std::vector<bool>* quotedAt = nullptr);

// `text` with every run of "%" kept from cmd.exe's variable expansion by
// double quotes, in a way that leaves the C runtime's words as they were
// where it can.
std::string hidePercents(const std::string& text);

// The first of `characters` in `text`, from `from` on, that stands outside
// double quotes as cmd and sh pair them (each quote opens or closes), or npos.
// `from` is outside quotes.
size_t findOutsideQuotes(const std::string& text, std::string_view characters, size_t from = 0);

// The words of a delete-list line as the sh dialect hands them to the tool:
// spaces and tabs part them, double quotes keep a stretch together and are
// dropped.
std::vector<std::string> splitWords(const std::string& line);

// Optimizes the main archive; its output goes to the console.
std::string optimizeCommand(const Dialect& dialect);

#endif  // ZT_TOOL_COMMAND_LINE_H_
