// End-to-end tests of the game root: the arguments that give it, the checks
// made before anything is written there, and one run at a time on it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

// What the Windows build (with cmd.exe and the C runtime's argument rules)
// and the POSIX build (with sh) do differently below, in one place.
class GameRootTest : public RebuildTest {
 protected:
  // cmd's way of writing switches, in any case, asks for help too.
  std::vector<std::string> helpFlags() const {
    if (!onWindows()) return {"-h", "--help"};
    return {"-h", "--help", "'/?'", "/help", "/HELP"};
  }
  // The ways a root with a trailing separator is typed: on Windows also
  // "...\My Game 'Gold'\" at a prompt, where the C runtime reads \" as a quote.
  std::vector<std::string> typedWithTrailingSeparator(const std::string& folder) const {
    if (!onWindows()) return {asGiven(folder) + "/"};
    return {asGiven(folder) + "\\", asGiven(folder) + "\""};
  }
  // A path with spaces as the user is told to type it.
  std::string quoted(const std::string& path) const {
    return onWindows() ? "\"" + path + "\"" : "'" + path + "'";
  }
  std::string spacesHint(const std::string& typed) const {
    return std::string("a path with spaces needs ") + (onWindows() ? "double quotes" : "quotes") +
           ": " + quoted(typed);
  }
  // Whether a path with spaces typed without quotes gets the hint when its
  // words name no folder: cmd has split them itself; on POSIX the hint comes
  // only when the words name a folder.
  bool hintsWhateverTheWordsName() const { return onWindows(); }
  // Whether a folder can be made that the run may not enter: root enters any
  // folder.
  bool canLockAFolder() const { return !onWindows() && geteuid() != 0; }
  // A command that leaves a process running after the tool has ended.
  std::string lingeringCommand() const {
    return onWindows() ? "start /b ping -n 4 127.0.0.1 >nul" : "sleep 3 >/dev/null 2>&1 &";
  }
  // A folder to put on the search path: on Windows its name holds the list's
  // separator, so it is quoted there, and cmd finds the tool in it.
  std::string searchPathFolder() const { return scratch / (onWindows() ? "bin;x" : "bin"); }
  // The assignment that puts `folder` first on the search path. Wine puts
  // WINEPATH before the Windows search path.
  std::string searchedFirst(const std::string& folder) const {
    return onWindows() ? "WINEPATH=" + shQuoted("\"" + asGiven(folder) + "\"")
                       : "PATH=" + shQuoted(folder) + ":\"$PATH\"";
  }
};

constexpr const char kCmdSwitchesOnly[] = "elsewhere /dry-run is a path";

// The arguments.

TEST_F(GameRootTest, UsageIsShownWithoutAGameRoot) {
  RunResult none = rebuildWith("", scratch.path());
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err.find(text("usage: zt-rebuild [--changed] [--dry-run] [--] GAME_ROOT\n"
                               "       zt-rebuild --version\n")),
            0u);
  // Each platform's own paths and tool.
  EXPECT_NE(none.err.find("GAME_ROOT" + native("/expansion/zt/temp")), std::string::npos)
      << none.err;
  EXPECT_NE(none.err.find("(" + toolFile() + ")"), std::string::npos);
  // Every way to ask for it, and every exit status.
  EXPECT_NE(none.err.find(text("       zt-rebuild --help | -h\n")), std::string::npos);
  EXPECT_NE(none.err.find(text("; 130 when\nCtrl+C stopped the run.\n")), std::string::npos);
  EXPECT_TRUE(none.calls.empty());
}

TEST_F(GameRootTest, HelpOnRequestIsTheUsageOnStandardOutput) {
  const std::string usage = rebuildWith("", scratch.path()).err;
  for (const std::string& flag : helpFlags()) {
    RunResult help = rebuildWith(flag, scratch.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, usage);
    EXPECT_EQ(help.err, "");
    // An answer that could not be written is no success.
    EXPECT_EQ(rebuildWith(flag + " >/dev/full", scratch.path()).status, 1) << flag;
  }
}

