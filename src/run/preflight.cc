#include "run/preflight.h"

#include <cstdio>

#include "platform/files.h"

#include "tool/command_line.h"
#include "tool/console.h"

using platform::Shell;

namespace {

bool isSeparator(Shell shell, char c) { return c == '/' || (shell == Shell::Cmd && c == '\\'); }

// Names compare as the platform's file system compares them: cmd's in any
// case (of ASCII letters, which is all these names hold).
bool sameName(Shell shell, const std::string& a, const std::string& b) {
  return shell == Shell::Cmd ? lowerAscii(a) == lowerAscii(b) : a == b;
}

// Splits the absolute `path` into the folder that holds it and its last
// name, trailing separators dropped. The parent is empty at the top.
void splitLast(Shell shell, const std::string& path, std::string* parent, std::string* name) {
  size_t end = path.size();
  while (end > 0 && isSeparator(shell, path[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !isSeparator(shell, path[start - 1])) --start;
  *name = path.substr(start, end - start);
  parent->clear();
  if (start == 0 || name->empty()) return;
  size_t parentEnd = start;
  while (parentEnd > 0 && isSeparator(shell, path[parentEnd - 1])) --parentEnd;
  // The top keeps its separator: "/" and "C:\".
  const bool top = parentEnd == 0 || (shell == Shell::Cmd && path[parentEnd - 1] == ':');
  *parent = path.substr(0, top ? parentEnd + 1 : parentEnd);
}

// Whether `folder` holds what only a modification folder holds.
bool holdsModContent(Shell shell, const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  std::string error;
  platform::listFolder(folder, &entries, &error);
  for (const platform::DirEntry& entry : entries) {
    for (const char* name : {"temp", "tempL", "zt.pff", "ztL.pff", "deleteList.txt"}) {
      if (sameName(shell, entry.name, name)) return true;
    }
  }
  return false;
}

// Why `folder`, which has no modification folder, is no game root, and
// which folder probably is.
std::string notAGameRoot(Shell shell, const std::string& folder) {
  const std::string sep(1, platform::separatorOf(shell));
  const std::string modFolder = "expansion" + sep + "zt";
  std::string parent, name, grandparent, parentName;
  splitLast(shell, folder, &parent, &name);
  splitLast(shell, parent, &grandparent, &parentName);
  if (sameName(shell, name, "zt") && sameName(shell, parentName, "expansion") &&
      !grandparent.empty()) {
    return folder + " is the modification folder, not a game root: give the game root, " +
           "which holds it, probably " + typedForm(shell, grandparent);
  }
  if (sameName(shell, name, "expansion") && !parent.empty() &&
      platform::isFolder(folder + sep + "zt")) {
    return folder + " is the expansion folder, not a game root: give the game root, " +
           "probably " + typedForm(shell, parent);
  }
  if (holdsModContent(shell, folder)) {
    return folder + " looks like a modification folder, not a game root: give the game " +
           "root, the folder that holds the modification folder as " + modFolder;
  }
  return folder + " is not a game root: it has no modification folder " + modFolder +
         " (which holds the staging folders temp and tempL); give the folder the game is " +
         "installed in";
}

}  // namespace

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
    std::fprintf(stderr,
                 "zt-rebuild: %s is no option: the options are /changed, /dry-run, /help, "
                 "/version and /?\n",
                 argument.c_str());
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
  std::fprintf(stderr, "zt-rebuild: a path with spaces needs %s: %s\n",
               shell == Shell::Cmd ? "double quotes" : "quotes",
               printable(typedForm(shell, joined)).c_str());
}

bool readyToRun(const std::string& gameRoot) {
  const Shell shell = platform::nativeShell();
  const std::string sep(1, platform::separatorOf(shell));
  if (!platform::isFolder(gameRoot + sep + "expansion" + sep + "zt")) {
    std::fprintf(stderr, "zt-rebuild: %s\n", printable(notAGameRoot(shell, gameRoot)).c_str());
    return false;
  }
  // As the interpreter finds it: in the working directory, the game root,
  // where the sh dialect then names it ./pack; else along the search path.
  const std::string tool = toolFileName(shell);
  if (platform::isRunnableFile(tool) || platform::findProgram(tool)) return true;
  platform::FileStamp stamp;
  // There, but without the mode that lets it run (only POSIX files have one).
  if (platform::fileStamp(tool, &stamp)) {
    std::fprintf(stderr,
                 "zt-rebuild: the archive tool %s in the game root %s cannot be run: make it "
                 "executable (chmod +x %s)\n",
                 tool.c_str(), printable(gameRoot).c_str(), tool.c_str());
    return false;
  }
  std::fprintf(stderr,
               "zt-rebuild: the archive tool %s is neither in the game root %s nor on the "
               "search path (PATH): put it in the game root; for real archives it must be the "
               "game's own archive tool\n",
               tool.c_str(), printable(gameRoot).c_str());
  return false;
}
