// POSIX implementation of the program's text: names and arguments are bytes,
// taken as they are, and the program's strings are UTF-8.
#include "platform/text.h"

namespace platform {

bool fromUtf8(const std::string& utf8, std::string* text, std::string*) {
  *text = utf8;
  return true;
}

size_t decodeCharacter(const std::string& text, size_t at, char32_t* character) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *character = lead;
    return 1;
  }
  // The shortest form only, and no surrogates: anything else is no character.
  size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
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

bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string*) {
  arguments->assign(argv, argv + argc);
  return true;
}

}  // namespace platform
