#include "run/arguments.h"

#include "platform/files.h"
#include "tool/command_line.h"
#include "tool/console.h"

using platform::Shell;

namespace {

// The options by their long names; on Windows /? stands for --help as well.
const char* const kOptionNames[] = {"changed", "dry-run", "help", "version"};

// `word` as the option it stands for: cmd's way of writing a switch becomes
// the long option. Any other word comes back as it is: /games is a path.
std::string asOption(Shell shell, const std::string& word) {
  if (shell != Shell::Cmd || word.size() < 2 || word[0] != '/') return word;
  const std::string name = lowerAscii(word.substr(1));
  if (name == "?") return "--help";
  for (const char* known : kOptionNames) {
    if (name == known) return "--" + name;
  }
  return word;
}

bool isOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

}  // namespace

Request readArguments(Shell shell, const std::vector<std::string>& arguments) {
  Request request;
  auto answer = [&](Request::Kind kind, const std::string& problem = "") {
    request.kind = kind;
    request.problem = problem;
    return request;
  };
  const size_t count = arguments.size();
  size_t next = 1;
  for (; next < count && isOption(asOption(shell, arguments[next])); ++next) {
    const std::string option = asOption(shell, arguments[next]);
    if (option == "--") {
      ++next;
      break;
    } else if (option == "-h" || option == "--help") {
      return answer(Request::Kind::Help);
    } else if (option == "--version") {
      return answer(Request::Kind::Version);
    } else if (option == "--changed") {
      request.options.changedOnly = true;
    } else if (option == "--dry-run") {
      request.options.dryRun = true;
    } else {
      return answer(Request::Kind::UsageError, "unknown option " + option);
    }
  }
  if (next >= count) return answer(Request::Kind::UsageError);
  // Further words are ignored; but one that looks like an option was surely
  // meant as one, and running without it (a real run for a dry one) is no
  // answer to it.
  std::vector<std::string> later;
  request.gameRoot = gameRootAsTyped(shell, arguments[next], &later);
  later.insert(later.end(), arguments.begin() + next + 1, arguments.end());
  for (const std::string& word : later) {
    if (isOption(asOption(shell, word))) {
      return answer(Request::Kind::UsageError, "options go before the game root: " + word);
    }
    request.options.wordsAfterRoot.push_back(word);
  }
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

void hintAtQuotes(const std::string& argument, const std::vector<std::string>& wordsAfter) {
  const Shell shell = platform::nativeShell();
  // A mistyped switch (/chnaged) is taken for the folder \chnaged of the
  // drive: joining it to the root in quotes would not help.
  if (shell == Shell::Cmd && argument.size() >= 2 && argument[0] == '/' &&
      argument.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-", 1) ==
          std::string::npos) {
    writeError(argument + " is no option: the options are " + windowsSwitches());
    return;
  }
  if (wordsAfter.empty()) return;
  std::string joined = argument;
  for (const std::string& word : wordsAfter) joined += " " + word;
  // cmd hands the program its command line whole, split only by the C
  // runtime's rules, so words after a root that cannot be entered are as a
  // rule the rest of a path with a space in it. A POSIX shell has split the
  // words itself, and they may as well be several folders that one pattern
  // matched: there the hint is given only when the joined words name a
  // folder, so that it is never a guess.
  if (shell == Shell::Sh && !platform::isFolder(joined)) return;
  writeError(std::string("a path with spaces needs ") +
             (shell == Shell::Cmd ? "double quotes" : "quotes") + ": " +
             printable(typedForm(shell, joined)));
}
