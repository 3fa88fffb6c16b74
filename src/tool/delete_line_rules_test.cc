#include "tool/delete_line_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

using platform::Shell;

const Dialect kCmd = dialectFor(Shell::Cmd, true);
const Dialect kShLocal = dialectFor(Shell::Sh, true);
const Dialect kShPath = dialectFor(Shell::Sh, false);

const char kControl[] = "it holds a control character";
const char kUnclosedQuote[] = "a double quote in it is never closed";
const char kCmdOperator[] =
    "it holds & | < > or ^ outside double quotes, which would run another command or redirect "
    "its output";
const char kPercent[] =
    "its % signs cannot be kept from cmd's variables without changing its words";

std::string outside(const std::string& word) {
  return "it names a place outside the modification folder: " + word;
}
std::string removesOnly(const std::string& advice) {
  return "a line only removes entries: " + advice;
}
std::string noSuchSwitch(const std::string& word) { return "no such switch " + word; }
std::string typographic(const std::string& quote) {
  return "it holds the typographic quote " + quote +
         ": write straight double quotes (\") around a name instead";
}
std::string device(const std::string& word) { return "it names a device, not an archive: " + word; }
std::string tooLong(const std::string& characters) {
  return "its command would be longer than the " + characters +
         " characters that the interpreter accepts";
}

const DeleteLineRule& ruleNamed(const std::string& name) {
  for (const DeleteLineRule& rule : deleteLineRules()) {
    if (rule.name == name) return rule;
  }
  ADD_FAILURE() << "no rule " << name;
  return deleteLineRules().front();
}

// The longest lines whose commands the interpreters take.
const std::string kCmdFits(8191 - std::string("pack.exe expansion\\zt\\ >> ztlog.txt").size(), 'x');
const std::string kShFits(128 * 1024 - 1 - std::string("pack 'expansion/zt/' >> ztlog.txt").size(),
                          'x');

struct Row {
  const char* rule;  // the first rule the line breaks
  std::vector<Dialect> dialects;
  std::string line;
  std::string message;
  const char* alsoBreaks = nullptr;  // a later rule, which must not be the one reported
};