TEST_F(GameRootTest, VersionOnRequest) {
  RunResult version = rebuildWith("--version", scratch.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, text("zt-rebuild " ZT_REBUILD_VERSION "\n"));
  EXPECT_EQ(version.err, "");
  EXPECT_TRUE(version.calls.empty());
}

TEST_F(GameRootTest, CmdStyleSwitchesInAnyCase) {
  if (!onWindows()) GTEST_SKIP() << kCmdSwitchesOnly;
  EXPECT_EQ(rebuildWith("/Version", scratch.path()).out,
            text("zt-rebuild " ZT_REBUILD_VERSION "\n"));
  stage("temp/a.dds");
  RunResult dry = rebuildWith("/DRY-RUN " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out.find(text("echo ZT Log Start > ztlog.txt\n")), 0u) << dry.out;
  EXPECT_TRUE(dry.calls.empty());
  EXPECT_FALSE(fs::exists(root + "/ztlog.txt"));
  EXPECT_EQ(rebuildWith("/changed " + shQuoted(asGiven(root)), scratch.path()).status, 0);
  EXPECT_TRUE(fs::exists(root + "/zt-rebuild-record.txt"));
}

TEST_F(GameRootTest, ACmdStyleSwitchAfterTheGameRootIsRefused) {
  if (!onWindows()) GTEST_SKIP() << kCmdSwitchesOnly;
  stage("temp/a.dds");
  RunResult late = rebuildWith(shQuoted(asGiven(root)) + " /dry-run", scratch.path());
  EXPECT_EQ(late.status, 2);
  EXPECT_EQ(late.err.find(text("zt-rebuild: options go before the game root: /dry-run\n")), 0u);
}

// The game root as it is given.

// The separators typed at its end are dropped: no path built on it doubles one.
TEST_F(GameRootTest, GameRootWithSpacesAndTrailingSeparatorGivesNoDoubledSeparator) {
  const std::string spaced = scratch / "My Game 'Gold'";
  makeFolder(spaced);
  installTool(spaced);
  writeFile(spaced + "/expansion/zt/temp/a.dds", "");
  const std::string given = asGiven(spaced);
  for (const std::string& argument : typedWithTrailingSeparator(spaced)) {
    forgetCalls(spaced);
    RunResult run = rebuildWith(shQuoted(argument), scratch.path(), "", spaced);
    EXPECT_EQ(run.status, 0) << argument << ": " << run.err;
    EXPECT_EQ(run.out, console(given, progress(1, 1, "a.dds"))) << argument;
    const std::string single = given + native("/expansion/zt/temp/a.dds");
    std::vector<Call> expected = {{inModFolder("zt.pff"), single, "/force"}, optimize()};
    EXPECT_EQ(run.calls, expected) << argument;
  }
  if (!onWindows()) return;
  // A drive's top folder keeps its one separator: Y:\, made the game root.
  const std::string drive = windowsBuild() + "/wine-prefix/dosdevices/y:";
  fs::create_directory_symlink(spaced, drive);
  forgetCalls(spaced);
  RunResult top = rebuildWith("'Y:\\'", scratch.path(), "", spaced);
  fs::remove(drive);
  EXPECT_EQ(top.out, console("Y:", progress(1, 1, "a.dds"))) << top.err;
  const std::vector<Call> expected = {
      {inModFolder("zt.pff"), "Y:\\expansion\\zt\\temp\\a.dds", "/force"}, optimize()};
  EXPECT_EQ(top.calls, expected);
}

TEST_F(GameRootTest, RelativeGameRootIsResolvedAgainstTheStartingDirectory) {
  stage("temp/a.dds");
  for (const std::string& argument : {std::string("Game"), native("./Game"), native("Game/")}) {
    forgetCalls();
    RunResult run = rebuildWith(shQuoted(argument), scratch.path());
    EXPECT_EQ(run.status, 0) << argument;
    const std::string absolute = asGiven(root);
    EXPECT_EQ(run.out, console(absolute, progress(1, 1, "a.dds"))) << argument;
    ASSERT_EQ(run.calls.size(), 2u) << argument;
    EXPECT_EQ(run.calls[0][1], absolute + native("/expansion/zt/temp/a.dds"));
  }
  RunResult dot = rebuildWith(".", root);
  EXPECT_EQ(dot.out, console(progress(1, 1, "a.dds")));
}

