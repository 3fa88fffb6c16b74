// Windows implementation of the program's text. Its strings are 8-bit in the
// system's code page because the archive tool is an ANSI program: a name
// that does not fit that code page cannot reach it unchanged (its C runtime
// would best-fit the command line, so a fullwidth quote would become a real
// one in its arguments). Names and arguments are therefore read with the
// wide calls and converted only when the conversion is exact; what cannot
// be converted is refused, never best-fit.
#include "platform/text.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwchar>
#include <memory>

#include "platform/win32_strings.h"

namespace platform {

// Shared with the other Windows files through win32_strings.h.

bool fromCodePage(const std::string& narrow, std::wstring* wide, UINT codePage) {
  // No character takes more UTF-16 units than it takes bytes, in any code page.
  wide->resize(narrow.size());
  const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(),
                                       static_cast<int>(narrow.size()), &(*wide)[0],
                                       static_cast<int>(wide->size()));
  wide->resize(size > 0 ? size : 0);
  return size > 0 || narrow.empty();
}

std::string describeError(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  message.erase(message.find_last_not_of("\r\n .") + 1);
  return message;
}

bool failed(std::string* error) {
  *error = describeError(GetLastError());
  return false;
}

bool toCodePage(const wchar_t* wide, int length, std::string* narrow) {
  narrow->clear();
  if (length == 0) return true;
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  narrow->resize(size);
  WideCharToMultiByte(CP_ACP, flags, wide, length, &(*narrow)[0], size, nullptr, nullptr);
  std::wstring roundTrip;
  if (!fromCodePage(*narrow, &roundTrip) ||
      roundTrip.compare(0, std::wstring::npos, wide, length) != 0) {
    narrow->clear();
    return false;
  }
  return true;
}

std::string shown(const std::wstring& wide, std::string* missing) {
  std::string text;
  for (size_t i = 0, units = 0; i < wide.size(); i += units) {
    // A surrogate pair is one character.
    units =
        IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
    std::string character;
    const bool fits = toCodePage(&wide[i], units, &character);
    if (!fits || wide[i] < 0x20 || wide[i] == 0x7f) {
      character = codePointName(units == 2 ? joinSurrogates(wide[i], wide[i + 1]) : wide[i]);
    }
    if (!fits && missing && missing->find(character) == std::string::npos) *missing += character;
    text += character;
  }
  return text;
}

size_t decodeCharacter(const std::string& text, size_t at, char32_t* character) {
  // ASCII reads the same in every code page the system can have.
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  static const UINT codePage = GetACP();
  if (lead < 0x80 || codePage == CP_UTF8) return decodeUtf8(text, at, character);
  const size_t length = IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
  if (at + length > text.size()) return 0;
  wchar_t wide[2];
  int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data() + at,
                                  static_cast<int>(length), wide, 2);
  if (units != 1 && !(units == 2 && IS_HIGH_SURROGATE(wide[0]) && IS_LOW_SURROGATE(wide[1]))) {
    return 0;
  }
  *character = units == 1 ? wide[0] : joinSurrogates(wide[0], wide[1]);
  return length;
}

bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string* error) {
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                     &LocalFree);
  if (!wide) return failed(error);
  // The program's own path is only shown, never used: argv[0] stays as it is.
  arguments->assign(argv, argv + (argc > 0 ? 1 : 0));
  for (int i = 1; i < count; ++i) {
    const wchar_t* argument = wide.get()[i];
    std::string narrow;
    if (!toCodePage(argument, static_cast<int>(std::wcslen(argument)), &narrow)) {
      *error = "the argument " + shown(argument) +
               " has characters outside the system's code page; it cannot be used as itself";
      return false;
    }
    arguments->push_back(std::move(narrow));
  }
  return true;
}

bool fromUtf8(const std::string& utf8, std::string* text, std::string* error) {
  text->clear();
  std::wstring wide;
  if (!fromCodePage(utf8, &wide, CP_UTF8)) {
    *error = "it is not valid UTF-8";
    return false;
  }
  if (toCodePage(wide.data(), static_cast<int>(wide.size()), text)) return true;
  std::string missing;
  shown(wide, &missing);
  *error = "it holds " + missing + ", which the system's code page cannot hold";
  return false;
}

}  // namespace platform
