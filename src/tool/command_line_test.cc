#include "tool/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/process.h"

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
  // A quote or a line end in a path would end cmd's quotes: not written.
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\G\\a\" & b\".dds"), std::nullopt);
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\G\\a\nb.dds"), std::nullopt);
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

TEST(CommandLineTest, CmdDeleteListLinesGoThroughUnchangedUnlessTheyWouldRunAnything) {
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del old.dds"),
            "pack.exe expansion\\zt\\zt.pff /del old.dds >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kCmd, "  ztL.pff /del \"a b.wav\"\t "),
            "pack.exe expansion\\zt\\  ztL.pff /del \"a b.wav\"\t  >> ztlog.txt");
  // Operators are harmless between double quotes.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del \"R&D > 1.dds\""),
            "pack.exe expansion\\zt\\zt.pff /del \"R&D > 1.dds\" >> ztlog.txt");
  // Outside them they would run another command or redirect: refused. So is
  // a quote never closed, which would swallow the redirection to the log,
  // and a line too long for cmd.exe, which would fail with no word said.
  // cmd reads ^" as a literal quote, so only the caret keeps the & here live.
  for (const char* line : {"x & echo pwned", "x | y", "x > out", "x < in", "x ^& y",
                           "zt.pff /del ^\" & mkdir pwned & ^\"",
                           "zt.pff /del \"a\" & b", "zt.pff /del \"open & quote",
                           "zt.pff /del a\rb", "zt.pff /del a\x1b"}) {
    EXPECT_FALSE(deleteListCommand(kCmd, line).has_value()) << line;
  }
  std::string refusal;
  const std::string fits(8191 - std::string("pack.exe expansion\\zt\\ >> ztlog.txt").size(), 'x');
  EXPECT_EQ(deleteListCommand(kCmd, fits)->size(), 8191u);
  EXPECT_FALSE(deleteListCommand(kCmd, fits + "x", &refusal).has_value());
  EXPECT_NE(refusal.find("8191 characters"), std::string::npos) << refusal;
}

TEST(CommandLineTest, CmdKeepsPercentSignsFromVariableExpansion) {
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\100% Game\\%PATH%%%x.dds"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\100\"%\" Game\\\\\"%\"PATH\"%%%\"x.dds\" /force >> "
            "ztlog.txt");
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del %TEMP%.dds \"a%b\""),
            "pack.exe expansion\\zt\\zt.pff /del \"%\"TEMP\"%\".dds \"a\"%\"b\" >> ztlog.txt");
  // The C runtime reads 2n backslashes before a quote as n and a real quote,
  // 2n+1 as n and a literal one: the backslashes before each quote the
  // program writes are doubled, so that they stay data and the quote works.
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\a\\\\%mods\\%y\\"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\a\\\\\\\\\"%\"mods\\\\\"%\"y\\\\\" /force >> "
            "ztlog.txt");
  EXPECT_EQ(addCommand(kCmd, "zt.pff", "C:\\a\\%"),
            "pack.exe expansion\\zt\\zt.pff \"C:\\a\\\\\"%\"\" /force >> ztlog.txt");
  // A "%" beside a quote: the quotes that hide it must not make a doubled
  // quote, which the C runtime reads as a literal one.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /del 100%\"off sale.dds\" \"a b\"%c \"d\"%\"e\""),
            "pack.exe expansion\\zt\\zt.pff /del 100\"\"%\"off sale.dds\" \"a b\"%\"\"c "
            "\"d\"%\"e\" >> ztlog.txt");
  // Where the runtimes differ on a doubled quote, this one is read in quotes
  // by some and outside them by others: no hiding suits both.
  std::string refusal;
  EXPECT_FALSE(deleteListCommand(kCmd, "zt.pff /del \"a\"\"b\"%c", &refusal).has_value());
  EXPECT_NE(refusal.find("% signs"), std::string::npos) << refusal;
}

TEST(CommandLineTest, ShDeleteListLinesBecomeQuotedWords) {
  EXPECT_EQ(deleteListCommand(kShLocal, "zt.pff /del \"my file.dds\""),
            "./pack 'expansion/zt/zt.pff' '/del' 'my file.dds' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, " \tztL.pff\t/del  b.wav x\"y z\"w "),
            "pack 'expansion/zt/ztL.pff' '/del' 'b.wav' 'xy zw' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del x; rm -rf ~"),
            "pack 'expansion/zt/zt.pff' '/del' 'x;' 'rm' '-rf' '~' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del $(touch pwned) it's"),
            "pack 'expansion/zt/zt.pff' '/del' '$(touch' 'pwned)' 'it'\\''s' >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShPath, "zt.pff /del \"\""),
            "pack 'expansion/zt/zt.pff' '/del' '' >> ztlog.txt");
  EXPECT_FALSE(deleteListCommand(kShPath, std::string("zt.pff /del a\0b", 15)).has_value());
  EXPECT_EQ(addCommand(kShPath, "zt.pff", "/g/a\"\nb"),
            "pack expansion/zt/zt.pff '/g/a\"\nb' /force >> ztlog.txt");
  EXPECT_FALSE(deleteListCommand(kShPath, "zt.pff /del \"a b").has_value());
  // sh gets the whole command as one argument, of at most 128 KiB.
  const std::string fits(128 * 1024 - 1 - std::string("pack 'expansion/zt/' >> ztlog.txt").size(),
                         'x');
  EXPECT_EQ(deleteListCommand(kShPath, fits)->size(), 128u * 1024 - 1);
  EXPECT_FALSE(deleteListCommand(kShPath, fits + "x").has_value());
}

