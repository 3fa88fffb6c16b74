#include "run/delete_list_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace {

struct Read {
  ListEncoding encoding;
  // Each line's text, then " <too long>" or " <" and its error ">".
  std::vector<std::string> lines;
  std::string readError;
};

Read readList(const std::string& path, size_t longestLine) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return {ListEncoding::CodePage, {"<cannot open>"}, ""};
  std::string refusal;
  Read read{detectEncoding(file, &refusal), {}, ""};
  std::rewind(file);
  DeleteListText text(file, longestLine);
  ListLine line;
  while (text.nextLine(&line)) {
    std::string shown = line.text;
    if (line.tooLong) shown += " <too long>";
    if (!line.error.empty()) shown += " <" + line.error + ">";
    read.lines.push_back(shown);
  }
  if (!text.refusal().empty()) read.lines.push_back("<" + text.refusal() + ">");
  read.readError = text.readError();
  std::fclose(file);
  return read;
}

const char kNotUtf16[] = " <it is not valid UTF-16, which the list is written in>";

// On POSIX the code page is UTF-8 itself (platform::fromUtf8 keeps the
// text); the Windows build's conversion is tested end to end, under Wine.
TEST(DeleteListTextTest, ListsAreReadLineByLineWhateverTheirEncoding) {
  struct Row {
    std::string bytes;
    ListEncoding encoding;
    std::vector<std::string> lines;
    size_t longestLine = 100;
  };
  const Row rows[] = {
      {"", ListEncoding::CodePage, {}},
      {"a", ListEncoding::CodePage, {"a"}},
      // A line feed ends a line; none follows the last one.
      {"a\n", ListEncoding::CodePage, {"a"}},
      {"a\r\nb\n\n c \r\n", ListEncoding::CodePage, {"a", "b", "", " c "}},
      // A carriage return ends a line too, with the line feed after it.
      {"a\rb\r\r\nc\r", ListEncoding::CodePage, {"a", "b", "", "c"}},
      // A Ctrl+Z that ends the file (copy con writes one) is no line.
      {"a\r\n\x1A", ListEncoding::CodePage, {"a"}},
      {"a\x1A\x1A\nb\x1A", ListEncoding::CodePage, {"a\x1A\x1A", "b"}},
      // Text in the code page is not UTF-8: its bytes go through as they are.
      {"caf\xE9.dds\n", ListEncoding::CodePage, {"caf\xE9.dds"}},
      {"caf\xE9", ListEncoding::CodePage, {"caf\xE9"}},  // ends where UTF-8 would go on
      {"\xC0\xAF\n", ListEncoding::CodePage, {"\xC0\xAF"}},  // an overlong form
      {"caf\xC3\xA9.dds\n", ListEncoding::Utf8, {"caf\xC3\xA9.dds"}},
      // Notepad's byte-order marks are not part of the first line.
      {"\xEF\xBB\xBF" "a\r\n", ListEncoding::Utf8, {"a"}},
      {"\xEF\xBB\xBF", ListEncoding::Utf8, {}},
      {std::string("\xFF\xFE" "a\0\r\0\n\0\xE9\0", 10), ListEncoding::Utf16Le,
       {"a", "\xC3\xA9"}},
      {std::string("\xFE\xFF\0a\0\n\xD8\x3D\xDE\x00", 10), ListEncoding::Utf16Be,
       {"a", "\xF0\x9F\x98\x80"}},
      // UTF-16 without a mark, told by its NULs; or refused once.
      {std::string("z\0t\0\r\0\n\0\xE9\0\x1A\0", 12), ListEncoding::Utf16Le, {"zt", "\xC3\xA9"}},
      {std::string("\0a\0\r\0b", 6), ListEncoding::Utf16Be, {"a", "b"}},
      {std::string("\0\0\0a\0\0\0\n", 8), ListEncoding::CodePage,
       {"<it looks like UTF-16 without a byte-order mark: save it again as UTF-8>"}},
      // A lone half of a surrogate pair, or half a unit, spoils its line only.
      {std::string("\xFF\xFE\x3D\xD8" "b\0\n\0c\0", 10), ListEncoding::Utf16Le,
       {"b" + std::string(kNotUtf16), "c"}},
      {std::string("\xFF\xFE\x00\xDCx\0\n\0c\0", 10), ListEncoding::Utf16Le,
       {"x" + std::string(kNotUtf16), "c"}},
      {std::string("\xFF\xFE" "a\0b", 5), ListEncoding::Utf16Le, {"a" + std::string(kNotUtf16)}},
      // A line longer than the reader keeps is marked, and only its start
      // is kept; the next line is read whole.
      {"abcd\nabcdefgh\nab\nabcd\r\n", ListEncoding::CodePage,
       {"abcd", "abcde <too long>", "ab", "abcd"}, 4},
      // In UTF-8 the length counts once the line is in the code page.
      {"\xC3\xA9\xC3\xA9\r\n\xC3\xA9\xC3\xA9\xC3\xA9\n", ListEncoding::Utf8,
       {"\xC3\xA9\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9 <too long>"}, 4},
      // A surrogate is no character: a list that holds one in UTF-8's form is
      // in the code page; in UTF-16 two low halves make no pair.
      {"\xED\xA0\x80\n", ListEncoding::CodePage, {"\xED\xA0\x80"}},
      // A character that the detection's read cuts in two is read whole.
      {std::string(4095, 'a') + "\xC3\xA9", ListEncoding::Utf8,
       {std::string(4095, 'a') + "\xC3\xA9"}, 5000},
      {std::string("\xFF\xFE\x00\xDC\x00\xDC\n\0c\0", 10), ListEncoding::Utf16Le,
       {kNotUtf16, "c"}},
      // UTF-16 becomes UTF-8 of each length: U+07FF, U+0800, U+10000.
      {std::string("\xFF\xFE\xFF\x07\x00\x08\x00\xD8\x00\xDC", 10), ListEncoding::Utf16Le,
       {"\xDF\xBF\xE0\xA0\x80\xF0\x90\x80\x80"}},
  };
  TempDir dir;
  int number = 0;
  for (const Row& row : rows) {
    const std::string path = dir / ("list" + std::to_string(++number) + ".txt");
    writeFile(path, row.bytes);
    Read read = readList(path, row.longestLine);
    EXPECT_EQ(read.encoding, row.encoding) << "row " << number;
    EXPECT_EQ(read.lines, row.lines) << "row " << number;
    EXPECT_EQ(read.readError, "") << "row " << number;
  }
}

TEST(DeleteListTextTest, AReadThatFailsEndsTheListAndSaysWhy) {
  TempDir dir;
  makeFolder(dir / "deleteList.txt");  // POSIX opens a folder; its first read fails
  Read read = readList(dir / "deleteList.txt", 100);
  EXPECT_EQ(read.lines, std::vector<std::string>{});
  EXPECT_EQ(read.readError, "Is a directory");
}

}  // namespace
