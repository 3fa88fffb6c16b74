// Checks of the Windows console calls that need Windows itself: built with
// the Windows build, with no test framework, and run under Wine by the
// native build's tests. Exits 1, naming each failed check, when any fails.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/console.h"

namespace {

int failures = 0;

// What a console is handed for `text`, against `expected`.
void checkConsoleText(const std::string& text, const std::wstring& expected) {
  if (platform::consoleText(text) == expected) return;
  std::printf("consoleText(\"%s\") is not as expected\n", text.c_str());
  ++failures;
}

}  // namespace

int main() {
  checkConsoleText("", L"");
  // Line ends as the C runtime's text mode writes them; a carriage return alone
  // (the progress line's) stays one.
  checkConsoleText("\rPacking file\n\nAll done!\n", L"\rPacking file\r\n\r\nAll done!\r\n");
  // A name in the system's code page comes out as its characters.
  if (GetACP() == 1252) {
    checkConsoleText("(caf\xe9.dds)", L"(caf\u00e9.dds)");
    checkConsoleText("\x80 \x9f", L"\u20ac \u0178");
  } else {
    std::printf("the code page is %u, not 1252: the names are not checked\n", GetACP());
    ++failures;
  }
  return failures ? 1 : 0;
}