// A mod's list may not lead the tool to a file outside the modification
// folder, to overwrite it or to pack it into an archive that gets published.
TEST(CommandLineTest, DeleteListLinesNameNothingOutsideTheModificationFolder) {
  struct Row {
    std::string line, cmdWord, shWord;  // the word refused, as each reads it
  };
  const Row rows[] = {
      {"..\\..\\Game.exe /del x", "..\\..\\Game.exe", "..\\..\\Game.exe"},
      {"../zt.pff /del x", "../zt.pff", "../zt.pff"},
      {"C:zt.pff /del x", "C:zt.pff", "C:zt.pff"},
      {"\\\\server\\share\\zt.pff /del x", "\\\\server\\share\\zt.pff",
       "\\\\server\\share\\zt.pff"},
      {"zt.pff /extract a.dds ..\\..\\version.dll", "..\\..\\version.dll", "..\\..\\version.dll"},
      {"zt.pff C:\\Windows\\win.ini /force", "C:\\Windows\\win.ini", "C:\\Windows\\win.ini"},
      {"zt.pff ~/.ssh/id_rsa", "~/.ssh/id_rsa", "~/.ssh/id_rsa"},
      {"zt.pff /extract a.dds \".. .\"", ".. .", ".. ."},
      {"zt.pff /extract a.dds d:x", "d:x", "d:x"},
      {"zt.pff /del a\" \"..\\b", "a ..\\b", "a ..\\b"},
      // Words as the tool's C runtime reads them: 2 backslashes and a quote
      // are one backslash and a quote that opens.
      {"\\\"..\\..\\Game.exe\" /del x", "..\\..\\Game.exe", "\\..\\..\\Game.exe"},
  };
  for (const Row& row : rows) {
    for (const Dialect& dialect : {kCmd, kShLocal}) {
      std::string refusal;
      EXPECT_FALSE(deleteListCommand(dialect, row.line, &refusal).has_value()) << row.line;
      EXPECT_EQ(refusal, "it names a place outside the modification folder: " +
                             (dialect.shell == Shell::Cmd ? row.cmdWord : row.shWord));
    }
  }
  // Nor may a line add a file of the game root, where the tool runs, or
  // extract over one: only a removal's words are entry names, which name no
  // place. A switch the tool does not know it would take as a file.
  const std::pair<std::string, std::string> files[] = {
      {"zt.pff /EXTRACT a.dds version.dll", "a.dds"},
      {"zt.pff Game.exe /force", "Game.exe"},
      {"zt.pff /vmlinuz", "/vmlinuz"},
      {"zt.pff /del a.dds /extract b.dds c.dll", "a.dds"},
  };
  for (const auto& [line, word] : files) {
    for (const Dialect& dialect : {kCmd, kShLocal}) {
      std::string refusal;
      EXPECT_FALSE(deleteListCommand(dialect, line, &refusal).has_value()) << line;
      EXPECT_EQ(refusal, "it names a file in the game root, outside the modification folder: " +
                             word + " (a line only removes entries)");
    }
  }
  // For cmd a device's name opens the device (the console, a serial port),
  // which the tool would wait on; for sh it is a file like another.
  for (const std::string line : {"CON /del x", "com1.pff /del x", "Lpt\xc2\xb9.pff /del x"}) {
    std::string refusal;
    EXPECT_FALSE(deleteListCommand(kCmd, line, &refusal).has_value()) << line;
    EXPECT_EQ(refusal.rfind("it names a device, not an archive: ", 0), 0u) << refusal;
    EXPECT_TRUE(deleteListCommand(kShLocal, line).has_value()) << line;
  }
  EXPECT_TRUE(deleteListCommand(kCmd, "com10.pff /del x").has_value());
  EXPECT_EQ(deleteListCommand(kCmd, "ztL.pff /opt"),
            "pack.exe expansion\\zt\\ztL.pff /opt >> ztlog.txt");
  // Switches, and names with dots that lead nowhere, are fine.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /DEL a..b.dds ...dds \"x y\""),
            "pack.exe expansion\\zt\\zt.pff /DEL a..b.dds ...dds \"x y\" >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShLocal, "zt.pff /DEL a..b.dds ...dds \"x y\""),
            "./pack 'expansion/zt/zt.pff' '/DEL' 'a..b.dds' '...dds' 'x y' >> ztlog.txt");
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
