#include "tool/command_line.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/text.h"

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

// The run of backslashes that ends text[0, end).
size_t backslashesBefore(const std::string& text, size_t end) {
  size_t count = 0;
  while (count < end && text[end - 1 - count] == '\\') ++count;
  return count;
}

// How the C runtime reads a quote inside quotes that another quote follows:
// as a literal quote that keeps the quotes open (Wine's runtime, and newer
// ones of Microsoft's), or one that closes them (older ones).
enum class DoubledQuote { StaysQuoted, EndsQuotes };

// The arguments that a program's C runtime reads from `text`, which follows
// the program's name on its command line: spaces and tabs part them outside
// double quotes; 2n backslashes before a quote are n and a real quote, 2n+1
// are n and a literal one; other backslashes are data.
std::vector<std::string> runtimeWords(const std::string& text, DoubledQuote rule) {
  std::vector<std::string> words;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size();) {
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
  std::string hidden;
  bool quoted = false;  // as the C runtime reads the text up to `i`
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      hidden += c;
      if (backslashesBefore(text, i) % 2 == 1) continue;  // a literal quote
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        hidden += text[++i];  // a literal quote, and the quotes stay open
      } else {
        quoted = !quoted;
      }
      continue;
    }
    if (c != '%') {
      hidden += c;
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] == '%') ++end;
    const std::string run(end - i, '%');
    const bool quoteBefore = i > 0 && text[i - 1] == '"';
    const bool quoteAfter = end < text.size() && text[end] == '"';
    const std::string backslashes(backslashesBefore(text, i), '\\');
    if (quoted || (!quoteBefore && !quoteAfter)) {
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

// `path` as one argument of a cmd line, in double quotes. Returns nothing for
// a path that holds a quote or a control character, which would end cmd's
// quotes or its line: no Windows name holds one, but Wine lists Unix names.
std::optional<std::string> cmdQuote(const std::string& path) {
  for (char c : path) {
    if (c == '"' || isControl(c)) return std::nullopt;
  }
  std::string quoted = "\"" + hidePercents(path);
  quoted.append(backslashesBefore(path, path.size()), '\\');
  return quoted + "\"";
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

// Whether `word` names a folder above the one it is read in: "..", or what
// Windows reads as "..", since it drops dots and spaces that end a name.
bool isParentName(const std::string& word) {
  return std::count(word.begin(), word.end(), '.') >= 2 &&
         word.find_first_not_of(". ") == std::string::npos;
}

bool hasDrive(const std::string& word) {
  return word.size() >= 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]));
}

// A tool switch such as "/del": a slash and letters.
bool isSwitch(const std::string& word) {
  return word.size() >= 2 && word[0] == '/' &&
         std::all_of(word.begin() + 1, word.end(),
                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

// The first word of `words` (the archive, in the modification folder) or
// another one that could lead the tool out of the modification folder, or
// nothing. Archive entries are base names, so no removal needs a path; with
// none, every word is a name in the folder the tool resolves it against.
std::optional<std::string> placeOutside(const std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (i > 0 && isSwitch(word)) continue;
    if (word.find_first_of("/\\") != std::string::npos || hasDrive(word) || isParentName(word)) {
      return word;
    }
  }
  return std::nullopt;
}

std::string outsideRefusal(const std::string& word) {
  return "it names a place outside the modification folder: " + word;
}

bool isToolSwitch(const std::string& word) {
  const std::string lower = lowerAscii(word);
  return lower == "/del" || lower == "/force" || lower == "/opt" || lower == "/list" ||
         lower == "/verify" || lower == "/extract";
}

// A word after the archive that the tool would take as a file in the game
// root, its working folder: every such word of a line that adds, and the
// destination of one that extracts (a library planted beside the game is
// loaded by it). Only the names a removal is given are entry names, which
// name no place; a switch the tool does not know it would take as a file.
std::optional<std::string> fileInGameRoot(const std::vector<std::string>& words) {
  bool removes = false;
  bool extracts = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string lower = lowerAscii(words[i]);
    removes = removes || lower == "/del";
    extracts = extracts || lower == "/extract";
  }
  if (removes && !extracts) return std::nullopt;
  for (size_t i = 1; i < words.size(); ++i) {
    if (!isToolSwitch(words[i])) return words[i];
  }
  return std::nullopt;
}

// Why the tool must not be handed `words`, if it must not: they lead it out
// of the modification folder.
std::optional<std::string> outsideReason(const std::vector<std::string>& words) {
  if (std::optional<std::string> word = placeOutside(words)) return outsideRefusal(*word);
  if (std::optional<std::string> word = fileInGameRoot(words)) {
    return "it names a file in the game root, outside the modification folder: " + *word +
           " (a line only removes entries)";
  }
  return std::nullopt;
}

// Whether Windows would open the archive word as a device (the console, a
// serial port), which the tool would wait on or write to.
bool namesDevice(const std::string& word) {
  std::u32string name;
  for (size_t at = 0; at < word.size();) {
    char32_t character;
    const size_t length = platform::decodeCharacter(word, at, &character);
    if (length == 0) return false;
    name += character;
    at += length;
  }
  return platform::isDeviceName(name);
}

}  // namespace

std::string lowerAscii(std::string word) {
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return word;
}

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

std::optional<std::string> addCommand(const Dialect& dialect, const std::string& archive,
                                      const std::string& stagedPath, std::string* refusal) {
  std::optional<std::string> quotedPath =
      dialect.shell == Shell::Cmd ? cmdQuote(stagedPath) : shQuote(stagedPath);
  if (!quotedPath) {
    if (refusal) *refusal = "its path holds a double quote or a control character";
    return std::nullopt;
  }
  return dialect.tool + " " + localPath(dialect, kModFolder + archive) + " " + *quotedPath +
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
    // The tool reads its arguments from the folder and the line as one text;
    // how a doubled quote is read depends on its C runtime, so both ways
    // must be safe, and the hiding of "%" must change neither.
    const std::string tail = kModFolder + line;
    const std::string hidden = hidePercents(tail);
    for (DoubledQuote rule : {DoubledQuote::StaysQuoted, DoubledQuote::EndsQuotes}) {
      std::vector<std::string> words = runtimeWords(tail, rule);
      const std::string folder = kModFolder;
      if (words[0].compare(0, folder.size(), folder) == 0) words[0].erase(0, folder.size());
      if (std::optional<std::string> reason = outsideReason(words)) return refuse(*reason);
      if (namesDevice(words[0])) return refuse("it names a device, not an archive: " + words[0]);
      if (runtimeWords(hidden, rule) != runtimeWords(tail, rule)) {
        return refuse("its % signs cannot be kept from cmd's variables without changing its "
                      "words");
      }
    }
    command = dialect.tool + " " + hidden + kLogTail;
  } else {
    std::vector<std::string> words = splitWords(line);
    if (std::optional<std::string> reason = outsideReason(words)) return refuse(*reason);
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