TEST_F(GameRootTest, GameRootWithPercentSignsAndSpaces) {
  // cmd.exe would put PATH's value in place of %PATH%.
  const std::string odd = scratch / "100% sure %PATH% game";
  makeFolder(odd);
  installTool(odd);
  writeFile(odd + "/expansion/zt/temp/a%b%.dds", "");
  writeFile(odd + "/expansion/zt/deleteList.txt", "zt.pff /del %PATH% \"%PATH%\" 50%\n");
  RunResult run = rebuildWith(shQuoted(asGiven(odd)), scratch.path(), "", odd);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, console(asGiven(odd), progress(1, 1, "a%b%.dds")));
  std::vector<Call> expected = {
      {inModFolder("zt.pff"), asGiven(odd) + native("/expansion/zt/temp/a%b%.dds"), "/force"},
      {inModFolder("zt.pff"), "/del", "%PATH%", "%PATH%", "50%"},
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
}

// A root that Windows cannot hand over exactly, or too long for the paths
// below it to fit its file calls, runs nothing there, counted as failed: not
// even in "Game", where a best fit of "Ｇame" would lead, nor in "Mod", where
// one of the folder "evil＼..＼Mod" that a relative root is made absolute in
// would. POSIX hands over any bytes, and has room for them.
TEST_F(GameRootTest, ARootWindowsCannotHandOverExactlyRunsNothing) {
  const bool refused = onWindows();
  const std::string deep = "long/" + std::string(180, 'x') + "/" + std::string(90, 'y');
  const std::string fullwidthG = "\xef\xbc\xa7" "ame";
  const std::string fullwidthBackslashes = "evil\xef\xbc\xbc..\xef\xbc\xbcMod";
  const std::string decoy = scratch / "Mod";
  makeFolder(decoy);
  installTool(decoy);
  writeFile(decoy + "/expansion/zt/temp/a.dds", "");
  // Run from the scratch folder, or with "." from the folder itself.
  struct Root { std::string folder, argument, reason; };
  const std::string shallow = "long/" + std::string(180, 'x') + "/" + std::string(30, 'z');
  const Root roots[] = {{fullwidthG, asGiven(scratch / fullwidthG), "code page"},
                        {deep, native(deep), "longer than"},  // relative: made absolute first
                        {shallow, asGiven(scratch / shallow), "longer than"},
                        {fullwidthBackslashes, ".", "evil<U+FF3C>..<U+FF3C>Mod has characters "
                                                    "outside the system's code page"},
                        {"\xe6\x97\xa5\xe6\x9c\xac Mod", ".", "<U+65E5><U+672C> Mod has"}};
  for (const auto& [relative, argument, reason] : roots) {
    const std::string folder = scratch / relative;
    makeFolder(folder);
    installTool(folder);
    writeFile(folder + "/expansion/zt/temp/a.dds", "");
    const std::string from = argument == "." ? folder : scratch.path();
    RunResult run = rebuildWith(shQuoted(argument), from, "", folder);
    EXPECT_EQ(run.status, refused ? 1 : 0) << argument << ": " << run.err;
    EXPECT_EQ(run.calls.size(), refused ? 0u : 2u) << argument;
    EXPECT_EQ(run.err.find(reason) != std::string::npos, refused) << run.err;
    EXPECT_FALSE(fs::exists(root + "/pack-calls.txt"));
    EXPECT_FALSE(fs::exists(decoy + "/pack-calls.txt"));
  }
}

// A root that cannot be entered.

