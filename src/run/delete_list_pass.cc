#include "run/delete_list_pass.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/platform.h"
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

// How the list is written. Notepad saves UTF-8, with or without a
// byte-order mark, or UTF-16 with one; older editors the system's code page.
enum class Encoding { CodePage, Utf8, Utf16Le, Utf16Be };

// Whether the rest of `list` is valid UTF-8 that holds more than ASCII: an
// ANSI text with a letter beyond ASCII is, as good as always, not.
bool readsAsUtf8(std::FILE* list) {
  bool beyondAscii = false;
  int pending = 0;  // continuation bytes still due
  int low = 0x80, high = 0xBF;  // the range of the next one
  int c;
  while ((c = std::getc(list)) != EOF) {
    if (pending > 0) {
      if (c < low || c > high) return false;
      --pending;
      low = 0x80;
      high = 0xBF;
      continue;
    }
    if (c < 0x80) continue;
    beyondAscii = true;
    if (c >= 0xC2 && c <= 0xDF) {
      pending = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      pending = 2;
      if (c == 0xE0) low = 0xA0;   // no overlong form
      if (c == 0xED) high = 0x9F;  // no surrogate
    } else if (c >= 0xF0 && c <= 0xF4) {
      pending = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
      return false;
    }
  }
  return beyondAscii && pending == 0;
}

// Tells how `list` is written, and leaves it at its first character, after
// any byte-order mark.
Encoding detectEncoding(std::FILE* list) {
  unsigned char mark[3] = {};
  const size_t got = std::fread(mark, 1, sizeof mark, list);
  const bool littleEndian = got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE;
  if (littleEndian || (got >= 2 && mark[0] == 0xFE && mark[1] == 0xFF)) {
    std::fseek(list, 2, SEEK_SET);
    return littleEndian ? Encoding::Utf16Le : Encoding::Utf16Be;
  }
  if (got == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return Encoding::Utf8;
  std::rewind(list);
  const bool utf8 = readsAsUtf8(list);
  // A read that failed here fails again below, where it is reported.
  std::rewind(list);
  return utf8 ? Encoding::Utf8 : Encoding::CodePage;
}

const long kEnd = -1;
const long kNotUtf16 = -2;

// Reads the list one character at a time: a byte, or for UTF-16 a code
// point, kEnd at the end and kNotUtf16 for a unit that cannot stand there.
struct ListReader {
  std::FILE* file;
  Encoding encoding;
  long heldUnit = kEnd;  // read after a lone high surrogate

  long unit() {
    if (heldUnit != kEnd) {
      long held = heldUnit;
      heldUnit = kEnd;
      return held;
    }
    int first = std::getc(file);
    if (first == EOF) return kEnd;
    int second = std::getc(file);
    if (second == EOF) return kNotUtf16;  // half a unit
    return encoding == Encoding::Utf16Le ? first | second << 8 : first << 8 | second;
  }

  long next() {
    if (encoding != Encoding::Utf16Le && encoding != Encoding::Utf16Be) {
      int c = std::getc(file);
      return c == EOF ? kEnd : c;
    }
    long c = unit();
    if (c < 0xD800 || c > 0xDFFF) return c;
    if (c > 0xDBFF) return kNotUtf16;
    long low = unit();
    if (low >= 0xDC00 && low <= 0xDFFF) return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    heldUnit = low;
    return kNotUtf16;
  }

  // Adds the character `c`, as UTF-8 if it was read from UTF-16.
  void append(long c, std::string* line) const {
    if (encoding != Encoding::Utf16Le && encoding != Encoding::Utf16Be) {
      *line += static_cast<char>(c);
    } else if (c < 0x80) {
      *line += static_cast<char>(c);
    } else if (c < 0x800) {
      *line += static_cast<char>(0xC0 | c >> 6);
      *line += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *line += static_cast<char>(0xE0 | c >> 12);
      *line += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *line += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *line += static_cast<char>(0xF0 | c >> 18);
      *line += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      *line += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *line += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
};

// Reads one line, without its line feed or the carriage return before it,
// keeping at most `limit` + 1 bytes of it: a longer line cannot be run, so
// memory stays bounded whatever the file holds. Returns false at the end of
// the list, or when a read fails (`readError` then says why), if nothing was
// read. `notUtf16` tells of a unit in the line that UTF-16 does not allow.
bool readLine(ListReader* list, size_t limit, std::string* line, bool* tooLong, bool* notUtf16,
              std::string* readError) {
  line->clear();
  *notUtf16 = false;
  bool any = false;
  long c;
  while ((c = list->next()) != kEnd && c != '\n') {
    any = true;
    if (c == kNotUtf16) {
      *notUtf16 = true;
    } else if (line->size() <= limit) {
      list->append(c, line);
    }
  }
  if (c == kEnd && std::ferror(list->file)) *readError = std::strerror(errno);
  *tooLong = line->size() > limit;
  if (c == '\n' && !line->empty() && line->back() == '\r' && !*tooLong) line->pop_back();
  return c == '\n' || any;
}

void refuseLine(const std::string& listPath, int number, const std::string& reason,
                CommandTally* tally) {
  writeError(printable(listPath) + ":" + std::to_string(number) + ": not run: " + reason);
  countCommand(tally, false);
}

}  // namespace

void replayDeleteList(const std::string& listPath, const Dialect& dialect, CommandTally* tally) {
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
  ListReader reader{list.get(), detectEncoding(list.get())};
  // A line longer than a whole command is refused whatever it holds; one
  // more byte than that tells it apart, and a carriage return may follow.
  // In UTF-8 a character of the code page may take up to three bytes.
  const size_t limit = maxCommandLength(dialect) + 1;
  const size_t kept = limit * (reader.encoding == Encoding::CodePage ? 1 : 3);
  std::string line;
  bool tooLong = false;
  bool notUtf16 = false;
  std::string readError;
  for (int number = 1;
       readLine(&reader, kept, &line, &tooLong, &notUtf16, &readError) && readError.empty();
       ++number) {
    std::string refusal;
    if (notUtf16) refusal = "it is not valid UTF-16, which the list is written in";
    if (!tooLong && refusal.empty() && reader.encoding != Encoding::CodePage) {
      std::string converted;
      if (platform::fromUtf8(line, &converted, &refusal)) line = converted;
    }
    // Before the blank test: what was not kept of a long line may hold words.
    if (tooLong || line.size() > limit) refusal = tooLongRefusal(dialect);
    if (!refusal.empty()) {
      refuseLine(listPath, number, refusal, tally);
      continue;
    }
    if (isBlank(line)) continue;
    std::optional<std::string> command = deleteListCommand(dialect, line, &refusal);
    if (!command) {
      refuseLine(listPath, number, refusal, tally);
      continue;
    }
    runCommand(*command, tally, printable(listPath) + ":" + std::to_string(number));
  }
  if (!readError.empty()) {
    writeError(printable(listPath) + ": cannot read the delete list to its end: " + readError);
    countCommand(tally, false);
  }
}
