#include "tool/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/process.h"
#include "tool/delete_line_rules.h"

namespace {

using platform::Shell;

const Dialect kCmd = dialectFor(Shell::Cmd, true);
const Dialect kShLocal = dialectFor(Shell::Sh, true);
const Dialect kShPath = dialectFor(Shell::Sh, false);

TEST(CommandLineTest, CmdDialectIsByteForByteTheWindowsLines) {
  EXPECT_EQ(dialectFor(Shell::Cmd, false).tool, "pack.exe");
  EXPECT_EQ(startLogCommand(), "echo ZT Log Start > ztlog.txt");
  EXPECT_EQ(addFileCommand(kCmd, "zt.pff", "C:\\Game\\expansion\\zt\\temp\\a.dds"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\Game\\expansion\\zt\\temp\\a.dds\" /force >> "
            "ztlog.txt");
  EXPECT_EQ(addFileCommand(kCmd, "ztL.pff", "C:\\My Game\\\\expansion\\zt\\tempL\\c d.wav"),
            "pack.exe expansion\\zt\\ztL.pff \"C:\\My Game\\\\expansion\\zt\\tempL\\c d.wav\" "
            "/force >> ztlog.txt");
  EXPECT_EQ(optimizeCommand(kCmd), "pack.exe expansion\\zt\\zt.pff /opt");
  // A quote or a line end in a path would end cmd's quotes: not written.
  EXPECT_EQ(addFileCommand(kCmd, "zt.pff", "C:\\G\\a\" & b\".dds"), std::nullopt);
  EXPECT_EQ(addFileCommand(kCmd, "zt.pff", "C:\\G\\a\nb.dds"), std::nullopt);
}

TEST(CommandLineTest, ShDialectCarriesThePiecesOverWithSlashes) {
  EXPECT_EQ(addFileCommand(kShLocal, "zt.pff", "/home/u/Game/expansion/zt/temp/a.dds"),
            "./pack expansion/zt/zt.pff '/home/u/Game/expansion/zt/temp/a.dds' /force >> "
            "ztlog.txt");
  EXPECT_EQ(addFileCommand(kShPath, "ztL.pff", "/g/c.wav"),
            "pack expansion/zt/ztL.pff '/g/c.wav' /force >> ztlog.txt");
  EXPECT_EQ(optimizeCommand(kShLocal), "./pack expansion/zt/zt.pff /opt");
  EXPECT_EQ(optimizeCommand(kShPath), "pack expansion/zt/zt.pff /opt");
  // Backslashes in the game root or a name are data, not separators.
  EXPECT_EQ(addFileCommand(kShPath, "zt.pff", "/g\\x/a\\b"),
            "pack expansion/zt/zt.pff '/g\\x/a\\b' /force >> ztlog.txt");
}

TEST(CommandLineTest, CmdDeleteListLinesGoThroughUnchangedUnlessTheyWouldRunAnything) {
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del old.dds"),
            "pack.exe expansion\\zt\\zt.pff /del old.dds >> ztlog.txt");
  // Blanks before the archive would part it from the folder; a quote that
  // opens it must not follow a lone backslash, which would make it literal.
  EXPECT_EQ(deleteListCommand(kCmd, "  ztL.pff /del \"a b.wav\"\t "),
            "pack.exe expansion\\zt\\ztL.pff /del \"a b.wav\"\t  >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kCmd, "\t\"zt.pff\" /del old.dds"),
            "pack.exe expansion\\zt\\\\\"zt.pff\" /del old.dds >> ztlog.txt");
  // Operators are harmless between double quotes (delete_line_rules_test.cc
  // has the lines refused).
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del \"R&D > 1.dds\""),
            "pack.exe expansion\\zt\\zt.pff /del \"R&D > 1.dds\" >> ztlog.txt");
}

TEST(CommandLineTest, CmdKeepsPercentSignsFromVariableExpansion) {
  EXPECT_EQ(
      addFileCommand(kCmd, "zt.pff", "C:\\100% Game\\%PATH%%%x.dds"),
      "pack.exe expansion\\zt\\zt.pff \"C:\\100\"%\" Game\\\\\"%\"PATH\"%%%\"x.dds\" /force >> "
      "ztlog.txt");
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del %TEMP%.dds \"a%b\""),
            "pack.exe expansion\\zt\\zt.pff /del \"%\"TEMP\"%\".dds \"a\"%\"b\" >> ztlog.txt");
  // The C runtime reads 2n backslashes before a quote as n and a real quote,
  // 2n+1 as n and a literal one: the backslashes before each quote the
  // program writes are doubled, so that they stay data and the quote works.
  EXPECT_EQ(addFileCommand(kCmd, "zt.pff", "C:\\a\\\\%mods\\%y\\"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\a\\\\\\\\\"%\"mods\\\\\"%\"y\\\\\" /force >> "
            "ztlog.txt");
  EXPECT_EQ(addFileCommand(kCmd, "zt.pff", "C:\\a\\%"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\a\\\\\"%\"\" /force >> ztlog.txt");
  // A "%" beside a quote: the quotes that hide it must not make a doubled
  // quote, which the C runtime reads as a literal one.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del 100%\"off sale.dds\" \"a b\"%c \"d\"%\"e\""),
            "pack.exe expansion\\zt\\zt.pff /del 100\"\"%\"off sale.dds\" \"a b\"%\"\"c "
            "\"d\"%\"e\" >> ztlog.txt");
  // Between quotes a run is closed out of them, even beside one.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del \"%a\""),
            "pack.exe expansion\\zt\\zt.pff /del \"\"%\"a\" >> ztlog.txt");
}

TEST(CommandLineTest, ShDeleteListLinesBecomeQuotedWords) {
  EXPECT_EQ(deleteListCommand(kShLocal, "zt.pff /del \"my file.dds\""),
            "./pack 'expansion/zt/zt.pff' '/del' 'my file.dds' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, " \tztL.pff\t/del  b.wav x\"y z\"w "),
            "pack 'expansion/zt/ztL.pff' '/del' 'b.wav' 'xy zw' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "\"zt.pff\" /del old.dds"),
            "pack 'expansion/zt/zt.pff' '/del' 'old.dds' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del x; rm -rf ~"),
            "pack 'expansion/zt/zt.pff' '/del' 'x;' 'rm' '-rf' '~' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del $(touch pwned) it's"),
            "pack 'expansion/zt/zt.pff' '/del' '$(touch' 'pwned)' 'it'\\''s' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del \"\""),
            "pack 'expansion/zt/zt.pff' '/del' '' >> ztlog.txt");
  EXPECT_EQ(addFileCommand(kShPath, "zt.pff", "/g/a\"\nb"),
            "pack expansion/zt/zt.pff '/g/a\"\nb' /force >> ztlog.txt");
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
