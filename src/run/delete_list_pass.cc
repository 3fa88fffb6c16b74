#include "run/delete_list_pass.h"

#include <cstdio>
#include <optional>

namespace {

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

// Reads one line, without its line feed or the carriage return before it.
// Returns false at the end of the list (and on a read error) when nothing
// was read.
bool readLine(std::FILE* list, std::string* line) {
  line->clear();
  int c;
  while ((c = std::getc(list)) != EOF && c != '\n') *line += static_cast<char>(c);
  if (c == '\n' && !line->empty() && line->back() == '\r') line->pop_back();
  return c == '\n' || !line->empty();
}

}  // namespace

void replayDeleteList(const std::string& listPath, const Dialect& dialect, CommandTally* tally) {
  std::FILE* list = std::fopen(listPath.c_str(), "rb");
  if (!list) return;
  std::string line;
  for (int number = 1; readLine(list, &line) && !std::ferror(list); ++number) {
    if (isBlank(line)) continue;
    std::optional<std::string> command = deleteListCommand(dialect, line);
    if (!command) {
      std::fprintf(stderr,
                   "zt-rebuild: %s:%d: not run: the line holds a control character or a "
                   "character that would start another command\n",
                   listPath.c_str(), number);
      countCommand(tally, false);
      continue;
    }
    runCommand(*command, tally);
  }
  if (std::ferror(list)) {
    std::fprintf(stderr, "zt-rebuild: %s: cannot read the delete list to its end\n",
                 listPath.c_str());
    countCommand(tally, false);
  }
  std::fclose(list);
}
