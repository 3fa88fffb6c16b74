// The program's text as the system spells it: the arguments, the encoding of
// its strings, and the names Windows reserves for devices.
// One implementation per platform (text-posix.cc, text-win32.cc).
#ifndef ZT_PLATFORM_TEXT_H_
#define ZT_PLATFORM_TEXT_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// `c` in upper (or lower) case when it is an ASCII letter, as it is
// otherwise: the only folding that comparisons of names need here, the same
// on every machine.
inline char32_t asciiUpper(char32_t c) { return (c >= U'a' && c <= U'z') ? c - U'a' + U'A' : c; }

// `text` with its ASCII letters in lower case; every other byte as it is.
inline std::string lowerAscii(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// Names in the order of their ASCII letters in upper case, as NTFS and the
// archive tool tell them apart (so "_" sorts after the letters): below 0, 0
// or above 0.
inline int compareAnyCase(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const char32_t x = asciiUpper(static_cast<unsigned char>(a[i]));
    const char32_t y = asciiUpper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Whether Windows opens a file of this name as a device in place of a
// file: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9
// (the superscript 1, 2 and 3 count as digits), in any case, with any
// extension and spaces before it. Both builds judge names bound for cmd.
inline bool isDeviceName(const std::u32string& name) {
  std::u32string base = name.substr(0, name.find(U'.'));
  while (!base.empty() && base.back() == U' ') base.pop_back();
  for (char32_t& c : base) c = asciiUpper(c);
  for (const char32_t* device : {U"CON", U"PRN", U"AUX", U"NUL", U"CONIN$", U"CONOUT$"}) {
    if (base == device) return true;
  }
  const std::u32string_view digits = U"123456789\u00B9\u00B2\u00B3";
  return base.size() == 4 && (base.compare(0, 3, U"COM") == 0 || base.compare(0, 3, U"LPT") == 0) &&
         digits.find(base[3]) != std::u32string_view::npos;
}

// The character that starts at `text[at]` in UTF-8: sets `character` to its
// Unicode value and returns its length in bytes, or returns 0 when the bytes
// there are no character (the shortest form only, and no surrogates).
inline size_t decodeUtf8(const std::string& text, size_t at, char32_t* character) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *character = lead;
    return 1;
  }
  const size_t length = lead < 0xc2 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : lead < 0xf5 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t value = lead & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xc0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3f);
  }
  const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < shortest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) {
    return 0;
  }
  *character = value;
  return length;
}

// The code point that a UTF-16 surrogate pair stands for.
inline char32_t joinSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// `c` written as <U+XXXX>: how a character that cannot be shown is named.
inline std::string codePointName(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "<U+%04lX>", static_cast<unsigned long>(c));
  return code;
}

// `utf8` (a text in UTF-8, such as Notepad saves) in the system's code page,
// converted exactly. Returns false when a character has no place there, and
// names each such character as <U+XXXX> in `error`. On POSIX, where names
// are bytes, the text comes back unchanged.
bool fromUtf8(const std::string& utf8, std::string* text, std::string* error);

// The character that starts at `text[at]`, in the encoding of the
// program's strings (UTF-8 on POSIX, the system's code page on Windows):
// sets `character` to its Unicode value and returns its length in bytes, or
// returns 0 when the bytes there are no character of that encoding.
size_t decodeCharacter(const std::string& text, size_t at, char32_t* character);

// The program's arguments, argv[0] first, in the system's code page exactly
// as the command line spells them. On Windows they are read again from the
// wide command line, since argv has been best-fit converted (a fullwidth
// quote becomes a real one); an argument that does not fit the code page is
// refused, described in `error`. Elsewhere they are argv as it is.
bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string* error);

}  // namespace platform

#endif  // ZT_PLATFORM_TEXT_H_
