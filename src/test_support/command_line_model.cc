#include "test_support/command_line_model.h"

#include <cctype>
#include <string_view>

namespace {

ModelCommand faulted(const std::string& why, size_t at) {
  ModelCommand command;
  command.fault = why + " (at byte " + std::to_string(at) + ")";
  return command;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool oneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

}  // namespace

// POSIX sh: the line is cut into tokens (its quoting rules: a single quote
// keeps everything up to the next one; a double quote keeps everything but
// $, ` and a backslash before $ ` " \ or a line feed; an unquoted backslash
// keeps the next character), then each word is expanded and its quotes
// removed. Every unquoted character that starts an operator, an expansion, a
// pattern, a comment or a tilde prefix is a fault: the program's words must
// come through as they are. One ">>" and a file may end the line.
ModelCommand modelShCommand(const std::string& line) {
  ModelCommand command;
  std::string word;
  bool inWord = false;
  bool digitsOnly = true;  // an unquoted number right before '>' names a stream
  bool redirecting = false, redirected = false;
  std::string wordAfterRedirection;
  auto endWord = [&] {
    if (!inWord) return;
    if (redirecting) {
      command.appendsTo = word;
      redirecting = false;
      redirected = true;
    } else if (redirected) {
      wordAfterRedirection = word;
    } else {
      command.words.push_back(word);
    }
    word.clear();
    inWord = false;
    digitsOnly = true;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\0') return faulted("a NUL byte, which ends the string sh is given", i);
    if (c == '\'') {
      const size_t close = line.find('\'', i + 1);
      if (close == std::string::npos) return faulted("a single quote is never closed", i);
      word.append(line, i + 1, close - i - 1);
      inWord = true;
      digitsOnly = false;
      i = close;
      continue;
    }
    if (c == '"') {
      inWord = true;
      digitsOnly = false;
      for (++i;; ++i) {
        if (i >= line.size()) return faulted("a double quote is never closed", i);
        const char d = line[i];
        if (d == '\0') return faulted("a NUL byte, which ends the string sh is given", i);
        if (d == '"') break;
        if (d == '$' || d == '`') return faulted("an expansion between double quotes", i);
        if (d == '\\' && i + 1 < line.size() && oneOf(line[i + 1], "$`\"\\\n")) {
          if (line[i + 1] == '\n') return faulted("a line continuation", i);
          word += line[++i];
          continue;
        }
        word += d;
      }
      continue;
    }
    if (c == '\\') {
      if (i + 1 == line.size()) return faulted("a backslash ends the line", i);
      if (line[i + 1] == '\n') return faulted("a line continuation", i);
      if (line[i + 1] == '\0') return faulted("a NUL byte, which ends the string sh is given", i);
      word += line[++i];
      inWord = true;
      digitsOnly = false;
      continue;
    }
    if (isBlank(c)) {
      endWord();
      continue;
    }
    if (c == '\n') return faulted("a line feed, which ends the command", i);
    if (c == '>') {
      if (inWord && digitsOnly) return faulted("a number before '>', which names a stream", i);
      endWord();
      if (redirecting || redirected || i + 1 == line.size() || line[i + 1] != '>') {
        return faulted("a redirection other than one '>>'", i);
      }
      redirecting = true;
      ++i;
      continue;
    }
    if (oneOf(c, ";&|<()")) return faulted("a control operator or a redirection", i);
    if (c == '$' || c == '`') return faulted("an expansion", i);
    if (oneOf(c, "*?[")) return faulted("a pattern that sh matches against file names", i);
    if (!inWord && c == '~') return faulted("a tilde prefix", i);
    if (!inWord && c == '#') return faulted("a comment", i);
    word += c;
    inWord = true;
    digitsOnly = digitsOnly && std::isdigit(static_cast<unsigned char>(c));
  }
  endWord();
  if (redirecting) return faulted("'>>' without a file", line.size());
  if (!wordAfterRedirection.empty()) {
    return faulted("a word after the redirection: " + wordAfterRedirection, line.size());
  }
  return command;
}

namespace {

// The arguments a C runtime reads from a program's command line (Microsoft's
// "Parsing C command-line arguments"): the program's name runs to the first
// space or tab, or between its quotes; then spaces and tabs part arguments
// outside quotes; a double quote opens or closes quotes and is dropped;
// backslashes are data except right before a double quote, where 2n of them
// are n and a quote that opens or closes, and 2n+1 are n and a literal quote.
std::vector<std::string> runtimeArguments(const std::string& line, RuntimeQuotes runtime) {
  std::vector<std::string> words;
  size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    const size_t end = close == std::string::npos ? line.size() : close;
    words.push_back(line.substr(1, end - 1));
    i = end + 1;
  } else {
    while (i < line.size() && !isBlank(line[i])) ++i;
    words.push_back(line.substr(0, i));
  }
  for (;;) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      if (line[i] == '\\') {
        size_t backslashes = 0;
        while (i < line.size() && line[i] == '\\') {
          ++backslashes;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) argument += line[i++];
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument += '"';
          i += 2;
          if (runtime == RuntimeQuotes::DoubledQuoteCloses) quoted = false;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += line[i++];
      }
    }
    words.push_back(argument);
  }
  return words;
}

}  // namespace