// A mod's list may not run another command, lead the tool to a file outside
// the modification folder (to overwrite it, or to pack it into an archive
// that gets published), nor make it wait on a device.
TEST(DeleteLineRulesTest, EachRuleRefusesItsLinesWithItsMessage) {
  const std::vector<Dialect> both = {kCmd, kShLocal};
  const Row rows[] = {
      {"control-character", {kCmd}, "zt.pff /del a\rb", kControl},
      {"control-character", {kCmd}, "zt.pff /del a\x1b", kControl},
      {"control-character", {kShPath}, std::string("zt.pff /del a\0b", 15), kControl},
      // cmd would swallow the redirection to the log into the quote.
      {"unclosed-quote", {kCmd}, "zt.pff /del \"open & quote", kUnclosedQuote},
      {"unclosed-quote", {kShPath}, "zt.pff /del \"a b", kUnclosedQuote},
      // The tool's C runtime reads \" as a literal quote: its quotes stay
      // open, and take in the space cmd hands over before the redirection.
      {"unclosed-quote/runtime", {kCmd}, "zt.pff /del \\\"x \"y", kUnclosedQuote},
      // Outside double quotes these would run another command or redirect.
      // cmd reads ^" as a literal quote, so only the caret keeps the & live.
      {"cmd-operator", {kCmd}, "x & echo pwned", kCmdOperator},
      {"cmd-operator", {kCmd}, "x | y", kCmdOperator},
      {"cmd-operator", {kCmd}, "x > out", kCmdOperator},
      {"cmd-operator", {kCmd}, "x < in", kCmdOperator},
      {"cmd-operator", {kCmd}, "x ^& y", kCmdOperator},
      {"cmd-operator", {kCmd}, "zt.pff /del ^\" & mkdir pwned & ^\"", kCmdOperator},
      {"cmd-operator", {kCmd}, "zt.pff /del \"a\" & b", kCmdOperator},
      {"place-outside", both, "..\\..\\Game.exe /del x", outside("..\\..\\Game.exe")},
      {"place-outside", both, "../zt.pff /del x", outside("../zt.pff")},
      {"place-outside", both, "C:zt.pff /del x", outside("C:zt.pff")},
      {"place-outside", both, "\\\\server\\share\\zt.pff /del x",
       outside("\\\\server\\share\\zt.pff")},
      {"place-outside", both, "zt.pff /extract a.dds ..\\..\\version.dll",
       outside("..\\..\\version.dll")},
      {"place-outside", both, "zt.pff C:\\Windows\\win.ini /force",
       outside("C:\\Windows\\win.ini")},
      {"entry-folder", both, "zt.pff ~/.ssh/id_rsa", "entries are named without a folder: id_rsa",
       "place-outside"},
      {"place-outside", both, "zt.pff /extract a.dds \".. .\"", outside(".. .")},
      {"place-outside", both, "zt.pff /extract a.dds d:x", outside("d:x")},
      // Words as the tool's C runtime reads them: 2 backslashes and a quote
      // are one backslash and a quote that opens.
      {"place-outside", {kCmd}, "\\\"..\\..\\Game.exe\" /del x", outside("..\\..\\Game.exe")},
      {"place-outside", {kShLocal}, "\\\"..\\..\\Game.exe\" /del x",
       outside("\\..\\..\\Game.exe")},
      // Nor may a line add a file of the game root, where the tool runs, or
      // extract over one: only a removal's words are entry names, which name
      // no place. The message says what the line should be.
      {"removes-only", both, "zt.pff /EXTRACT a.dds version.dll",
       removesOnly("leave out /EXTRACT")},
      {"removes-only", both, "zt.pff Game.exe /force", removesOnly("leave out /force")},
      {"removes-only", both, "zt.pff /del ok.dds /force Game.exe", removesOnly("leave out /force")},
      {"removes-only", both, "zt.pff /del x /opt", removesOnly("leave out /opt")},
      {"removes-only", both, "zt.pff /del a.dds /extract b.dds c.dll",
       removesOnly("leave out /extract")},
      {"removes-only", both, " zt.pff old.dds ", removesOnly("write zt.pff /del old.dds")},
      {"removes-only", both, "\"zt.pff\" \"old theme.wav\"",
       removesOnly("write \"zt.pff\" /del \"old theme.wav\"")},
      // Every word from the list is masked in the message.
      {"removes-only", both, "zt.pff \xE2\x80\xAEold.dds\xC2\x9B\x9B",
       removesOnly("write zt.pff /del <U+202E>old.dds<U+009B>?")},
      // Mistakes are named with what to write before the rule they break.
      {"no-archive", both, "/del old.dds",
       "the line must start with the archive, zt.pff or ztL.pff", "place-outside"},
      {"no-archive", both, "\"\" /del old.dds",
       "the line must start with the archive, zt.pff or ztL.pff"},
      {"typographic-quote", both, "zt.pff /del \xE2\x80\x9Cold theme.wav\xE2\x80\x9D",
       typographic("\xE2\x80\x9C")},
      {"typographic-quote", both, "zt.pff /del \xE2\x80\x98old.wav\xE2\x80\x99",
       typographic("\xE2\x80\x98")},
      {"unknown-switch", both, "zt.pff /delete old.dds",
       noSuchSwitch("/delete; did you mean /del?"), "removes-only"},
      {"unknown-switch", both, "zt.pff /Dell old.dds", noSuchSwitch("/Dell; did you mean /del?")},
      {"unknown-switch", both, "zt.pff /vmlinuz",
       noSuchSwitch("/vmlinuz; entries are removed with /del")},
      {"entry-folder", both, "zt.pff /del expansion/zt/temp/old.dds",
       "entries are named without a folder: old.dds", "place-outside"},
      {"entry-folder", both, "zt.pff /del textures\\old.dds",
       "entries are named without a folder: old.dds"},
      {"entry-folder", both, "zt.pff /del a\" \"..\\b", "entries are named without a folder: b",
       "place-outside"},
      {"archive-colon", both, "zt.pff:stream /del x",
       "an archive's name holds no ':': zt.pff:stream"},
      // For cmd a device's name opens the device (the console, a serial
      // port), which the tool would wait on; for sh it is a file like another.
      {"device", {kCmd}, "CON /del x", device("CON")},
      {"device", {kCmd}, "com1.pff /del x", device("com1.pff")},
      {"device", {kCmd}, "Lpt\xc2\xb9.pff /del x", device("Lpt\xc2\xb9.pff")},
      // Older C runtimes end the quotes at a doubled quote, newer ones keep
      // them open: the words of either reading must pass.
      {"place-outside/older-runtimes", {kCmd}, "zt.pff /del a\"\"\" \"..", outside("..")},
      {"removes-only/older-runtimes", {kCmd}, "zt.pff\"\"\" x\"",
       removesOnly("write zt.pff\"\"\" x\" /del")},
      // Newer runtimes read the archive's word on to the \xff, which is no
      // character, so no device's name; older ones end it at the space.
      {"device/older-runtimes", {kCmd}, "CON.dds\"a\"\"b c\xff\"\"\" /del x",
       device("CON.ddsa\"b")},
      // Where the runtimes differ on a doubled quote, this one is read in
      // quotes by some and outside them by others: no hiding suits both.
      {"percent", {kCmd}, "zt.pff /del \"a\"\"b\"%c", kPercent},
      // A line too long for the interpreter would fail with no word said.
      {"too-long", {kCmd}, kCmdFits + "x", tooLong("8191")},
      {"too-long", {kShPath}, kShFits + "x", tooLong("131071")},

      // The first rule broken is the one reported.
      {"control-character", both, "zt.pff /del \"a\x1b", kControl, "unclosed-quote"},
      {"unclosed-quote", {kCmd}, "zt.pff /del a & \"b", kUnclosedQuote, "cmd-operator"},
      {"cmd-operator", {kCmd}, "..\\zt.pff /del x & y", kCmdOperator, "place-outside"},
      {"place-outside", both, "zt.pff ..\\Game.exe /force", outside("..\\Game.exe"),
       "removes-only"},
      // Each rule on words is tried on one reading, then on the other.
      {"removes-only", {kCmd}, "zt.pff /extract \"a\"\"b\" /del\"\"",
       removesOnly("leave out /extract"), "place-outside/older-runtimes"},
      {"device", {kCmd}, "CON /del \"a\"\"b\"%c", device("CON"), "percent"},
      {"cmd-operator", {kCmd}, "zt.pff /del a & " + kCmdFits, kCmdOperator, "too-long"},

      // The archive's word ".." would name the folder above the
      // modification folder.
      {"place-outside", both, ".. /del x", outside("..")},
      // A switch is a slash and letters: a path that starts with a slash is none.
      {"entry-folder", both, "zt.pff /del /..\\Game.exe",
       "entries are named without a folder: Game.exe", "place-outside"},
      {"control-character", both, "zt.pff /del a\x7f", kControl},  // DEL
      {"control-character", both, "zt.pff /del a\x1f", kControl},  // the last C0 control
  };
  std::set<std::string> tested;
  for (const Row& row : rows) {
    tested.insert(row.rule);
    for (const Dialect& dialect : row.dialects) {
      const std::string context =
          std::string(row.rule) + " " + dialect.tool + ": " + row.line.substr(0, 60);
      std::optional<DeleteLineRefusal> refusal = refuseDeleteLine(dialect, row.line);
      if (!refusal) {
        ADD_FAILURE() << "not refused: " << context;
        continue;
      }
      EXPECT_EQ(refusal->rule->name, std::string(row.rule)) << context;
      EXPECT_EQ(refusal->message, row.message) << context;
      std::string reason;
      EXPECT_EQ(deleteListCommand(dialect, row.line, &reason), std::nullopt) << context;
      EXPECT_EQ(reason, row.message) << context;
      if (row.alsoBreaks) {
        const DeleteLineRule& also = ruleNamed(row.alsoBreaks);
        EXPECT_TRUE(breaksRule(also, dialect, row.line).has_value()) << context;
      }
    }
  }
  for (const DeleteLineRule& rule : deleteLineRules()) {
    EXPECT_EQ(tested.count(rule.name), 1u) << "no line breaks " << rule.name;
  }
  // The list's reader refuses a line too long to keep with the same words.
  EXPECT_EQ(tooLongRefusal(kCmd), tooLong("8191"));
  EXPECT_EQ(tooLongRefusal(kShPath), tooLong("131071"));
}

