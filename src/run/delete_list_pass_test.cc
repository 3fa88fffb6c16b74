// End-to-end tests of the delete list's replay.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

class DeleteListTest : public RebuildTest {
 protected:
  // The archives the lines name are there: a line that names one that is not
  // runs nothing.
  void SetUp() override {
    RebuildTest::SetUp();
    writeFile(root + "/expansion/zt/zt.pff", "");
    writeFile(root + "/expansion/zt/ztL.pff", "");
  }
  void writeList(const std::string& content) {
    writeFile(root + "/expansion/zt/deleteList.txt", content);
  }
  std::string listPath() const { return underRoot("expansion/zt/deleteList.txt"); }
  // The calls before the optimize command.
  std::vector<Call> deletions(const RunResult& run) {
    if (run.calls.empty() || run.calls.back() != optimize()) return {{"<no optimize call>"}};
    return std::vector<Call>(run.calls.begin(), run.calls.end() - 1);
  }
};

TEST_F(DeleteListTest, EveryLineThatHoldsSomethingIsOneCommandInOrder) {
  std::vector<Call> expected = {
      {inModFolder("zt.pff"), "/del", "old.dds"},
      {inModFolder("ztL.pff"), "/del", "my sound.wav", "b.wav "},
      {inModFolder("zt.pff"), "/del", "last.dds"},
  };
  const std::string body =
      "zt.pff /del old.dds\r\n"
      "\r\n"
      "   \t \n"
      "ztL.pff /del \"my sound.wav\" \"b.wav \"\r"
      "\n"
      "zt.pff /del last.dds";
  // A Ctrl+Z at the end is what copy con writes.
  for (const std::string ending : {"", "\n", "\r\n", "\n\n", "\r", "\r\n\x1A"}) {
    writeList(body + ending);
    forgetCalls();
    RunResult run = rebuild();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, console(""));
    EXPECT_EQ(deletions(run), expected) << "ending " << ending.size();
    EXPECT_EQ(run.log, logStart() + toolOutput(3) + toolOutput(4) + toolOutput(3));
  }
}

TEST_F(DeleteListTest, ReplayedAfterPackingAndBeforeOptimizing) {
  stage("temp/a.dds");
  writeList("zt.pff /del a.dds\n");
  RunResult run = rebuild();
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"),
                                {inModFolder("zt.pff"), "/del", "a.dds"}, optimize()};
  EXPECT_EQ(run.calls, expected);
}

TEST_F(DeleteListTest, EmptyListRunsNothing) {
  writeFile(root + "/expansion/zt/zt.pff", "");
  for (const char* content : {"", "\n", "\r\n  \r\n\t\n"}) {
    writeList(content);
    forgetCalls();
    RunResult run = rebuild();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(deletions(run), std::vector<Call>{});
  }
}

// Blanks before the archive would part it from the folder for cmd, and a
// quote that opens it would follow the folder's backslash.
TEST_F(DeleteListTest, BlanksBeforeTheArchiveAndQuotesAroundItAreNoPartOfIt) {
  writeList("  zt.pff /del a.dds  \n\t \"ztL.pff\" /del \"b c.wav\"\n");
  RunResult run = rebuild();
  EXPECT_EQ(run.err, "");
  std::vector<Call> expected = {{inModFolder("zt.pff"), "/del", "a.dds"},
                                {inModFolder("ztL.pff"), "/del", "b c.wav"}};
  EXPECT_EQ(deletions(run), expected);
}

