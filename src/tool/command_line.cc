#include "tool/command_line.h"

using platform::Shell;

namespace {

const char kLogTail[] = " >> ztlog.txt";
const char kModFolder[] = "expansion\\zt\\";

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
      dialect.shell == Shell::Cmd ? "\"" + stagedPath + "\"" : shQuote(stagedPath);
  return dialect.tool + " " + localPath(dialect, kModFolder + archive) + " " + quotedPath +
         " /force" + kLogTail;
}

std::string optimizeCommand(const Dialect& dialect) {
  return dialect.tool + " " + localPath(dialect, std::string(kModFolder) + "zt.pff") + " /opt";
}