TEST_F(GameRootTest, GameRootThatCannotBeEnteredRunsNothing) {
  writeFile(scratch / "afile", "");
  // An empty argument (an unset variable in a script) names no folder either.
  std::vector<std::string> bad = {scratch / "missing", scratch / "afile", ""};
  if (canLockAFolder()) {
    makeFolder(scratch / "locked");
    chmod((scratch / "locked").c_str(), 0);
    bad.push_back(scratch / "locked");
  }
  for (const std::string& path : bad) {
    RunResult run = rebuildWith(shQuoted(asGiven(path)), scratch.path());
    EXPECT_EQ(run.status, 1) << path;
    EXPECT_EQ(run.out, "") << path;
    EXPECT_EQ(run.err.find("zt-rebuild: cannot enter the game root " + asGiven(path) + ": "), 0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.calls.empty());
  }
  EXPECT_FALSE(fs::exists(scratch / "ztlog.txt"));
  EXPECT_FALSE(fs::exists(root + "/ztlog.txt"));
}

// A path with spaces typed without quotes. Words that make a folder with the
// root are surely part of its path: nothing runs, not even on a first word
// that is a game root too ("Game - Copy"), and the quoted form is shown. A
// first word that is no game root gets the quoted form beside the reason
// (on POSIX only in the first case: there the words may as well be several
// folders that one pattern matched). Other words are ignored, which the run
// says once.
TEST_F(GameRootTest, APathWithSpacesTypedWithoutQuotes) {
  makeFolder(scratch / "My Game");
  makeFolder(scratch / "Game - Copy/expansion/zt");
  makeFolder(scratch / "My");
  stage("temp/a.dds");
  const auto quotesNeeded = [&](const std::string& name, const std::string& firstWord) {
    return spacesHint(asGiven(scratch / name)) + " (without them the game root is " +
           asGiven(scratch / firstWord) + " and the rest is ignored); nothing was done";
  };
  // The hint beside the reason, where it is given.
  const auto hint = [&](const std::string& name) {
    const std::string line = "zt-rebuild: " + spacesHint(asGiven(scratch / name)) + "\n";
    return hintsWhateverTheWordsName() ? line : "";
  };
  const std::string notARoot = " is not a game root: it has no modification folder " +
                               native("expansion/zt") + " (which holds the staging folders temp "
                               "and tempL); give the folder the game is installed in\n";
  struct Case { std::string name; int status; std::string err; };
  const Case cases[] = {
      {"My Game", 2, "zt-rebuild: " + quotesNeeded("My Game", "My") + "\n"},
      {"Game - Copy", 2, "zt-rebuild: " + quotesNeeded("Game - Copy", "Game") + "\n"},
      {"No Such Game", 1, "zt-rebuild: cannot enter the game root " + asGiven(scratch / "No") +
                          ": No such file or directory\n" + hint("No Such Game")},
      {"My Mod", 1, "zt-rebuild: " + asGiven(scratch / "My") + notARoot + hint("My Mod")},
      {"Game extra", 0, "zt-rebuild: the words after the game root are ignored: extra\n"},
  };
  for (const auto& [name, status, err] : cases) {
    const std::string typed = asGiven(scratch / name);
    std::string words;  // each word quoted for the harness's shell alone
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = typed.find(' ', start);
      words += " " + shQuoted(typed.substr(start, end == std::string::npos ? end : end - start));
    }
    RunResult run = rebuildWith(words, scratch.path());
    EXPECT_EQ(run.status, status) << name;
    EXPECT_EQ(run.err, text(err)) << name;
    EXPECT_EQ(run.calls.size(), status == 0 ? 2u : 0u) << name;
    EXPECT_EQ(fs::exists(root + "/ztlog.txt"), status == 0) << name;
  }
}

// A mistyped switch before the root is an unknown option, not a folder of
// the drive that cannot be entered.
TEST_F(GameRootTest, AMistypedSwitchIsAnUnknownOption) {
  if (!onWindows()) GTEST_SKIP() << kCmdSwitchesOnly;
  makeFolder(scratch / "My Game");
  RunResult run = rebuildWith("/chnaged " + shQuoted(asGiven(scratch / "My Game")),
                              scratch.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, text("zt-rebuild: unknown option /chnaged (did you mean /changed?); "
                          "see /?\n"));
}