// A line with a mistake in it is named with what it should say, and runs
// nothing; Windows finds an archive's name in any case.
TEST_F(DeleteListTest, MistakesAreNamedWithWhatToWrite) {
  writeList("zt.pff old.dds\n"
            "zt.pff /delete old.dds\n"
            "/del old.dds\n"
            "zt.pff /del textures\\old.dds\n"
            "ZT.PFF /del upper.dds\n"
            "ztl.pff /del lower.dds\n"
            "zt.pf /del x\n"
            "zt.pff:stream /del x\n"
            "zt.pff /del ok.dds /force Game.exe\n"
            "zt.pff /del \xE2\x80\x9Cold theme.wav\xE2\x80\x9D\n"
            "z*.pff /del x\n"
            "ztL.pff /opt\n");
  RunResult run = rebuild();
  const std::string modFolder = onWindows() ? "expansion\\zt" : "expansion/zt";
  auto refused = [&](int line, const std::string& reason) {
    return "zt-rebuild: " + listPath() + ":" + std::to_string(line) + ": not run: " + reason + "\n";
  };
  std::string refusals =
      refused(1, "a line only removes entries: write zt.pff /del old.dds") +
      refused(2, "no such switch /delete; did you mean /del?") +
      refused(3, "the line must start with the archive, zt.pff or ztL.pff") +
      refused(4, "entries are named without a folder: old.dds");
  std::vector<Call> expected;
  if (onWindows()) {
    expected = {{inModFolder("ZT.PFF"), "/del", "upper.dds"},
                {inModFolder("ztl.pff"), "/del", "lower.dds"}};
  } else {
    refusals += refused(5, "ZT.PFF is not in expansion/zt; did you mean zt.pff?") +
                refused(6, "ztl.pff is not in expansion/zt; did you mean ztL.pff?");
  }
  refusals += refused(7, "zt.pf is not in " + modFolder + "; did you mean zt.pff?") +
              refused(8, "an archive's name holds no ':': zt.pff:stream") +
              refused(9, "a line only removes entries: leave out /force") +
              refused(10, "it holds the typographic quote " +
                              std::string(onWindows() ? "\x93" : "\xE2\x80\x9C") +
                              ": write straight double quotes (\") around a name instead") +
              refused(11, "z*.pff is not in " + modFolder + "; did you mean zt.pff?");
  expected.push_back({inModFolder("ztL.pff"), "/opt"});
  EXPECT_EQ(deletions(run), expected);
  EXPECT_EQ(run.err.substr(0, run.err.find("zt-rebuild: the run failed")), text(refusals));
  EXPECT_EQ(run.status, 1);

  // A name from the list is masked in the message: 0x81 is no character in
  // UTF-8, and a control (U+0081) in the Windows code page.
  writeList("\x81zt.pff /del x\n");
  RunResult masked = rebuild();
  const std::string shown = onWindows() ? "<U+0081>" : "?";
  EXPECT_EQ(masked.err.substr(0, masked.err.find("zt-rebuild: the run failed")),
            text(refused(1, shown + "zt.pff is not in " + modFolder + "; did you mean zt.pff?")));

  // An archive named right that is not there is said to be absent, with no
  // other name offered; outside a dry run neither is taken as there.
  for (const std::string absent : {"ztL.pff", "zt.pff"}) {
    writeFile(root + "/expansion/zt/zt.pff", "");
    writeFile(root + "/expansion/zt/ztL.pff", "");
    fs::remove(root + "/expansion/zt/" + absent);
    writeList(absent + " /del x\n");
    forgetCalls();
    RunResult missing = rebuild();
    EXPECT_EQ(missing.err.substr(0, missing.err.find("zt-rebuild: the run failed")),
              text(refused(1, absent + " is not in " + modFolder)));
    // Only the optimize step, which has no zt.pff to optimize when it is absent.
    const std::vector<Call> optimizing = {optimize()};
    EXPECT_EQ(missing.calls, absent == "zt.pff" ? std::vector<Call>{} : optimizing) << absent;
  }
}

TEST_F(DeleteListTest, NoLineCanRunAnotherCommand) {
  writeList(
      "zt.pff /del x; touch pwned1\n"
      "zt.pff /del $(touch pwned2) `touch pwned3`\n"
      "zt.pff /del x & echo pwned4 > pwned4\n"
      "zt.pff /del x | touch pwned5\n"
      "zt.pff /del x > pwned6\n"
      "zt.pff /del ^\" & mkdir pwned7 & ^\"\n"
      "zt.pff /del \"R&D.dds\"\n");
  RunResult run = rebuild();
  for (const char* witness : {"pwned1", "pwned2", "pwned3", "pwned4", "pwned5", "pwned6",
                              "pwned7"}) {
    EXPECT_FALSE(fs::exists(root + "/" + witness)) << witness;
    EXPECT_FALSE(fs::exists(scratch / witness)) << witness;
  }
  const Call quotedAmpersand = {inModFolder("zt.pff"), "/del", "R&D.dds"};
  if (onWindows()) {
    // cmd would split lines 3 to 6 into further commands: they are refused.
    EXPECT_EQ(run.status, 1);
    for (int line : {3, 4, 5, 6}) {
      EXPECT_NE(run.err.find(listPath() + ":" + std::to_string(line) + ": not run"),
                std::string::npos)
          << run.err;
    }
    EXPECT_NE(run.err.find("4 of 9 commands failed"), std::string::npos) << run.err;
    EXPECT_EQ(deletions(run).back(), quotedAmpersand);
  } else {
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<Call> expected = {
        {inModFolder("zt.pff"), "/del", "x;", "touch", "pwned1"},
        {inModFolder("zt.pff"), "/del", "$(touch", "pwned2)", "`touch", "pwned3`"},
        {inModFolder("zt.pff"), "/del", "x", "&", "echo", "pwned4", ">", "pwned4"},
        {inModFolder("zt.pff"), "/del", "x", "|", "touch", "pwned5"},
        {inModFolder("zt.pff"), "/del", "x", ">", "pwned6"},
        {inModFolder("zt.pff"), "/del", "^ & mkdir pwned7 & ^"},
        quotedAmpersand,
    };
    EXPECT_EQ(deletions(run), expected);
  }
}

