#include "tool/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

using platform::Shell;

const Dialect kCmd = dialectFor(Shell::Cmd, true);
const Dialect kShLocal = dialectFor(Shell::Sh, true);
const Dialect kShPath = dialectFor(Shell::Sh, false);

TEST(CommandLineTest, CmdDialectIsByteForByteTheWindowsLines) {
  EXPECT_EQ(dialectFor(Shell::Cmd, false).tool, "pack.exe");
  EXPECT_EQ(startLogCommand(kCmd), "echo ZT Log Start > ztlog.txt");
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\Game\\expansion\\zt\\temp\\a.dds"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\Game\\expansion\\zt\\temp\\a.dds\" /force >> "
            "ztlog.txt");
  EXPECT_EQ(addCommand(kCmd, "ztL.pff", "C:\\My Game\\\\expansion\\zt\\tempL\\c d.wav"),
            "pack.exe expansion\\zt\\ztL.pff \"C:\\My Game\\\\expansion\\zt\\tempL\\c d.wav\" "
            "/force >> ztlog.txt");
  EXPECT_EQ(optimizeCommand(kCmd), "pack.exe expansion\\zt\\zt.pff /opt");
}

TEST(CommandLineTest, ShDialectCarriesThePiecesOverWithSlashes) {
  EXPECT_EQ(startLogCommand(kShLocal), "echo ZT Log Start > ztlog.txt");
  EXPECT_EQ(addCommand(kShLocal, "zt.pff", "/home/u/Game/expansion/zt/temp/a.dds"),
            "./pack expansion/zt/zt.pff '/home/u/Game/expansion/zt/temp/a.dds' /force >> "
            "ztlog.txt");
  EXPECT_EQ(addCommand(kShPath, "ztL.pff", "/g/c.wav"),
            "pack expansion/zt/ztL.pff '/g/c.wav' /force >> ztlog.txt");
  EXPECT_EQ(optimizeCommand(kShLocal), "./pack expansion/zt/zt.pff /opt");
  EXPECT_EQ(optimizeCommand(kShPath), "pack expansion/zt/zt.pff /opt");
  // Backslashes in the game root or a name are data, not separators.
  EXPECT_EQ(addCommand(kShPath, "zt.pff", "/g\\x/a\\b"),
            "pack expansion/zt/zt.pff '/g\\x/a\\b' /force >> ztlog.txt");
}

TEST(CommandLineTest, LocalPathOnlyTouchesTheShDialect) {
  EXPECT_EQ(localPath(kCmd, "\\expansion\\zt\\temp"), "\\expansion\\zt\\temp");
  EXPECT_EQ(localPath(kShLocal, "\\expansion\\zt\\temp"), "/expansion/zt/temp");
}

TEST(CommandLineTest, ShQuoteWrapsEveryWordSafely) {
  EXPECT_EQ(shQuote(""), "''");
  EXPECT_EQ(shQuote("a b"), "'a b'");
  EXPECT_EQ(shQuote("it's"), "'it'\\''s'");
  EXPECT_EQ(shQuote("''"), "''\\'''\\'''");
}

// The quoting is only right if the shell gives back the very bytes: hand it
// hostile words and read them back.
TEST(CommandLineTest, ShQuotedWordsComeBackUnchangedFromTheShell) {
  const std::string words[] = {
      "plain", "it's", "'", "''", "$(touch pwned)", "`id`", "a\"b", "x; rm -rf ~", "\\n\\",
      "new\nline", "tab\there", "$HOME", "*", "~", "caf\xc3\xa9", "!bang", "%PATH%", " lead",
  };
  for (const std::string& word : words) {
    FILE* pipe = popen(("printf '%s' " + shQuote(word)).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string back;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) back.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(back, word);
  }
}

}  // namespace
