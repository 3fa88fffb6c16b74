#include "tool/command_line.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "tool/fixed_names.h"

using platform::Shell;

namespace {

// What every command that feeds the log ends with.
std::string logTail() { return std::string(" >> ") + names::kLogFile; }

// The run of backslashes that ends text[0, end).
size_t backslashesBefore(const std::string& text, size_t end) {
  size_t count = 0;
  while (count < end && text[end - 1 - count] == '\\') ++count;
  return count;
}

}  // namespace

std::string modFolderPiece() { return std::string(names::kModFolder) + "\\"; }

bool isControlCharacter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7f;
}

// The arguments that a program's C runtime reads from `text`, which follows
// the program's name on its command line: spaces and tabs part them outside
// double quotes; 2n backslashes before a quote are n and a real quote, 2n+1
// are n and a literal one; other backslashes are data.
std::vector<std::string> runtimeWords(const std::string& text, DoubledQuote rule,
                                      std::vector<bool>* quotedAt) {
  std::vector<std::string> words;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size();) {
    // A run of backslashes, or a quote they make literal, leaves the quotes as they were.
    if (quotedAt) quotedAt->resize(i + 1, quoted);
    const char c = text[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      inWord = false;
      ++i;
      continue;
    }
    if (!inWord) words.emplace_back();
    inWord = true;
    std::string& word = words.back();
    if (c == '\\') {
      size_t run = 0;
      for (; i < text.size() && text[i] == '\\'; ++i) ++run;
      const bool beforeQuote = i < text.size() && text[i] == '"';
      word.append(beforeQuote ? run / 2 : run, '\\');
      if (beforeQuote && run % 2 == 1) word += text[i++];
    } else if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        word += '"';
        i += 2;
        if (rule == DoubledQuote::EndsQuotes) quoted = false;
      } else {
        quoted = !quoted;
        ++i;
      }
    } else {
      word += c;
      ++i;
    }
  }
  if (quotedAt) quotedAt->resize(text.size(), quoted);
  return words;
}

// cmd.exe replaces %NAME% by a variable's value, even between double quotes,
// and nothing escapes a "%" on its command line. So every run of "%" is
// given a double quote right before and right after it, which no variable's
// name holds, in a way that leaves the program's arguments as they were:
// between quotes the run is closed out of them and they are opened again;
// outside quotes it gets a pair of its own, or a quote that stands beside it
// already serves, since a closing quote followed by another one would be
// read as a literal quote. A quote written here is preceded by twice the
// backslashes before it, so that they stay data and the quote still works.
std::string hidePercents(const std::string& text) {
  std::vector<bool> quotedAt;
  runtimeWords(text, DoubledQuote::StaysQuoted, &quotedAt);
  std::string hidden;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      hidden += text[i];
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] == '%') ++end;
    const std::string run(end - i, '%');
    const bool quoteBefore = i > 0 && text[i - 1] == '"';
    const bool quoteAfter = end < text.size() && text[end] == '"';
    const std::string backslashes(backslashesBefore(text, i), '\\');
    if (quotedAt[i] || (!quoteBefore && !quoteAfter)) {
      hidden += backslashes + '"' + run + '"';
    } else if (!quoteBefore) {
      hidden += backslashes + "\"\"" + run;
    } else if (!quoteAfter) {
      hidden += run + "\"\"";
    } else {
      hidden += run;
    }
    i = end - 1;
  }
  return hidden;
}

size_t findOutsideQuotes(const std::string& text, std::string_view characters, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && characters.find(text[i]) != std::string_view::npos) {
      return i;
    }
  }
  return std::string::npos;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t end = 0;
  for (size_t start; (start = line.find_first_not_of(" \t", end)) != std::string::npos;) {
    end = std::min(findOutsideQuotes(line, " \t", start), line.size());
    std::string word = line.substr(start, end - start);
    word.erase(std::remove(word.begin(), word.end(), '"'), word.end());
    words.push_back(word);
  }
  return words;
}

namespace {

// `path` as one argument of a cmd line, in double quotes. Returns nothing for
// a path that holds a quote or a control character, which would end cmd's
// quotes or its line: no Windows name holds one, but Wine lists Unix names.
std::optional<std::string> cmdQuote(const std::string& path) {
  for (char c : path) {
    if (c == '"' || isControlCharacter(c)) return std::nullopt;
  }
  std::string quoted = "\"" + hidePercents(path);
  quoted.append(backslashesBefore(path, path.size()), '\\');
  return quoted + "\"";
}

}  // namespace

Dialect dialectFor(Shell shell, bool toolInWorkingDirectory) {
  const bool local = shell == Shell::Sh && toolInWorkingDirectory;
  return Dialect{shell, (local ? "./" : "") + toolFileName(shell)};
}

std::string toolFileName(Shell shell) {
  return shell == Shell::Cmd ? names::kToolFileCmd : names::kTool;
}

std::string localPath(const Dialect& dialect, const std::string& piece) {
  std::string path = piece;
  if (dialect.shell == Shell::Sh) std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string pathInGameRoot(const std::string& gameRoot, const std::string& piece) {
  const std::string tail = localPath(dialectFor(platform::nativeShell(), false), "\\" + piece);
  const bool top =
      !gameRoot.empty() && platform::isSeparator(platform::nativeShell(), gameRoot.back());
  return gameRoot + (top ? tail.substr(1) : tail);
}

bool sameName(Shell shell, const std::string& a, const std::string& b) {
  return shell == Shell::Cmd ? platform::compareAnyCase(a, b) == 0 : a == b;
}

std::string shQuote(const std::string& word) {
  std::string quoted = "'";
  // A quote ends the quoted stretch, stands escaped, and opens another.
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string startLogCommand() { return std::string("echo ZT Log Start > ") + names::kLogFile; }

std::optional<std::string> addFileCommand(const Dialect& dialect, const std::string& archive,
                                          const std::string& stagedPath, std::string* refusal) {
  std::optional<std::string> quotedPath =
      dialect.shell == Shell::Cmd ? cmdQuote(stagedPath) : shQuote(stagedPath);
  if (!quotedPath) {
    if (refusal) *refusal = "its path holds a double quote or a control character";
    return std::nullopt;
  }
  return dialect.tool + " " + localPath(dialect, modFolderPiece() + archive) + " " + *quotedPath +
         " /force" + logTail();
}

size_t maxCommandLength(const Dialect& dialect) {
  return dialect.shell == Shell::Cmd ? 8191 : 128 * 1024 - 1;
}

std::string modFolderAndLine(const std::string& line) {
  const size_t archive = std::min(line.find_first_not_of(" \t"), line.size());
  std::string folder = modFolderPiece();
  if (line[archive] == '"') folder += '\\';
  return folder + line.substr(archive);
}

std::string uncheckedDeleteListCommand(const Dialect& dialect, const std::string& line) {
  if (dialect.shell == Shell::Cmd) {
    return dialect.tool + " " + hidePercents(modFolderAndLine(line)) + logTail();
  }
  std::vector<std::string> words = splitWords(line);
  std::string command = dialect.tool;
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = i == 0 ? localPath(dialect, modFolderPiece() + words[0]) : words[i];
    command += " " + shQuote(word);
  }
  return command + logTail();
}

std::string optimizeCommand(const Dialect& dialect) {
  return dialect.tool + " " + localPath(dialect, modFolderPiece() + names::kMainArchive) + " /opt";
}