TEST_F(DeleteListTest, RefusedLinesAreNamedWithTheirNumberAndReason) {
  const std::string longer = onWindows() ? "8191" : "131071";
  writeList("\xEF\xBB\xBFzt.pff /del bom.dds\n"  // Notepad's byte-order mark
            "zt.pff /del a\x1b[2Jb\n"
            "zt.pff /del \"open.dds\n"
            "zt.pff /del " + std::string(140000, 'x') + "\r\n"
            // What is kept of a long line may be blank: the rest is not.
            + std::string(140000, ' ') + "zt.pff /del secret.dds\n"
            "zt.pff /extract a.dds ..\\..\\version.dll\n"
            "zt.pff /del fine.dds\n");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find("zt-rebuild: the run failed: 5 of")),
            text("zt-rebuild: " + listPath() + ":2: not run: it holds a control character\n"
                 "zt-rebuild: " + listPath() + ":3: not run: a double quote in it is never "
                 "closed\n"
                 "zt-rebuild: " + listPath() + ":4: not run: its command would be longer than "
                 "the " + longer + " characters that the interpreter accepts\n"
                 "zt-rebuild: " + listPath() + ":5: not run: its command would be longer than "
                 "the " + longer + " characters that the interpreter accepts\n"
                 "zt-rebuild: " + listPath() + ":6: not run: it names a place outside the "
                 "modification folder: ..\\..\\version.dll\n"));
  std::vector<Call> expected = {{inModFolder("zt.pff"), "/del", "bom.dds"},
                                {inModFolder("zt.pff"), "/del", "fine.dds"}};
  EXPECT_EQ(deletions(run), expected);
}

// Notepad saves UTF-8, with a byte-order mark or without, or UTF-16 with
// one. The Windows build hands the tool each name in the system's code page
// (1252 under Wine), or refuses the line; on POSIX names are bytes, and
// UTF-16 becomes UTF-8.
TEST_F(DeleteListTest, NotepadListsReachTheToolInTheSystemCodePage) {
  const std::string cafe = "zt.pff /del caf\xC3\xA9.dds";
  const std::string japan = "zt.pff /del \xE6\x97\xA5\xE6\x9C\xAC.dds";
  auto utf16 = [](const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < text.size();) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;  // no character here needs four bytes
      unsigned unit = extra == 0 ? c : extra == 1 ? c & 0x1F : c & 0x0F;
      for (int k = 1; k <= extra; ++k) unit = unit << 6 | (text[i + k] & 0x3F);
      i += extra + 1;
      char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
      out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
  };
  const std::string lines = cafe + "\r\n" + japan + "\r\nzt.pff /del b.dds\r\n";
  // A lone half of a surrogate pair is no UTF-16.
  const std::string broken = std::string("z\0t\0\0\xD8\n\0", 8);
  // Some programs write UTF-16 without its mark.
  const std::string lists[] = {lines, "\xEF\xBB\xBF" + lines, utf16(lines, false) + broken,
                               utf16(lines, true) + std::string("\0z\0t\xD8\0\0\n", 8),
                               utf16(lines, false).substr(2)};
  for (const std::string& list : lists) {
    writeList(list);
    forgetCalls();
    RunResult run = rebuild();
    const bool isUtf16 = list[0] != 'z' && list[0] != '\xEF';
    std::vector<Call> expected = {{inModFolder("zt.pff"), "/del", "caf\xC3\xA9.dds"},
                                  {inModFolder("zt.pff"), "/del", "\xE6\x97\xA5\xE6\x9C\xAC.dds"},
                                  {inModFolder("zt.pff"), "/del", "b.dds"}};
    std::string refusals;
    if (onWindows()) {
      expected = {{inModFolder("zt.pff"), "/del", "caf\xE9.dds"}, expected[2]};
      refusals = "zt-rebuild: " + listPath() + ":2: not run: it holds <U+65E5><U+672C>, which "
                 "the system's code page cannot hold\n";
    }
    if (isUtf16) {
      refusals += "zt-rebuild: " + listPath() + ":4: not run: it is not valid UTF-16, which the "
                  "list is written in\n";
    }
    EXPECT_EQ(deletions(run), expected) << list;
    EXPECT_EQ(run.err.substr(0, run.err.find("zt-rebuild: ", refusals.size())), text(refusals))
        << list;
    EXPECT_EQ(run.status, refusals.empty() ? 0 : 1) << list;
  }
  // A list in the code page itself is not UTF-8: its bytes go through as they are.
  writeList("zt.pff /del caf\xE9.dds");
  forgetCalls();
  const Call ansi = {inModFolder("zt.pff"), "/del", "caf\xE9.dds"};
  EXPECT_EQ(deletions(rebuild()), std::vector<Call>{ansi});
  // Text whose NULs tell no byte order is refused once, not line by line.
  writeList(std::string("z\0\0\0t\0\0\0\n\0\0\0", 12) + "zt.pff /del b.dds\n");
  forgetCalls();
  RunResult utf32 = rebuild();
  EXPECT_EQ(deletions(utf32), std::vector<Call>{});
  EXPECT_EQ(utf32.err.substr(0, utf32.err.find("zt-rebuild: the run failed")),
            text("zt-rebuild: " + listPath() + ": not read: it looks like UTF-16 without a "
                 "byte-order mark: save it again as UTF-8\n"));
}

