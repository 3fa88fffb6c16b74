#include "tool/delete_line_rules.h"

#include <algorithm>
#include <cctype>

#include "platform/process.h"
#include "platform/text.h"

using platform::Shell;

namespace {

const char kControlMessage[] = "it holds a control character";
const char kUnclosedQuoteMessage[] = "a double quote in it is never closed";
const char kCmdOperatorMessage[] =
    "it holds & | < > or ^ outside double quotes, which would run another command or redirect "
    "its output";
const char kOutsideMessage[] = "it names a place outside the modification folder: {}";
const char kGameRootFileMessage[] =
    "it names a file in the game root, outside the modification folder: {} (a line only "
    "removes entries)";
const char kDeviceMessage[] = "it names a device, not an archive: {}";
const char kPercentMessage[] =
    "its % signs cannot be kept from cmd's variables without changing its words";
const char kTooLongMessage[] =
    "its command would be longer than the {} characters that the interpreter accepts";

std::string withFound(const char* message, const std::string& found) {
  std::string text = message;
  const size_t at = text.find("{}");
  if (at != std::string::npos) text.replace(at, 2, found);
  return text;
}

// The words the tool is handed for `line`, the archive's without the
// modification folder before it: sh's own splitting, or for cmd the one of
// the tool's C runtime, which reads a doubled quote by `rule`.
std::vector<std::string> toolWords(const Dialect& dialect, const std::string& line,
                                   DoubledQuote rule) {
  if (dialect.shell == Shell::Sh) return splitWords(line);
  const std::string folder = modFolderPiece();
  std::vector<std::string> words = runtimeWords(folder + line, rule);
  if (words[0].compare(0, folder.size(), folder) == 0) words[0].erase(0, folder.size());
  return words;
}

std::optional<std::string> holdsControlCharacter(const Dialect&, const std::string& line) {
  if (std::any_of(line.begin(), line.end(), isControlCharacter)) return std::string();
  return std::nullopt;
}

// cmd would take the rest of the command into the quote; sh would read it
// otherwise than cmd does.
std::optional<std::string> leavesQuoteOpen(const Dialect&, const std::string& line) {
  if (std::count(line.begin(), line.end(), '"') % 2 != 0) return std::string();
  return std::nullopt;
}

// Whether cmd.exe would find a command separator, a pipe or a redirection in
// `line`: these only lose their meaning between double quotes.
std::optional<std::string> holdsCmdOperator(const Dialect&, const std::string& line) {
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == '&' || c == '|' || c == '<' || c == '>' || c == '^')) {
      return std::string();
    }
  }
  return std::nullopt;
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

// Whether Windows would open the archive word as a device (the console, a
// serial port), which the tool would wait on or write to.
std::optional<std::string> namesDevice(const std::vector<std::string>& words) {
  std::u32string name;
  for (size_t at = 0; at < words[0].size();) {
    char32_t character;
    const size_t length = platform::decodeCharacter(words[0], at, &character);
    if (length == 0) return std::nullopt;
    name += character;
    at += length;
  }
  if (platform::isDeviceName(name)) return words[0];
  return std::nullopt;
}

// The rules on words, as the C runtimes of either kind read them: how a
// doubled quote is read depends on the tool's, so both ways must be safe.
std::optional<std::string> placeOutsideAsNewerRuntimesRead(const Dialect& dialect,
                                                           const std::string& line) {
  return placeOutside(toolWords(dialect, line, DoubledQuote::StaysQuoted));
}
std::optional<std::string> fileInGameRootAsNewerRuntimesRead(const Dialect& dialect,
                                                             const std::string& line) {
  return fileInGameRoot(toolWords(dialect, line, DoubledQuote::StaysQuoted));
}
std::optional<std::string> deviceAsNewerRuntimesRead(const Dialect& dialect,
                                                     const std::string& line) {
  return namesDevice(toolWords(dialect, line, DoubledQuote::StaysQuoted));
}
std::optional<std::string> placeOutsideAsOlderRuntimesRead(const Dialect& dialect,
                                                           const std::string& line) {
  return placeOutside(toolWords(dialect, line, DoubledQuote::EndsQuotes));
}
std::optional<std::string> fileInGameRootAsOlderRuntimesRead(const Dialect& dialect,
                                                             const std::string& line) {
  return fileInGameRoot(toolWords(dialect, line, DoubledQuote::EndsQuotes));
}
std::optional<std::string> deviceAsOlderRuntimesRead(const Dialect& dialect,
                                                     const std::string& line) {
  return namesDevice(toolWords(dialect, line, DoubledQuote::EndsQuotes));
}

// cmd.exe expands %NAME% whatever the quotes; the quotes that hide every "%"
// from it must leave the tool's words as they were, as either kind of C
// runtime reads them. The quotes are placed as the newer kind reads them,
// which keeps its words: only the older kind is found to lose them, which
// is why this rule comes after that kind's other ones.
std::optional<std::string> percentsChangeWords(const Dialect&, const std::string& line) {
  const std::string arguments = modFolderPiece() + line;
  const std::string hidden = hidePercents(arguments);
  for (DoubledQuote rule : {DoubledQuote::StaysQuoted, DoubledQuote::EndsQuotes}) {
    if (runtimeWords(hidden, rule) != runtimeWords(arguments, rule)) return std::string();
  }
  return std::nullopt;
}

std::optional<std::string> commandTooLong(const Dialect& dialect, const std::string& line) {
  if (uncheckedDeleteListCommand(dialect, line).size() > maxCommandLength(dialect)) {
    return std::to_string(maxCommandLength(dialect));
  }
  return std::nullopt;
}

}  // namespace

const std::vector<DeleteLineRule>& deleteLineRules() {
  static const std::vector<DeleteLineRule> rules = {
      {"control-character", kControlMessage, false, holdsControlCharacter},
      {"unclosed-quote", kUnclosedQuoteMessage, false, leavesQuoteOpen},
      {"cmd-operator", kCmdOperatorMessage, true, holdsCmdOperator},
      {"place-outside", kOutsideMessage, false, placeOutsideAsNewerRuntimesRead},
      {"game-root-file", kGameRootFileMessage, false, fileInGameRootAsNewerRuntimesRead},
      {"device", kDeviceMessage, true, deviceAsNewerRuntimesRead},
      {"place-outside/older-runtimes", kOutsideMessage, true, placeOutsideAsOlderRuntimesRead},
      {"game-root-file/older-runtimes", kGameRootFileMessage, true,
       fileInGameRootAsOlderRuntimesRead},
      {"device/older-runtimes", kDeviceMessage, true, deviceAsOlderRuntimesRead},
      {"percent", kPercentMessage, true, percentsChangeWords},
      {"too-long", kTooLongMessage, false, commandTooLong},
  };
  return rules;
}

std::optional<DeleteLineRefusal> refuseDeleteLine(const Dialect& dialect,
                                                  const std::string& line) {
  for (const DeleteLineRule& rule : deleteLineRules()) {
    if (rule.cmdOnly && dialect.shell != Shell::Cmd) continue;
    if (std::optional<std::string> found = rule.check(dialect, line)) {
      return DeleteLineRefusal{&rule, withFound(rule.message, *found)};
    }
  }
  return std::nullopt;
}

std::string tooLongRefusal(const Dialect& dialect) {
  return withFound(kTooLongMessage, std::to_string(maxCommandLength(dialect)));
}
