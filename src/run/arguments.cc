#include "run/arguments.h"

#include <iterator>

#include "platform/files.h"
#include "platform/text.h"
#include "tool/command_line.h"
#include "tool/console.h"
#include "tool/nearest_name.h"

using platform::Shell;

namespace {

// The options by their long names; on Windows /? stands for --help as well.
const char* const kOptionNames[] = {"changed", "dry-run", "help", "version"};

// `word` as the option it stands for: cmd's way of writing a switch becomes
// the long option. Any other word comes back as it is: /games is a path.
std::string asOption(Shell shell, const std::string& word) {
  if (shell != Shell::Cmd || word.size() < 2 || word[0] != '/') return word;
  const std::string name = platform::lowerAscii(word.substr(1));
  if (name == "?") return "--help";
  for (const char* known : kOptionNames) {
    if (name == known) return "--" + name;
  }
  return word;
}

bool isOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// cmd's way of writing a switch that is none of the known ones: a slash and
// a name, naming no folder (/games may well be one).
bool isUnknownSwitch(Shell shell, const std::string& word) {
  return shell == Shell::Cmd && word.size() >= 2 && word[0] == '/' &&
         word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-", 1) ==
             std::string::npos &&
         !platform::isFolder(word);
}

// One line for an unknown option, as the user wrote it: the known one it
// was probably meant for, written the same way, and where the rest are.
std::string unknownOption(const std::string& typed) {
  const bool slash = typed[0] == '/';
  const size_t start = typed.find_first_not_of(slash ? "/" : "-");
  const std::string name =
      start == std::string::npos ? "" : platform::lowerAscii(typed.substr(start));
  const std::string nearest =
      nearestName(name, {std::begin(kOptionNames), std::end(kOptionNames)}, 2);
  std::string problem = "unknown option " + typed;
  const std::string prefix = slash ? "/" : "--";
  if (!nearest.empty()) problem += " (did you mean " + prefix + nearest + "?)";
  return problem + "; see " + (slash ? "/?" : "--help");
}

// `words` after `first`, each after a space.
std::string joined(const std::string& first, const std::vector<std::string>& words) {
  std::string path = first;
  for (const std::string& word : words) path += " " + word;
  return path;
}

// How the shell's users are told to quote a path with spaces.
std::string quotesNeeded(Shell shell, const std::string& quoted) {
  return std::string("a path with spaces needs ") +
         (shell == Shell::Cmd ? "double quotes" : "quotes") + ": " + quoted;
}

}  // namespace

Request readArguments(Shell shell, const std::vector<std::string>& arguments) {
  Request request;
  auto withKind = [&](Request::Kind kind, const std::string& problem = "") {
    request.kind = kind;
    request.problem = problem;
    return request;
  };
  const size_t count = arguments.size();
  size_t next = 1;
  for (; next < count &&
         (isOption(asOption(shell, arguments[next])) || isUnknownSwitch(shell, arguments[next]));
       ++next) {
    const std::string option = asOption(shell, arguments[next]);
    if (option == "--") {
      ++next;
      break;
    } else if (option == "-h" || option == "--help") {
      return withKind(Request::Kind::Help);
    } else if (option == "--version") {
      return withKind(Request::Kind::Version);
    } else if (option == "--changed") {
      request.options.changedOnly = true;
    } else if (option == "--dry-run") {
      request.options.dryRun = true;
    } else {
      return withKind(Request::Kind::UsageError, unknownOption(arguments[next]));
    }
  }
  if (next >= count) return withKind(Request::Kind::UsageError);
  // Further words are ignored; but one that looks like an option was surely
  // meant as one, and running without it (a real run for a dry one) is not
  // what was asked.
  std::vector<std::string> later;
  request.gameRoot = gameRootAsTyped(shell, arguments[next], &later);
  later.insert(later.end(), arguments.begin() + next + 1, arguments.end());
  for (const std::string& word : later) {
    if (isOption(asOption(shell, word))) {
      return withKind(Request::Kind::UsageError, "options go before the game root: " + word);
    }
    request.options.wordsAfterRoot.push_back(word);
  }
  if (later.empty()) return request;
  // A path with spaces typed without quotes: the folder it names is surely
  // the one meant, and running on its first part would rebuild another game
  // root, or the same one should the first part be one too ("Mod - Copy").
  const std::string path = joined(request.gameRoot, later);
  if (platform::isFolder(path)) {
    const std::string problem = quotesNeeded(shell, typedForm(shell, path)) +
                                " (without them the game root is " + request.gameRoot +
                                " and the rest is ignored); nothing was done";
    return withKind(Request::Kind::UsageError, problem);
  }
  // cmd hands the program its command line whole, split only by the C
  // runtime's rules, so words after a root that turns out wrong are as a
  // rule the rest of a path with a space in it. A POSIX shell has split the
  // words itself, and they may as well be several folders that one pattern
  // matched: there the quoted form is never a guess, but for the folder
  // above.
  if (shell == Shell::Cmd) request.options.quotedRoot = typedForm(shell, path);
  return request;
}

std::string windowsSwitches() {
  std::string list;
  for (const char* name : kOptionNames) list += "/" + std::string(name) + ", ";
  list.resize(list.size() - 2);
  return list + " and /?";
}

std::string gameRootAsTyped(Shell shell, const std::string& argument,
                            std::vector<std::string>* wordsAfter) {
  const size_t quote = argument.find('"');
  if (shell != Shell::Cmd || quote == std::string::npos) return argument;
  std::string word;
  for (char c : argument.substr(quote + 1) + " ") {
    if (c != ' ' && c != '\t' && c != '"') {
      word += c;
    } else if (!word.empty()) {
      if (wordsAfter) wordsAfter->push_back(word);
      word.clear();
    }
  }
  return argument.substr(0, quote) + "\\";
}

std::string typedForm(Shell shell, const std::string& path) {
  if (shell == Shell::Cmd) {
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
  }
  for (char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string("/._-+,:@%").find(c) != std::string::npos;
    if (!plain) return shQuote(path);
  }
  return path;
}

void hintAtQuotes(const RunOptions& options) {
  if (options.quotedRoot.empty()) return;
  writeError(printable(quotesNeeded(platform::nativeShell(), options.quotedRoot)));
}

void noteIgnoredWords(const RunOptions& options) {
  if (options.wordsAfterRoot.empty()) return;
  const std::vector<std::string>& words = options.wordsAfterRoot;
  writeError(printable("the words after the game root are ignored: " +
                       joined(words[0], {words.begin() + 1, words.end()})));
}