TEST_F(DeleteListTest, AListThatIsAFolder) {
  writeFile(root + "/expansion/zt/zt.pff", "");
  makeFolder(root + "/expansion/zt/deleteList.txt");
  RunResult run = rebuild();
  EXPECT_EQ(deletions(run), std::vector<Call>{});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(listPath() + ": not read: it is a folder, not a file"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 of 3 commands failed"), std::string::npos) << run.err;

  // Lists that cannot be opened are named with the reason, and counted as
  // failed: a link to itself, which not even root can follow, and (as a user
  // who may not read it) a list without read permission.
  struct Unreadable { std::string make, runAs, reason; };
  std::vector<Unreadable> unreadables = {
      {"ln -s deleteList.txt deleteList.txt", "",
       ": not read: it cannot be followed to where it leads (" +
           std::string(onWindows() ? "The filename cannot be resolved"
                                   : "Too many levels of symbolic links") +
           ")"}};
  if (!onWindows()) {
    // Root reads any file: the run is then made by an unprivileged user.
    const std::string asUser =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    unreadables.push_back({"echo 'zt.pff /del x' > deleteList.txt && chmod 0 deleteList.txt",
                           asUser, ": cannot read the delete list: Permission denied"});
  }
  for (const auto& [make, runAs, reason] : unreadables) {
    fs::remove_all(root + "/expansion/zt/deleteList.txt");
    forgetCalls();
    ASSERT_EQ(std::system(("cd " + shQuoted(root + "/expansion/zt") + " && " + make).c_str()), 0);
    if (!runAs.empty()) {
      // The user needs to reach the game root and write its log, lock and calls.
      chmod(scratch.path().c_str(), 0755);
      ASSERT_EQ(std::system(("chown -R 65534:65534 " + shQuoted(root)).c_str()), 0);
    }
    RunResult unread = rebuild(runAs);
    EXPECT_EQ(unread.status, 1) << make;
    // The message ends the line "Removing unused files..." stood on.
    std::string out = console("", Ending::failed);
    const std::string removing = text("Removing unused files (may take a minute or two)...");
    out.insert(out.find(removing) + removing.size(), text("\n"));
    EXPECT_EQ(unread.out, out) << make;
    EXPECT_EQ(deletions(unread), std::vector<Call>{}) << make;
    EXPECT_EQ(unread.err, text("zt-rebuild: " + listPath() + reason + "\n"
                               "zt-rebuild: the run failed: 1 of 3 commands failed; see the "
                               "errors above, and the "
                               "tool's output in " + underRoot("ztlog.txt") + "\n"))
        << make;
  }

  if (!onWindows()) {
    // A pipe, which a read would wait on forever, is not read at all.
    fs::remove(root + "/expansion/zt/deleteList.txt");
    ASSERT_EQ(mkfifo((root + "/expansion/zt/deleteList.txt").c_str(), 0644), 0);
    RunResult piped = rebuild();
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find(listPath() + ": not read: it is not a regular file"),
              std::string::npos) << piped.err;
  }
}

}  // namespace