// Started from a folder that is gone, a relative root has nothing to stand on.
TEST_F(GameRootTest, ARelativeRootFromAStartingFolderThatIsGoneRunsNothing) {
  if (onWindows()) GTEST_SKIP() << "Windows does not remove a process's working folder";
  makeFolder(scratch / "gone");
  RunResult run = rebuildWith("Game", scratch / "gone", "rmdir \"$PWD\" &&");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.find("zt-rebuild: cannot enter the game root Game: "), 0u) << run.err;
  EXPECT_TRUE(run.calls.empty());
}

// The checks before the run.

// A folder that is no game root, or a game root without the archive tool,
// is refused before anything is written there, with what to do instead; a
// dry run says the same.
TEST_F(GameRootTest, NoGameRootOrNoToolIsRefusedBeforeAnythingIsWritten) {
  const std::string modFolder = native("expansion/zt");
  const std::string spaced = scratch / "My Game";
  writeFile(spaced + "/expansion/zt/temp/a.dds", "");
  makeFolder(spaced + "/expansion/zt/tempL");
  writeFile(scratch / "copy/temp/a.dds", "");
  writeFile(scratch / "flat/expansion/zt", "");  // a file, not the folder
  makeFolder(scratch / "empty");
  stage("temp/a.dds");
  removeTool(root);
  const std::string quotedSpaced = quoted(asGiven(spaced));
  const std::string noRoot = " is not a game root: it has no modification folder " + modFolder +
                             " (which holds the staging folders temp and tempL); give the "
                             "folder the game is installed in";
  struct Case { std::string folder, message; };
  const Case cases[] = {
      {scratch / "empty", noRoot},
      {scratch / "flat", noRoot},
      {spaced + "/expansion/zt", " is the modification folder, not a game root: give the game "
                                 "root, which holds it, probably " + quotedSpaced},
      {spaced + "/expansion/", " is the expansion folder, not a game root: give the game root, "
                               "probably " + quotedSpaced},
      {spaced + "/expansion/zt/temp", " is a staging folder, not a game root: give the game "
                                      "root, which holds it in " + modFolder + ", probably " +
                                      quotedSpaced},
      {spaced + "/expansion/zt/tempL/", " is a staging folder, not a game root: give the game "
                                        "root, which holds it in " + modFolder + ", probably " +
                                        quotedSpaced},
      {scratch / "copy", " looks like a modification folder, not a game root: give the game "
                         "root, the folder that holds the modification folder as " + modFolder},
      {root, "the archive tool " + toolFile() + " is neither in the game root " + asGiven(root) +
                 " nor on the search path (PATH): put it in the game root; for real archives it "
                 "must be the game's own archive tool"},
  };
  std::vector<Case> table(std::begin(cases), std::end(cases));
  if (!onWindows()) {  // a tool copied without its mode is there, but cannot be run
    const std::string copied = scratch / "Copied";
    writeFile(copied + "/expansion/zt/temp/a.dds", "");
    writeFile(copied + "/pack", "#!/bin/sh\n");
    table.push_back({copied, "the archive tool pack in the game root " + copied +
                                 " cannot be run: make it executable (chmod +x pack)"});
  }
  for (const auto& [folder, message] : table) {
    const std::string given = asGiven(folder);
    // Shown without the separator typed at its end.
    const std::string shown = given.back() == native("/")[0] ? given.substr(0, given.size() - 1)
                                                             : given;
    const std::string expected = message[0] != ' ' ? message : shown + message;
    for (const std::string option : {"", "--dry-run "}) {
      RunResult run = rebuildWith(option + shQuoted(given), scratch.path(), "PATH=/usr/bin:/bin");
      EXPECT_EQ(run.status, 1) << option << given;
      EXPECT_EQ(run.out, "") << option << given;
      EXPECT_EQ(run.err, text("zt-rebuild: " + expected + "\n")) << option << given;
      EXPECT_TRUE(run.calls.empty()) << option << given;
      for (const char* written : {"ztlog.txt", "zt-rebuild.lock"}) {
        EXPECT_FALSE(fs::exists(folder + "/" + written)) << option << given << written;
      }
    }
  }
}

