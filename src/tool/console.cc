#include "tool/console.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

namespace {

std::string firstOutputError;

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
