// POSIX implementation of the program's text: names and arguments are bytes,
// taken as they are, and the program's strings are UTF-8.
#include "platform/text.h"

namespace platform {

bool fromUtf8(const std::string& utf8, std::string* text, std::string*) {
  *text = utf8;
  return true;
}

size_t decodeCharacter(const std::string& text, size_t at, char32_t* character) {
  return decodeUtf8(text, at, character);
}

bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string*) {
  arguments->assign(argv, argv + argc);
  return true;
}

}  // namespace platform