// cmd.exe /c: first every %NAME% is replaced by the variable's value, between
// quotes too; outside a batch file a "%" that opens no variable stays as it
// is. The variables are the user's, unknown here, so any "%" that a later
// one could close over a name is a fault. Names holding a double quote are
// taken to be unset: the environment is the user's own, and its variables are
// named plainly. (Delayed expansion with "!" is off unless cmd is given /v.)
// Then, outside double quotes, "^" keeps the next character as it is and is
// dropped, and & | < > are operators; between quotes everything is data, the
// quotes included. One ">>" and a file may end the line. The program is
// handed the rest of the line, and its C runtime splits it into arguments.
ModelCommand modelCmdCommand(const std::string& line, RuntimeQuotes runtime) {
  if (line.empty() || line[0] == '"') {
    return faulted("a line that starts with a quote, which /c may take away", 0);
  }
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '%') continue;
    const size_t next = line.find('%', i + 1);
    if (next == std::string::npos) break;
    const std::string name = line.substr(i + 1, next - i - 1);
    if (!name.empty() && name.find('"') == std::string::npos) {
      return faulted("%" + name + "% is expanded as a variable", i);
    }
  }
  ModelCommand command;
  std::string handedOver;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\0') return faulted("a NUL byte, which ends the string cmd is given", i);
    if (c == '\n') return faulted("a line feed, which ends the command", i);
    if (c == '\r') return faulted("a carriage return, which cmd drops", i);
    if (c == '"') quoted = !quoted;
    if (quoted || c == '"') {
      handedOver += c;
      continue;
    }
    if (c == '^') {
      if (i + 1 == line.size() || line[i + 1] == '\n') return faulted("a line continuation", i);
      handedOver += line[++i];
      continue;
    }
    if (c == '>') {
      if (i > 0 && std::isdigit(static_cast<unsigned char>(line[i - 1]))) {
        return faulted("a number before '>', which names a stream", i);
      }
      if (i + 1 == line.size() || line[i + 1] != '>') {
        return faulted("a redirection other than one '>>'", i);
      }
      size_t at = i + 2;
      while (at < line.size() && isBlank(line[at])) ++at;
      const size_t start = at;
      while (at < line.size() && !isBlank(line[at]) && !oneOf(line[at], "\"^&|<>%")) ++at;
      command.appendsTo = line.substr(start, at - start);
      while (at < line.size() && isBlank(line[at])) ++at;
      if (command.appendsTo.empty() || at != line.size()) {
        return faulted("more than a file after '>>'", at);
      }
      break;
    }
    if (oneOf(c, "&|<")) return faulted("a cmd operator", i);
    handedOver += c;
  }
  command.words = runtimeArguments(handedOver, runtime);
  return command;
}
