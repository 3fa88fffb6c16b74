#include "run/delete_list_pass.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/platform.h"
#include "tool/console.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

// Reads one line, without its line feed or the carriage return before it,
// keeping at most `limit` + 1 bytes of it: a longer line cannot be run, so
// memory stays bounded whatever the file holds. Returns false at the end of
// the list, or when a read fails (`readError` then says why), if nothing was
// read.
bool readLine(std::FILE* list, size_t limit, std::string* line, bool* tooLong,
              std::string* readError) {
  line->clear();
  bool any = false;
  int c;
  while ((c = std::getc(list)) != EOF && c != '\n') {
    any = true;
    if (line->size() <= limit) *line += static_cast<char>(c);
  }
  if (c == EOF && std::ferror(list)) *readError = std::strerror(errno);
  *tooLong = line->size() > limit;
  if (c == '\n' && !line->empty() && line->back() == '\r' && !*tooLong) line->pop_back();
  return c == '\n' || any;
}

void refuseLine(const std::string& listPath, int number, const std::string& reason,
                CommandTally* tally) {
  std::fprintf(stderr, "zt-rebuild: %s:%d: not run: %s\n", printable(listPath).c_str(), number,
               reason.c_str());
  countCommand(tally, false);
}

}  // namespace

void replayDeleteList(const std::string& listPath, const Dialect& dialect, CommandTally* tally) {
  if (platform::isSpecialFile(listPath)) {
    std::fprintf(stderr, "zt-rebuild: %s: not read: it is not a regular file\n",
                 printable(listPath).c_str());
    countCommand(tally, false);
    return;
  }
  errno = 0;
  OpenFile list(std::fopen(listPath.c_str(), "rb"));
  if (!list) {
    // No list is nothing to replay; one that is there but cannot be read
    // (permission denied, a link loop) leaves its deletions undone.
    if (errno == ENOENT || errno == ENOTDIR) return;
    std::fprintf(stderr, "zt-rebuild: %s: cannot read the delete list: %s\n",
                 printable(listPath).c_str(), std::strerror(errno != 0 ? errno : EIO));
    countCommand(tally, false);
    return;
  }
  // A line longer than a whole command is refused whatever it holds; one
  // more byte than that tells it apart, and a carriage return may follow.
  const size_t limit = maxCommandLength(dialect) + 1;
  std::string line;
  bool tooLong = false;
  std::string readError;
  for (int number = 1; readLine(list.get(), limit, &line, &tooLong, &readError) &&
                       readError.empty();
       ++number) {
    // Notepad starts a UTF-8 file with a byte-order mark; it is no part of
    // the first archive's name.
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    // Before the blank test: what was not kept of a long line may hold words.
    if (tooLong) {
      refuseLine(listPath, number, tooLongRefusal(dialect), tally);
      continue;
    }
    if (isBlank(line)) continue;
    std::string refusal;
    std::optional<std::string> command = deleteListCommand(dialect, line, &refusal);
    if (!command) {
      refuseLine(listPath, number, refusal, tally);
      continue;
    }
    runCommand(*command, tally);
  }
  if (!readError.empty()) {
    std::fprintf(stderr, "zt-rebuild: %s: cannot read the delete list to its end: %s\n",
                 printable(listPath).c_str(), readError.c_str());
    countCommand(tally, false);
  }
}
