#include "tool/console.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "platform/text.h"
#include "tool/fixed_names.h"

namespace {

std::string firstOutputError;
// Whether the last text written to standard output left its line open, and
// how much of that line shows (the spaces that blank it out do not).
bool lineOpen = false;
size_t shownWidth = 0;

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
    const size_t length = platform::decodeCharacter(text, i, &character);
    if (length == 0) {
      // A byte that is no character: one in 0x80-0x9F is a C1 control to an
      // 8-bit terminal (0x9B opens a control sequence); the others are its
      // letters.
      unsigned char c = static_cast<unsigned char>(text[i]);
      shown += c >= 0x80 && c <= 0x9f ? '?' : text[i];
      ++i;
    } else {
      // A character that drives the terminal is shown as the names Windows
      // cannot pass on are: told apart from a real "?", and from one another.
      shown +=
          drivesTerminal(character) ? platform::codePointName(character) : text.substr(i, length);
      i += length;
    }
  }
  return shown;
}

void writeOut(const std::string& text) {
  if (text.empty()) return;
  bool written = true;
  if (platform::writeToConsole(platform::Stream::Output, text, &written)) {
    if (!written) noteFailure(EIO);
  } else {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) noteFailure(errno);
  }
  lineOpen = text.back() != '\n';
  const size_t lineEnd = text.rfind('\n');
  shownWidth = lineEnd == std::string::npos ? shownWidth + text.size() : text.size() - lineEnd - 1;
}

void flushOut() {
  errno = 0;
  if (std::fflush(stdout) != 0) noteFailure(errno);
}

void writeLine(const std::string& text) {
  writeOut(text + "\n");
  flushOut();
}

void overwriteLine(const std::string& text, size_t pad) {
  const size_t before = shownWidth;
  writeOut("\r");
  flushOut();
  if (before > text.size() + pad) pad = before - text.size();
  writeOut(text + std::string(pad, ' '));
  shownWidth = text.size();
}

void writeError(const std::string& message) {
  writeErrorText(std::string(names::kProgram) + ": " + message + "\n");
}

void writeErrorText(const std::string& text) {
  if (lineOpen) writeOut("\n");
  flushOut();
  bool written = true;
  if (!platform::writeToConsole(platform::Stream::Error, text, &written)) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  }
}

void noteMissingOutput() { noteFailure(EBADF); }

const std::string& outputError() { return firstOutputError; }

int outputStatus() {
  if (firstOutputError.empty()) return 0;
  writeError("cannot write to standard output: " + firstOutputError);
  return 1;
}