// The sh dialect falls back to the search path; cmd.exe searches it anyway,
// and the check before the run finds the tool there as well.
TEST_F(GameRootTest, ToolIsFoundAlongThePathWhenTheGameRootHasNone) {
  removeTool(root);
  stage("temp/a.dds");
  const std::string bin = searchPathFolder();
  makeFolder(bin);
  installTool(bin);
  RunResult run = rebuild(searchedFirst(bin));
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"), optimize()};
  EXPECT_EQ(run.calls, expected);
}

TEST_F(GameRootTest, InterpreterNamedByComspecOrFoundWithout) {
  if (!onWindows()) GTEST_SKIP() << "COMSPEC is cmd.exe's; sh is always /bin/sh";
  stage("temp/a.dds");
  for (const std::string comspec : {"C:\\windows\\system32\\cmd.exe", "C:\\no\\such.exe"}) {
    forgetCalls();
    RunResult run = rebuild("COMSPEC=" + shQuoted(comspec));
    EXPECT_EQ(run.status, 0) << comspec << ": " << run.err;
    EXPECT_EQ(run.calls.size(), 2u) << comspec;
  }
}

// The log is checked before anything runs: the interpreter's redirection
// would fail at each command instead, or follow a link to a file of the
// user's own (one to the null device is fine: see changed_run_test.cc).
TEST_F(GameRootTest, ALogThatCannotBeWrittenAsItselfIsRefusedBeforeAnythingRuns) {
  stage("temp/a.dds");
  writeFile(scratch / "bashrc", "mine\n");
  const std::string log = "zt-rebuild: the log " + underRoot("ztlog.txt");
  struct Case { std::string what, make, runAs, undo, message; };
  std::vector<Case> cases = {
      {"a folder", "mkdir ztlog.txt", "", "rmdir ztlog.txt",
       " is a folder, which the tool's output cannot be written to: remove or rename it"}};
  const std::string readOnly = " cannot be written: " +
                               std::string(onWindows() ? "Access denied" : "Permission denied") +
                               ": make it writable, or remove it";
  if (!onWindows()) {
    // Root writes any file: the run is then made by an unprivileged user,
    // who owns the game root.
    const bool superuser = geteuid() == 0;
    chmod(scratch.path().c_str(), 0755);
    cases.push_back({"a read-only file",
                     std::string("echo old >ztlog.txt && chmod 0444 ztlog.txt") +
                         (superuser ? " && chown -R 65534:65534 ." : ""),
                     superuser ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "",
                     "rm -f ztlog.txt", readOnly});
    // Nor can it be made where the lock, from an earlier run, is all that
    // may be written.
    cases.push_back({"a folder that takes no new file",
                     std::string("touch zt-rebuild.lock && chmod 0555 .") +
                         (superuser ? " && chown -R 65534:65534 ." : ""),
                     superuser ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "",
                     "chmod 0755 .", " cannot be created: Permission denied"});
    for (const char* target : {"../bashrc", "../made-by-the-log"}) {
      cases.push_back({std::string("a link to ") + target,
                       "ln -s " + std::string(target) + " ztlog.txt", "", "rm ztlog.txt",
                       " is a symbolic link: the tool's output would be written where it leads; "
                       "remove the link (a run starts a new log)"});
    }
  } else if (std::system(("cd " + shQuoted(root) + " && touch ztlog.txt && chattr +i ztlog.txt "
                          "2>/dev/null && chattr -i ztlog.txt && rm ztlog.txt").c_str()) == 0) {
    // Wine lets root write a read-only file, but not an immutable one, which
    // it reports as Windows reports a read-only file. (Wine shows a link as
    // what it leads to.)
    cases.push_back({"a file that may not be written",
                     "echo old >ztlog.txt && chattr +i ztlog.txt", "",
                     "chattr -i ztlog.txt && rm ztlog.txt", readOnly});
  }
  for (const auto& [what, make, runAs, undo, message] : cases) {
    ASSERT_EQ(std::system(("cd " + shQuoted(root) + " && " + make).c_str()), 0) << what;
    RunResult run = rebuild(runAs);
    EXPECT_EQ(run.status, 1) << what;
    EXPECT_EQ(run.out, "") << what;
    EXPECT_EQ(run.err, text(log + message + "; nothing was done\n")) << what;
    EXPECT_TRUE(run.calls.empty()) << what;
    EXPECT_EQ(readFile(scratch / "bashrc"), "mine\n") << what;
    ASSERT_EQ(std::system(("cd " + shQuoted(root) + " && " + undo).c_str()), 0) << what;
  }
}

