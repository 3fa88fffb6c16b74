#include "tool/delete_line_rules.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "platform/process.h"
#include "platform/text.h"
#include "tool/console.h"
#include "tool/fixed_names.h"
#include "tool/nearest_name.h"

using platform::Shell;

namespace {

const char kUnclosedQuoteMessage[] = "a double quote in it is never closed";
const char kOutsideMessage[] = "it names a place outside the modification folder: {}";
const char kRemovesOnlyMessage[] = "a line only removes entries: {}";
const char kDeviceMessage[] = "it names a device, not an archive: {}";
const char kTooLongMessage[] =
    "its command would be longer than the {} characters that the interpreter accepts";

// The tool's switches, as a line may write them in any case.
const char kRemoveSwitch[] = "/del";
const char* const kToolSwitches[] = {kRemoveSwitch, "/force",  "/opt",
                                     "/list",       "/verify", "/extract"};

// `message` with what was found in its place, masked: the found piece comes
// from the list, and may hold what would drive the user's terminal.
std::string withFound(const char* message, const std::string& found) {
  std::string text = message;
  const size_t at = text.find("{}");
  if (at != std::string::npos) text.replace(at, 2, printable(found));
  return text;
}

// The words the tool is handed for `line`, the archive's without the
// modification folder before it: sh's own splitting, or for cmd the one of
// the tool's C runtime, which reads a doubled quote by `rule`.
std::vector<std::string> toolWords(const Dialect& dialect, const std::string& line,
                                   DoubledQuote rule) {
  if (dialect.shell == Shell::Sh) return splitWords(line);
  const std::string joined = modFolderAndLine(line);
  std::vector<std::string> words = runtimeWords(joined, rule);
  const std::string folder = modFolderPiece();
  if (words[0].compare(0, folder.size(), folder) == 0) words[0].erase(0, folder.size());
  return words;
}

using Found = std::optional<std::string>;

// A rule broken by the line as a whole, with nothing in it to name.
Found brokenIf(bool broken) { return broken ? Found("") : std::nullopt; }

Found holdsControlCharacter(const JudgedLine& line) {
  return brokenIf(std::any_of(line.text.begin(), line.text.end(), isControlCharacter));
}

// cmd would take the rest of the command into the quote; sh would read it
// otherwise than cmd does.
Found leavesQuoteOpen(const JudgedLine& line) {
  return brokenIf(std::count(line.text.begin(), line.text.end(), '"') % 2 != 0);
}

// Whether cmd.exe would find a command separator, a pipe or a redirection in
// the line: these only lose their meaning between double quotes.
Found holdsCmdOperator(const JudgedLine& line) {
  return brokenIf(findOutsideQuotes(line.text, "&|<>^") != std::string::npos);
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

bool isToolSwitch(const std::string& word) {
  const std::string lower = platform::lowerAscii(word);
  return std::any_of(std::begin(kToolSwitches), std::end(kToolSwitches),
                     [&](const char* known) { return lower == known; });
}

bool isRemoveSwitch(const std::string& word) { return platform::lowerAscii(word) == kRemoveSwitch; }

// A line whose first word is a switch, or nothing, has left out the archive.
Found leavesOutArchive(const JudgedLine& line) {
  if (!line.words.empty() && (line.words[0].empty() || isSwitch(line.words[0]))) {
    return std::string(names::kMainArchive) + " or " + names::kSecondArchive;
  }
  return std::nullopt;
}

bool isTypographicQuote(char32_t c) {
  return c == 0x2018 || c == 0x2019 || c == 0x201C || c == 0x201D;
}

// A typographic quote that opens or closes a word, as a web page's quotes
// come out when pasted: the tool would take it as part of a name. Inside a
// word one may be an apostrophe.
Found holdsTypographicQuote(const JudgedLine& line) {
  for (const std::string& word : line.words) {
    size_t at = 0;
    while (at < word.size()) {
      char32_t character = 0;
      size_t length = platform::decodeCharacter(word, at, &character);
      if (length == 0) length = 1;
      const bool opensOrCloses = at == 0 || at + length == word.size();
      if (opensOrCloses && isTypographicQuote(character)) return word.substr(at, length);
      at += length;
    }
  }
  return std::nullopt;
}

// A word that looks like a switch but is none of the tool's, with the one
// that was most likely meant: a letter or two away from it.
Found unknownSwitch(const JudgedLine& line) {
  for (size_t i = 1; i < line.words.size(); ++i) {
    if (!isSwitch(line.words[i]) || isToolSwitch(line.words[i])) continue;
    const std::string meant =
        nearestName(line.words[i], {std::begin(kToolSwitches), std::end(kToolSwitches)}, 2);
    if (!meant.empty()) return line.words[i] + "; did you mean " + meant + "?";
    return line.words[i] + "; entries are removed with " + kRemoveSwitch;
  }
  return std::nullopt;
}

// An entry name written with a folder, in a line that removes: an archive's
// entries are base names. Names the base name, which is what to write.
Found entryWithFolder(const JudgedLine& line) {
  for (size_t i = 1; i < line.words.size(); ++i) {
    if (isSwitch(line.words[i]) && !isRemoveSwitch(line.words[i])) return std::nullopt;
  }
  for (size_t i = 1; i < line.words.size(); ++i) {
    const std::string& word = line.words[i];
    const size_t slash = word.find_last_of("/\\");
    if (isSwitch(word) || slash == std::string::npos) continue;
    const std::string base = word.substr(slash + 1);
    if (!base.empty() && !isParentName(base)) return base;
  }
  return std::nullopt;
}

// The first word (the archive, in the modification folder) or another one
// that could lead the tool out of the modification folder, or
// nothing. Archive entries are base names, so no removal needs a path; with
// none, every word is a name in the folder the tool resolves it against.
Found placeOutside(const JudgedLine& line) {
  for (size_t i = 0; i < line.words.size(); ++i) {
    const std::string& word = line.words[i];
    if (i > 0 && isSwitch(word)) continue;
    if (word.find_first_of("/\\") != std::string::npos || hasDrive(word) || isParentName(word)) {
      return word;
    }
  }
  return std::nullopt;
}

// Windows reads a name with a ':' as a stream of a file (zt.pff:x), not as
// the file.
Found archiveWithColon(const JudgedLine& line) {
  if (!line.words.empty() && line.words[0].find(':') != std::string::npos) return line.words[0];
  return std::nullopt;
}

// `line` as a removal: the switch written after its first word, as a scan of
// its quotes finds that word's end; the blanks around the line dropped.
std::string withRemoveSwitch(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t");
  const size_t end = line.find_last_not_of(" \t") + 1;
  const size_t archiveEnd = std::min(findOutsideQuotes(line, " \t", start), end);
  return line.substr(start, archiveEnd - start) + " " + kRemoveSwitch +
         line.substr(archiveEnd, end - archiveEnd);
}

// What to write instead of a line that would do more than remove entries:
// the tool runs in the game root, where it would read a file to add or
// write one it extracts (a library planted beside the game is loaded by
// it). Only the names a removal is given are entry names, which name no
// place; a switch the tool does not know it would take as a file. A line of
// switches alone, such as "ztL.pff /opt", is run.
Found doesMoreThanRemove(const JudgedLine& line) {
  bool removes = false;
  bool names = false;
  const std::string* otherSwitch = nullptr;
  for (size_t i = 1; i < line.words.size(); ++i) {
    if (isRemoveSwitch(line.words[i])) {
      removes = true;
    } else if (isToolSwitch(line.words[i])) {
      if (!otherSwitch) otherSwitch = &line.words[i];
    } else {
      names = true;
    }
  }
  if (!removes && !names) return std::nullopt;
  if (otherSwitch) return "leave out " + *otherSwitch;
  if (!removes) return "write " + withRemoveSwitch(line.text);
  return std::nullopt;
}

// Whether Windows would open the archive word as a device (the console, a
// serial port), which the tool would wait on or write to.
Found namesDevice(const JudgedLine& line) {
  const std::string& archive = line.words[0];
  std::u32string name;
  for (size_t at = 0; at < archive.size();) {
    char32_t character;
    const size_t length = platform::decodeCharacter(archive, at, &character);
    if (length == 0) return std::nullopt;
    name += character;
    at += length;
  }
  if (platform::isDeviceName(name)) return archive;
  return std::nullopt;
}

// Whether either kind of C runtime reads other words from `text` than from
// `meant`.
bool runtimesReadOtherwise(const std::string& text, const std::string& meant) {
  for (DoubledQuote rule : {DoubledQuote::StaysQuoted, DoubledQuote::EndsQuotes}) {
    if (runtimeWords(text, rule) != runtimeWords(meant, rule)) return true;
  }
  return false;
}

// cmd.exe expands %NAME% whatever the quotes; the quotes that hide every "%"
// from it must leave the tool's words as they were, as either kind of C
// runtime reads them. The quotes are placed as the newer kind reads them,
// which keeps its words: only the older kind is found to lose them, which
// is why this rule comes after that kind's other ones.
Found percentsChangeWords(const JudgedLine& line) {
  const std::string arguments = modFolderAndLine(line.text);
  return brokenIf(runtimesReadOtherwise(hidePercents(arguments), arguments));
}

// cmd hands the tool the space before the redirection to the log too: a
// quote that the tool's C runtime reads as still open (it reads a backslash
// before a quote, and a doubled quote, otherwise than cmd) would take that
// space into the last word, which is then not the word judged.
Found runtimeLeavesQuoteOpen(const JudgedLine& line) {
  const std::string handed = hidePercents(modFolderAndLine(line.text));
  return brokenIf(runtimesReadOtherwise(handed + " ", handed));
}

Found commandTooLong(const JudgedLine& line) {
  const size_t longest = maxCommandLength(line.dialect);
  if (uncheckedDeleteListCommand(line.dialect, line.text).size() > longest) {
    return std::to_string(longest);
  }
  return std::nullopt;
}

}  // namespace

// The rules that name a user's mistake come before the one that would
// refuse the same line for the place it names, and read the words as sh or
// the newer C runtimes do; the rules that keep the tool in the modification
// folder and off devices are tried on the older runtimes' reading of a
// doubled quote too.
const std::vector<DeleteLineRule>& deleteLineRules() {
  const DoubledQuote newer = DoubledQuote::StaysQuoted, older = DoubledQuote::EndsQuotes;
  static const std::vector<DeleteLineRule> rules = {
      {"control-character", "it holds a control character", false, newer, holdsControlCharacter},
      {"unclosed-quote", kUnclosedQuoteMessage, false, newer, leavesQuoteOpen},
      {"cmd-operator",
       "it holds & | < > or ^ outside double quotes, which would run another command or redirect "
       "its output",
       true, newer, holdsCmdOperator},
      {"no-archive", "the line must start with the archive, {}", false, newer, leavesOutArchive},
      {"typographic-quote",
       "it holds the typographic quote {}: write straight double quotes (\") around a name instead",
       false, newer, holdsTypographicQuote},
      {"unknown-switch", "no such switch {}", false, newer, unknownSwitch},
      {"entry-folder", "entries are named without a folder: {}", false, newer, entryWithFolder},
      {"place-outside", kOutsideMessage, false, newer, placeOutside},
      {"archive-colon", "an archive's name holds no ':': {}", false, newer, archiveWithColon},
      {"removes-only", kRemovesOnlyMessage, false, newer, doesMoreThanRemove},
      {"device", kDeviceMessage, true, newer, namesDevice},
      {"place-outside/older-runtimes", kOutsideMessage, true, older, placeOutside},
      {"removes-only/older-runtimes", kRemovesOnlyMessage, true, older, doesMoreThanRemove},
      {"device/older-runtimes", kDeviceMessage, true, older, namesDevice},
      {"percent", "its % signs cannot be kept from cmd's variables without changing its words",
       true, newer, percentsChangeWords},
      {"unclosed-quote/runtime", kUnclosedQuoteMessage, true, newer, runtimeLeavesQuoteOpen},
      {"too-long", kTooLongMessage, false, newer, commandTooLong},
  };
  return rules;
}

std::optional<std::string> breaksRule(const DeleteLineRule& rule, const Dialect& dialect,
                                      const std::string& line) {
  return rule.check({dialect, line, toolWords(dialect, line, rule.reading)});
}

std::optional<DeleteLineRefusal> refuseDeleteLine(const Dialect& dialect, const std::string& line) {
  for (const DeleteLineRule& rule : deleteLineRules()) {
    if (rule.cmdOnly && dialect.shell != Shell::Cmd) continue;
    if (std::optional<std::string> found = breaksRule(rule, dialect, line)) {
      return DeleteLineRefusal{&rule, withFound(rule.message, *found)};
    }
  }
  return std::nullopt;
}

std::optional<std::string> deleteListCommand(const Dialect& dialect, const std::string& line,
                                             std::string* refusal) {
  if (std::optional<DeleteLineRefusal> refused = refuseDeleteLine(dialect, line)) {
    if (refusal) *refusal = refused->message;
    return std::nullopt;
  }
  return uncheckedDeleteListCommand(dialect, line);
}

std::string tooLongRefusal(const Dialect& dialect) {
  return withFound(kTooLongMessage, std::to_string(maxCommandLength(dialect)));
}

std::vector<std::string> archiveWords(const Dialect& dialect, const std::string& line) {
  std::vector<std::string> archives;
  for (DoubledQuote rule : {DoubledQuote::StaysQuoted, DoubledQuote::EndsQuotes}) {
    const std::vector<std::string> words = toolWords(dialect, line, rule);
    archives.push_back(words.empty() ? std::string() : words[0]);
  }
  if (archives[0] == archives[1]) archives.pop_back();
  return archives;
}
