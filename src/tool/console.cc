#include "tool/console.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

std::string firstOutputError;
// Whether the last text written to standard output left its line open, and
// how much of that line shows (the spaces that blank it out do not).
bool lineOpen = false;
size_t shownWidth = 0;

void noteFailure(int error) {
  if (firstOutputError.empty()) firstOutputError = std::strerror(error != 0 ? error : EIO);
}

}  // namespace

std::string printable(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    // C0 controls and DEL, and C1 controls as UTF-8 writes them (C2 80 to C2 9F).
    bool c1 = c == 0xc2 && i + 1 < text.size() &&
              static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(text[i + 1]) <= 0x9f;
    if (c < 0x20 || c == 0x7f || c1) {
      shown += '?';
      if (c1) ++i;
    } else {
      shown += text[i];
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
  if (lineOpen) writeOut("\n");
  flushOut();
  const std::string line = "zt-rebuild: " + message + "\n";
  bool written = true;
  if (!platform::writeToConsole(platform::Stream::Error, line, &written)) {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
}

void noteMissingOutput() { noteFailure(EBADF); }

const std::string& outputError() { return firstOutputError; }
