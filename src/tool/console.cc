#include "tool/console.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

std::string firstOutputError;

void noteFailure(int error) {
  if (firstOutputError.empty()) firstOutputError = std::strerror(error != 0 ? error : EIO);
}

// What a terminal takes as an order rather than a letter: the C0 and C1
// controls and DEL, which move the cursor, clear or retitle it, and the
// bidirectional overrides and isolates, which show the text after them
// reversed.
bool drivesTerminal(char32_t c) {
  return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
         (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string printable(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size();) {
    char32_t character = 0;
    size_t length = platform::decodeCharacter(text, i, &character);
    if (length == 0) {
      // A byte that is no character: one in 0x80-0x9F is a C1 control to an
      // 8-bit terminal (0x9B opens a control sequence); the others are its
      // letters.
      unsigned char c = static_cast<unsigned char>(text[i]);
      shown += c >= 0x80 && c <= 0x9f ? '?' : text[i];
      ++i;
    } else {
      if (drivesTerminal(character)) {
        shown += '?';
      } else {
        shown.append(text, i, length);
      }
      i += length;
    }
  }
  return shown;
}

void writeOut(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) noteFailure(errno);
}

void flushOut() {
  errno = 0;
  if (std::fflush(stdout) != 0) noteFailure(errno);
}

void writeLine(const std::string& text) {
  writeOut(text + "\n");
  flushOut();
}

void noteMissingOutput() { noteFailure(EBADF); }

const std::string& outputError() { return firstOutputError; }