// One that may not write in the game root is told what would let the run.
TEST_F(GameRootTest, ALockThatCannotBeTakenForLackOfRightsSaysWhatToDo) {
  if (onWindows()) GTEST_SKIP() << "Wine runs as root here, who may write anywhere";
  if (geteuid() != 0) GTEST_SKIP() << "only root can run it as another user";
  stage("temp/a.dds");
  chmod(scratch.path().c_str(), 0755);
  RunResult run = rebuild("setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "zt-rebuild: cannot lock the game root " + root + " (zt-rebuild.lock): "
                     "Permission denied: the folder belongs to root: run as that user, or have "
                     "them let you write in it\n");
  EXPECT_TRUE(run.calls.empty());
}

// One run at a time.

TEST_F(GameRootTest, ASecondRunOnTheSameRootRunsNothingAndEmptiesNothing) {
  stage("temp/a.dds");
  stage("temp/b.dds");
  // The second run starts while the first one's tool packs a.dds.
  RunResult run = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" +
                          shQuoted(nestedRebuild(root, "second")));
  EXPECT_EQ(run.runStatuses, "1\n");
  EXPECT_EQ(readFile(root + "/second.out"), "");
  EXPECT_EQ(readFile(root + "/second.err"),
            text("zt-rebuild: another run is using the game root " + asGiven(root) +
                 "; nothing was done\n"));
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"),
                                add("zt.pff", "expansion/zt/temp/b.dds"), optimize()};
  EXPECT_EQ(run.calls, expected);
  EXPECT_EQ(run.log, logStart() + toolOutput(3) + toolOutput(3));
}

// No command inherits the lock.
TEST_F(GameRootTest, TheLockEndsWithItsRunEvenWhenTheToolLeftAProcessRunning) {
  stage("temp/a.dds");
  stage("temp/b.dds");
  RunResult left = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted(lingeringCommand()));
  EXPECT_EQ(left.status, 0) << left.err;
  EXPECT_EQ(rebuild().status, 0);
}

// Under Wine too, where a Unix link is opened as what it leads to.
TEST_F(GameRootTest, ALockFileThatIsALinkLeadsNowhereOutsideTheRoot) {
  stage("temp/a.dds");
  stage("temp/b.dds");
  fs::create_symlink(scratch / "elsewhere", root + "/zt-rebuild.lock");
  EXPECT_EQ(rebuild().status, 1);
  EXPECT_FALSE(fs::exists(scratch / "elsewhere"));
  writeFile(scratch / "elsewhere", "mine");
  const fs::file_time_type before = fs::last_write_time(scratch / "elsewhere");
  // --changed sets the lock's stamps to read the clock.
  RunResult run = rebuildWith("--changed " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("(zt-rebuild.lock): "), std::string::npos) << run.err;
  EXPECT_TRUE(run.calls.empty());
  EXPECT_EQ(fs::last_write_time(scratch / "elsewhere"), before);
}

}  // namespace
