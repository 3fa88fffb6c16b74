// Windows only, and only for src/platform: the conversions between the
// system's code page and UTF-16 that the file, process and text calls
// share, and the system's words for an error. Defined in text-win32.cc.
#ifndef ZT_PLATFORM_WIN32_STRINGS_H_
#define ZT_PLATFORM_WIN32_STRINGS_H_

#include <windows.h>

#include <string>

namespace platform {

// The system's description of `code`, taken where a call failed.
std::string describeError(DWORD code);

// Sets `error` to the system's description of the error of the call that
// has just failed; returns false, for the caller to return in turn.
bool failed(std::string* error);

// `wide` in the system's code page, only when the conversion is exact: the
// result converted back gives the very same characters. The round trip
// catches a best fit and the default character alike, on every code page
// (UTF-8 included, where WC_NO_BEST_FIT_CHARS cannot be asked for).
bool toCodePage(const wchar_t* wide, int length, std::string* narrow);

// `narrow`, in the system's code page (or in `codePage`), in UTF-16; false
// when it holds bytes that are no character there.
bool fromCodePage(const std::string& narrow, std::wstring* wide, UINT codePage = CP_ACP);

// A name as messages show it: in the code page where it fits, each other
// character (and each control character) as <U+XXXX>. The program writes
// all its text in the code page, to a console or to a file alike; this form
// survives both and still tells the user which file is meant. Each character
// that does not fit the code page is added, once, to `missing` where given.
std::string shown(const std::wstring& wide, std::string* missing = nullptr);

}  // namespace platform

#endif  // ZT_PLATFORM_WIN32_STRINGS_H_
