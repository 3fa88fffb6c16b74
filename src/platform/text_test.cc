// The characters a name is read as, and whether Windows opens a name as a
// device: both decide whether a name may be handed to cmd.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(DeviceNameTest, DevicesInAnyCaseWithAnyExtensionAndNothingElse) {
  const std::pair<std::u32string, bool> names[] = {
      {U"CON", true},   {U"nul.dds", true},   {U"conout$.txt", true}, {U"com9.dds", true},
      {U"LPT9", true},  {U"COM\u00b9", true}, {U"AUX.tar.gz", true},  {U"Com1 .txt", true},
      {U"COM0", false}, {U"COM10", false},    {U"LPT", false},        {U"console.dds", false},
  };
  for (const auto& [name, device] : names) {
    EXPECT_EQ(platform::isDeviceName(name), device) << std::string(name.begin(), name.end());
  }
}

// Only a character's shortest form is one, and no surrogate: another
// spelling would slip past a check of the character it stands for.
TEST(DecodeCharacterTest, OnlyTheShortestFormOfACharacterIsOne) {
  const std::pair<std::string, char32_t> characters[] = {
      {"\xc3\xa9", 0xe9},     {"\xed\x9f\xbf", 0xd7ff}, {"\xee\x80\x80", 0xe000},
      {"\xe0\x80\xaf", 0},    {"\xf0\x80\x80\xaf", 0},  // "/" in three and four bytes
      {"\xed\xa0\x80", 0},    {"\xed\xbf\xbf", 0},      // the first and last surrogates
      {"\xc3\x1b", 0},  // a lead byte whose next is no continuation: here ESC
  };
  for (const auto& [bytes, character] : characters) {
    char32_t read = 0;
    const size_t length = platform::decodeCharacter(bytes, 0, &read);
    EXPECT_EQ(length, character ? bytes.size() : 0) << bytes;
    EXPECT_EQ(length ? read : 0, character) << bytes;
  }
}

}  // namespace
