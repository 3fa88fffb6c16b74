// Windows implementation of the standard streams and the console: text goes
// to a console as its characters, whatever the console's own code page.
#include "platform/console.h"

#include <conio.h>
#include <windows.h>

namespace platform {

// A Windows console program's C runtime fails the writes to a missing stream.
bool guardStandardStreams() { return true; }

std::wstring consoleText(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  std::wstring wide;
  const int length = static_cast<int>(lines.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, lines.data(), length, nullptr, 0);
  if (size <= 0) return wide;
  wide.resize(size);
  MultiByteToWideChar(CP_ACP, 0, lines.data(), length, &wide[0], size);
  return wide;
}

// A console shows bytes in its own (OEM) code page, not in the system's one
// that names are in: it is handed the characters instead.
bool writeToConsole(Stream stream, const std::string& text, bool* written) {
  HANDLE console = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode;
  if (console == INVALID_HANDLE_VALUE || !console || !GetConsoleMode(console, &mode)) return false;
  const std::wstring wide = consoleText(text);
  size_t at = 0;
  DWORD done = 0;
  while (at < wide.size() &&
         WriteConsoleW(console, &wide[at], static_cast<DWORD>(wide.size() - at), &done, nullptr) &&
         done != 0) {
    at += done;
  }
  *written = at == wide.size();
  return true;
}

ConsoleUse consoleUse() {
  ConsoleUse use;
  DWORD ids[2];
  // The count of all processes attached, however many the array can take.
  use.processes = static_cast<int>(GetConsoleProcessList(ids, 2));
  DWORD mode;
  use.inputIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  use.outputIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  return use;
}

void waitForKey() { _getch(); }

}  // namespace platform
