#include "run/delete_list_pass.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/files.h"
#include "platform/text.h"
#include "run/delete_list_text.h"
#include "tool/console.h"
#include "tool/delete_line_rules.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

void refuseLine(const std::string& listPath, int number, const std::string& reason,
                CommandTally* tally) {
  writeError(printable(listPath) + ":" + std::to_string(number) + ": not run: " + reason);
  countCommand(tally, false);
}

}  // namespace

void replayDeleteList(const std::string& listPath, const Dialect& dialect, CommandTally* tally) {
  if (platform::isFolder(listPath)) {
    writeError(printable(listPath) + ": not read: it is a folder, not a file");
    countCommand(tally, false);
    return;
  }
  if (platform::isSpecialFile(listPath)) {
    writeError(printable(listPath) + ": not read: it is not a regular file");
    countCommand(tally, false);
    return;
  }
  errno = 0;
  OpenFile list(std::fopen(listPath.c_str(), "rb"));
  if (!list) {
    // No list is nothing to replay; one that is there but cannot be read
    // (permission denied, a link loop) leaves its deletions undone.
    if (errno == ENOENT || errno == ENOTDIR) return;
    writeError(printable(listPath) + ": cannot read the delete list: " +
               std::strerror(errno != 0 ? errno : EIO));
    countCommand(tally, false);
    return;
  }
  // A line longer than a whole command is refused whatever it holds; one
  // more byte than that tells it apart, and a carriage return may follow.
  DeleteListText text(list.get(), maxCommandLength(dialect) + 1);
  if (!text.refusal().empty()) {
    writeError(printable(listPath) + ": not read: " + text.refusal());
    countCommand(tally, false);
    return;
  }
  ListLine line;
  for (int number = 1; text.nextLine(&line); ++number) {
    // Before the blank test: what was not kept of a long line may hold words.
    std::string refusal = line.tooLong ? tooLongRefusal(dialect) : line.error;
    if (!refusal.empty()) {
      refuseLine(listPath, number, refusal, tally);
      continue;
    }
    if (isBlank(line.text)) continue;
    std::optional<std::string> command = deleteListCommand(dialect, line.text, &refusal);
    if (!command) {
      refuseLine(listPath, number, refusal, tally);
      continue;
    }
    runCommand(*command, tally, printable(listPath) + ":" + std::to_string(number));
  }
  if (!text.readError().empty()) {
    writeError(printable(listPath) + ": cannot read the delete list to its end: " +
               text.readError());
    countCommand(tally, false);
  }
}
