#include "tool/command_line.h"

#include <algorithm>
#include <vector>

using platform::Shell;

namespace {

const char kLogTail[] = " >> ztlog.txt";
const char kModFolder[] = "expansion\\zt\\";

bool isControl(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7f;
}

// Whether cmd.exe would find a command separator, a pipe or a redirection in
// `line`: these only lose their meaning between double quotes.
bool hasCmdOperator(const std::string& line) {
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == '&' || c == '|' || c == '<' || c == '>' || c == '^')) {
      return true;
    }
  }
  return false;
}

// cmd.exe replaces %NAME% by a variable's value, even between double quotes,
// and nothing escapes a "%" on its command line. Putting each run of "%" into
// quotes of its own (or out of them) leaves the program's arguments as they
// were but makes every %...% enclose a quote, which no variable's name holds.
std::string hidePercents(const std::string& text) {
  std::string hidden;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && (i == 0 || text[i - 1] != '%')) hidden += '"';
    hidden += text[i];
    if (text[i] == '%' && (i + 1 == text.size() || text[i + 1] != '%')) hidden += '"';
  }
  return hidden;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (!quoted && (c == ' ' || c == '\t')) {
      inWord = false;
      continue;
    }
    if (!inWord) words.emplace_back();
    inWord = true;
    if (c == '"') {
      quoted = !quoted;
    } else {
      words.back() += c;
    }
  }
  return words;
}

}  // namespace

Dialect dialectFor(Shell shell, bool toolInWorkingDirectory) {
  if (shell == Shell::Cmd) return Dialect{shell, "pack.exe"};
  return Dialect{shell, toolInWorkingDirectory ? "./pack" : "pack"};
}

std::string toolFileName(Shell shell) { return shell == Shell::Cmd ? "pack.exe" : "pack"; }

std::string localPath(const Dialect& dialect, const std::string& piece) {
  std::string path = piece;
  if (dialect.shell == Shell::Sh) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
  }
  return path;
}

std::string shQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string startLogCommand(const Dialect&) { return "echo ZT Log Start > ztlog.txt"; }

std::string addCommand(const Dialect& dialect, const std::string& archive,
                       const std::string& stagedPath) {
  std::string quotedPath =
      dialect.shell == Shell::Cmd ? "\"" + hidePercents(stagedPath) + "\"" : shQuote(stagedPath);
  return dialect.tool + " " + localPath(dialect, kModFolder + archive) + " " + quotedPath +
         " /force" + kLogTail;
}

size_t maxCommandLength(const Dialect& dialect) {
  return dialect.shell == Shell::Cmd ? 8191 : 128 * 1024 - 1;
}

std::string tooLongRefusal(const Dialect& dialect) {
  return "its command would be longer than the " + std::to_string(maxCommandLength(dialect)) +
         " characters that the interpreter accepts";
}

std::optional<std::string> deleteListCommand(const Dialect& dialect, const std::string& line,
                                             std::string* refusal) {
  auto refuse = [&](const std::string& reason) -> std::optional<std::string> {
    if (refusal) *refusal = reason;
    return std::nullopt;
  };
  for (char c : line) {
    if (isControl(c)) return refuse("it holds a control character");
  }
  // cmd would take the rest of the command into the quote; sh would read it
  // otherwise than cmd does.
  if (std::count(line.begin(), line.end(), '"') % 2 != 0) {
    return refuse("a double quote in it is never closed");
  }
  std::string command;
  if (dialect.shell == Shell::Cmd) {
    if (hasCmdOperator(line)) {
      return refuse("it holds & | < > or ^ outside double quotes, which would run another "
                    "command or redirect its output");
    }
    command = dialect.tool + " " + kModFolder + hidePercents(line) + kLogTail;
  } else {
    std::vector<std::string> words = splitWords(line);
    command = dialect.tool;
    for (size_t i = 0; i < words.size(); ++i) {
      std::string word = i == 0 ? localPath(dialect, kModFolder + words[0]) : words[i];
      command += " " + shQuote(word);
    }
    command += kLogTail;
  }
  if (command.size() > maxCommandLength(dialect)) return refuse(tooLongRefusal(dialect));
  return command;
}

std::string optimizeCommand(const Dialect& dialect) {
  return dialect.tool + " " + localPath(dialect, std::string(kModFolder) + "zt.pff") + " /opt";
}