TEST(DeleteLineRulesTest, LinesThatKeepEveryRuleAreRun) {
  EXPECT_EQ(deleteListCommand(kCmd, kCmdFits)->size(), 8191u);
  // sh gets the whole command as one argument, of at most 128 KiB.
  EXPECT_EQ(deleteListCommand(kShPath, kShFits)->size(), 128u * 1024 - 1);
  for (const std::string line : {"CON /del x", "com1.pff /del x", "Lpt\xc2\xb9.pff /del x"}) {
    EXPECT_TRUE(deleteListCommand(kShLocal, line).has_value()) << line;
  }
  EXPECT_TRUE(deleteListCommand(kCmd, "com10.pff /del x").has_value());
  // The tool's other switches are no files either.
  for (const std::string line : {"zt.pff /list", "ztL.pff /VERIFY"}) {
    EXPECT_TRUE(deleteListCommand(kCmd, line).has_value()) << line;
  }
  EXPECT_EQ(deleteListCommand(kCmd, "ztL.pff /opt"),
            "pack.exe expansion\\zt\\ztL.pff /opt >> ztlog.txt");
  // A typographic quote inside a word may be an apostrophe.
  EXPECT_TRUE(deleteListCommand(kShLocal, "zt.pff /del Don\xE2\x80\x99t.wav").has_value());
  // Switches, and names with dots that lead nowhere, are fine.
  EXPECT_EQ(deleteListCommand(kCmd, "zt.pff /DEL a..b.dds ...dds \"x y\""),
            "pack.exe expansion\\zt\\zt.pff /DEL a..b.dds ...dds \"x y\" >> ztlog.txt");
  EXPECT_EQ(deleteListCommand(kShLocal, "zt.pff /DEL a..b.dds ...dds \"x y\""),
            "./pack 'expansion/zt/zt.pff' '/DEL' 'a..b.dds' '...dds' 'x y' >> ztlog.txt");
}

}  // namespace
