// End-to-end tests of a whole run: the console, the tool's calls, the log and
// the exit status.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

TEST_F(RebuildTest, PacksBothStagingFoldersAndOptimizesTheMainArchive) {
  stage("temp/b.dds");
  stage("temp/a.dds");
  stage("tempL/c.wav");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, console(progress(1, 3, "a.dds") + progress(2, 3, "b.dds") +
                             progress(3, 3, "c.wav")));
  std::vector<Call> expected = {
      add("zt.pff", "expansion/zt/temp/a.dds"),
      add("zt.pff", "expansion/zt/temp/b.dds"),
      add("ztL.pff", "expansion/zt/tempL/c.wav"),
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
  EXPECT_EQ(run.log, logStart() + toolOutput(3) + toolOutput(3) + toolOutput(3));
}

TEST_F(RebuildTest, ProgressLineBlanksWhatALongerNameLeft) {
  const std::string longName = "a_texture_name_for_the_castle_wall.dds";
  stage("temp/" + longName);
  stage("tempL/b.ai");
  stage("tempL/c.ai");
  RunResult run = rebuild();
  // Nine spaces are too few after the long name; after a short one they do.
  EXPECT_EQ(run.out, console(progress(1, 3, longName) + progress(2, 3, "b.ai") +
                             std::string(longName.size() - 4 - 9, ' ') + progress(3, 3, "c.ai")));
}

TEST_F(RebuildTest, EmptyOrMissingStagingFoldersAndNoDeleteListRunOnlyTheOptimize) {
  makeFolder(root + "/expansion/zt/temp");  // tempL and the delete list are missing
  writeFile(root + "/expansion/zt/zt.pff", "");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, console(""));
  EXPECT_EQ(run.calls, std::vector<Call>{optimize()});
  EXPECT_EQ(run.log, logStart());
  // A modification with only a second archive has no main one to optimize:
  // nothing is run for it, and that is no failure.
  fs::remove(root + "/expansion/zt/zt.pff");
  forgetCalls();
  stage("tempL/c.wav");
  RunResult second = rebuild();
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(second.out, console(progress(1, 1, "c.wav"), Ending::notOptimized));
  EXPECT_EQ(second.calls, std::vector<Call>{add("ztL.pff", "expansion/zt/tempL/c.wav")});
}

TEST_F(RebuildTest, PacksExactlyTheCountedFilesPastSubfoldersAndDotFiles) {
  // Listed in the order .a, .b, A.dds, B (a folder), c.dds, d.dds: an entry
  // that is not counted must not take a counted file's place.
  stage("temp/.a");
  stage("temp/.b");
  stage("temp/A.dds");
  stage("temp/B/inner.dds");
  stage("temp/c.dds");
  stage("temp/d.dds");
  stage("tempL/.c");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, console(progress(1, 3, "A.dds") + progress(2, 3, "c.dds") +
                             progress(3, 3, "d.dds")));
  // Said once per folder, so that a file left in a subfolder is no surprise.
  const std::string why = " not packed (only the files directly in the folder are)\n";
  EXPECT_EQ(run.err, text("zt-rebuild: " + underRoot("expansion/zt/temp") +
                          ": 1 subfolder and 2 hidden files" + why + "zt-rebuild: " +
                          underRoot("expansion/zt/tempL") + ": 1 hidden file" + why));
  std::vector<Call> expected = {
      add("zt.pff", "expansion/zt/temp/A.dds"),
      add("zt.pff", "expansion/zt/temp/c.dds"),
      add("zt.pff", "expansion/zt/temp/d.dds"),
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
}

TEST_F(RebuildTest, HostileFileNamesReachTheToolAsDataOnly) {
  std::vector<std::string> names = {" lead space", "$(touch pwned)", "`touch pwned2`",
                                    "caf\xc3\xa9.dds", "it's.dds", "x; touch pwned3",
                                    "R&D %PATH% !x! ^ (1).dds"};
  if (!onWindows()) {  // not legal in a Windows name
    names.push_back("a\"quote");
    names.push_back("\x1b]0;title\x07\x1b[2Jclear.dds");
  }
  // How a name shows on the console, here and (in the code page, 1252 under
  // Wine) on Windows; "" where that build cannot be given the name.
  struct Shown { std::string name, shown, onWindows; };
  const std::vector<Shown> shownNames = {
      {"csi\x9b" "2J.dds", "csi?2J.dds", ""},  // an 8-bit terminal's control sequence introducer
      {"rlo\xe2\x80\xae" "sdd.exe", "rlo?sdd.exe", ""},  // right-to-left override
      {"lri\xe2\x81\xa6" "x.dds", "lri?x.dds", ""},      // left-to-right isolate
      {"osc\xc2\x9d" "x.dds", "osc?x.dds", "osc?x.dds"},  // a C1 control; 0x9D in 1252
      {"quote\xe2\x80\xba.dds", "quote\xe2\x80\xba.dds", "quote\x9b.dds"},  // a letter in 1252
  };
  for (const Shown& shown : shownNames) {
    if (!onWindows() || !shown.onWindows.empty()) names.push_back(shown.name);
  }
  for (const std::string& name : names) stage("temp/" + name);
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.calls.size(), names.size() + 1);
  std::vector<std::string> packed;
  for (size_t i = 0; i < names.size(); ++i) packed.push_back(run.calls[i][1]);
  std::vector<std::string> expected;
  for (std::string name : names) {
    // Wine shows the UTF-8 name to a program in its ANSI code page, 1252.
    if (onWindows() && name == "caf\xc3\xa9.dds") name = "caf\xe9.dds";
    if (onWindows() && name == "osc\xc2\x9d" "x.dds") name = "osc\x9d" "x.dds";
    if (onWindows() && name == "quote\xe2\x80\xba.dds") name = "quote\x9b.dds";
    expected.push_back(underRoot("expansion/zt/temp/" + name));
  }
  std::sort(packed.begin(), packed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(packed, expected);
  // The console shows control characters as "?": a name cannot drive the
  // terminal, nor split the command line a dry run shows.
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  RunResult dry = rebuildWith("--dry-run " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(dry.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), names.size() + 2);
  if (!onWindows()) {
    EXPECT_NE(run.out.find("(?]0;title??[2Jclear.dds)"), std::string::npos);
  }
  // Output that is not a console gets the name's own bytes: 1252's under
  // Wine, as the tool is handed it.
  EXPECT_NE(run.out.find(onWindows() ? "(caf\xe9.dds)" : "(caf\xc3\xa9.dds)"), std::string::npos)
      << run.out;
  for (const Shown& shown : shownNames) {
    const std::string expected = onWindows() ? shown.onWindows : shown.shown;
    if (!expected.empty()) {
      EXPECT_NE(run.out.find("(" + expected + ")"), std::string::npos)
          << expected << "\n" << run.out;
    }
  }
  for (const char* witness : {"pwned", "pwned2", "pwned3"}) {
    EXPECT_FALSE(fs::exists(root + "/" + witness)) << witness;
    EXPECT_FALSE(fs::exists(scratch / witness)) << witness;
  }
}

TEST_F(RebuildTest, GameRootWithSpacesAndTrailingSeparatorIsUsedAsGiven) {
  const std::string spaced = scratch / "My Game 'Gold'";
  makeFolder(spaced);
  installTool(spaced);
  writeFile(spaced + "/expansion/zt/temp/a.dds", "");
  const std::string given = asGiven(spaced) + (onWindows() ? "\\" : "/");
  std::vector<std::string> typed = {given};
  // "...\My Game 'Gold'\" typed at a prompt: the C runtime reads \" as a quote.
  if (onWindows()) typed.push_back(asGiven(spaced) + "\"");
  for (const std::string& argument : typed) {
    forgetCalls(spaced);
    RunResult run = rebuildWith(shQuoted(argument), scratch.path(), "", spaced);
    EXPECT_EQ(run.status, 0) << argument << ": " << run.err;
    EXPECT_EQ(run.out, console(given, progress(1, 1, "a.dds"))) << argument;
    std::string doubled = onWindows() ? given + "\\expansion\\zt\\temp\\a.dds"
                                      : given + "/expansion/zt/temp/a.dds";
    std::vector<Call> expected = {{inModFolder("zt.pff"), doubled, "/force"}, optimize()};
    EXPECT_EQ(run.calls, expected) << argument;
  }
}

TEST_F(RebuildTest, RelativeGameRootIsResolvedAgainstTheStartingDirectory) {
  stage("temp/a.dds");
  const std::string sep = onWindows() ? "\\" : "/";
  for (const std::string& argument : {std::string("Game"), "." + sep + "Game", "Game" + sep}) {
    forgetCalls();
    RunResult run = rebuildWith(shQuoted(argument), scratch.path());
    EXPECT_EQ(run.status, 0) << argument;
    std::string absolute = asGiven(root) + (argument == "Game" + sep ? sep : "");
    EXPECT_EQ(run.out, console(absolute, progress(1, 1, "a.dds"))) << argument;
    ASSERT_EQ(run.calls.size(), 2u) << argument;
    EXPECT_EQ(run.calls[0][1], absolute + sep + "expansion" + sep + "zt" + sep + "temp" + sep +
                                   "a.dds");
  }
  RunResult dot = rebuildWith(".", root);
  EXPECT_EQ(dot.out, console(progress(1, 1, "a.dds")));
}

TEST_F(RebuildTest, GameRootThatCannotBeEnteredRunsNothing) {
  writeFile(scratch / "afile", "");
  // An empty argument (an unset variable in a script) names no folder either.
  std::vector<std::string> bad = {scratch / "missing", scratch / "afile", ""};
  if (!onWindows() && geteuid() != 0) {  // root enters any folder
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
  // A path with spaces typed without quotes: the hint shows the quoted form.
  // On POSIX only when the words name a folder; cmd has split them itself.
  makeFolder(scratch / "My Game");
  for (const std::string name : {"My Game", "No Such Game"}) {
    const std::string typed = asGiven(scratch / name);
    std::string words;  // each word quoted for the harness's shell alone
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = typed.find(' ', start);
      words += " " + shQuoted(typed.substr(start, end == std::string::npos ? end : end - start));
    }
    RunResult run = rebuildWith(words, scratch.path());
    EXPECT_EQ(run.status, 1) << name;
    const std::string firstWord = typed.substr(0, typed.find(' '));
    std::string expected = "zt-rebuild: cannot enter the game root " + firstWord + ": ";
    EXPECT_EQ(run.err.find(text(expected)), 0u) << run.err;
    if (onWindows() || name == "My Game") {
      expected = onWindows() ? "a path with spaces needs double quotes: \"" + typed + "\""
                             : "a path with spaces needs quotes: '" + typed + "'";
      EXPECT_NE(run.err.find(text("\nzt-rebuild: " + expected + "\n")), std::string::npos)
          << run.err;
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'),
              onWindows() || name == "My Game" ? 2 : 1) << run.err;
  }
  // A mistyped switch before the root is no part of a path with spaces.
  if (onWindows()) {
    RunResult run = rebuildWith("/chnaged " + shQuoted(asGiven(scratch / "My Game")),
                                scratch.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(text("\nzt-rebuild: /chnaged is no option: the options are /changed, "
                                "/dry-run, /help, /version and /?\n")),
              std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  }
  // Started from a folder that is gone, a relative root has nothing to stand
  // on. (Windows does not remove a process's working folder.)
  if (!onWindows()) {
    makeFolder(scratch / "gone");
    RunResult run = rebuildWith("Game", scratch / "gone", "rmdir \"$PWD\" &&");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find("zt-rebuild: cannot enter the game root Game: "), 0u) << run.err;
    EXPECT_TRUE(run.calls.empty());
  }
}

TEST_F(RebuildTest, ASecondRunOnTheSameRootRunsNothingAndEmptiesNothing) {
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
  // The lock ends with the run that held it, even when its tool left a
  // process running: no command inherits it.
  const std::string lingers =
      onWindows() ? "start /b ping -n 4 127.0.0.1 >nul" : "sleep 3 >/dev/null 2>&1 &";
  RunResult left = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted(lingers));
  EXPECT_EQ(left.status, 0) << left.err;
  EXPECT_EQ(rebuild().status, 0);
  if (!onWindows()) {  // a lock file that is a link leads nowhere outside the root
    fs::remove(root + "/zt-rebuild.lock");
    fs::create_symlink(scratch / "elsewhere", root + "/zt-rebuild.lock");
    EXPECT_EQ(rebuild().status, 1);
    EXPECT_FALSE(fs::exists(scratch / "elsewhere"));
  }
}

TEST_F(RebuildTest, AFileSavedDuringTheRunTakesNoCountedFilesPlace) {
  stage("temp/a.dds");
  stage("tempL/b.wav");
  const std::string save = onWindows() ? "type nul > expansion\\zt\\tempL\\a.wav"
                                       : ": > expansion/zt/tempL/a.wav";
  RunResult run = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted(save));
  EXPECT_EQ(run.runStatuses, "0\n");
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"),
                                add("ztL.pff", "expansion/zt/tempL/b.wav"), optimize()};
  EXPECT_EQ(run.calls, expected);
}

// Each failure is named where it happens, on a line of its own, and the run
// ends by saying that it failed, not with "All done!".
TEST_F(RebuildTest, FailedCommandsAreNamedWhereTheyFailAndTheRunEndsFailed) {
  stage("temp/a.dds");
  stage("temp/broken.dds");
  stage("tempL/c.wav");
  // A refused line, then one the tool fails on.
  stage("deleteList.txt", "zt.pff /del \"open\nzt.pff /del broken\n");
  RunResult run = rebuild("ZT_PACK_FAIL=broken");
  EXPECT_EQ(run.status, 1);
  // The run still goes to its end; each message ends the line it would be
  // glued onto.
  std::string out = console(progress(1, 3, "a.dds") + progress(2, 3, "broken.dds") + "\n" +
                                progress(3, 3, "c.wav"),
                            Ending::failed);
  const std::string removing = text("Removing unused files (may take a minute or two)...");
  out.insert(out.find(removing) + removing.size(), text("\n"));
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.calls.size(), 5u);
  const std::string list = underRoot("expansion/zt/deleteList.txt");
  const std::string packFailed = "zt-rebuild: " + underRoot("expansion/zt/temp/broken.dds") +
                                 ": not packed: the tool failed (exit status 1)\n";
  const std::string listFailed =
      "zt-rebuild: " + list + ":1: not run: a double quote in it is never closed\n"
      "zt-rebuild: " + list + ":2: the tool failed (exit status 1)\n";
  const std::string runFailed = "zt-rebuild: the run failed: 3 of 7 commands failed; see the "
                                "errors above, and the tool's output in " +
                                underRoot("ztlog.txt") + "\n";
  EXPECT_EQ(run.err, text(packFailed + listFailed + runFailed));
  // On one terminal, each message follows what it is about, and the run's
  // failure comes last.
  RunResult together = rebuildWith(shQuoted(asGiven(root)) + " 2>&1", scratch.path(),
                                   "ZT_PACK_FAIL=broken");
  out.insert(out.find(progress(3, 3, "c.wav")), text(packFailed));
  out.insert(out.find(removing) + removing.size() + text("\n").size(), text(listFailed));
  EXPECT_EQ(together.out, out + text(runFailed));
}

TEST_F(RebuildTest, UnreadableStagingFolderIsNamedAndCountedAsFailed) {
  stage("tempL/c.wav");
  stage("zt.pff", "");
  // Root reads any folder; a link to itself can be read by no one.
  fs::create_directory_symlink("temp", root + "/expansion/zt/temp");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, console(progress(1, 1, "c.wav"), Ending::failed));
  const std::string reason =
      onWindows() ? "The filename cannot be resolved" : "Too many levels of symbolic links";
  EXPECT_EQ(run.err, text("zt-rebuild: cannot read the staging folder " +
                          underRoot("expansion/zt/temp") + ": " + reason + "\n"
                          "zt-rebuild: the run failed: 1 of 4 commands failed; see the errors "
                          "above, and the tool's output in " + underRoot("ztlog.txt") + "\n"));
  EXPECT_EQ(run.calls.size(), 2u);
}

TEST_F(RebuildTest, AStagedPipeIsRefusedAndTheRunEnds) {
  if (onWindows()) GTEST_SKIP() << "a POSIX pipe";
  installArchiveTool(root);
  stage("temp/a.dds");
  ASSERT_EQ(mkfifo((root + "/expansion/zt/temp/b.dds").c_str(), 0644), 0);
  RunResult run = rebuild();  // opening a pipe to read would wait for a writer forever
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("b.dds"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("1 of 4 commands failed"), std::string::npos) << run.err;
}

TEST_F(RebuildTest, ConsoleThatCannotBeWrittenFailsTheRunAtItsEnd) {
  stage("temp/a.dds");
  // A pipe whose reader is gone as soon as it has opened it.
  const std::string pipe = scratch / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  const std::string reader = "(: <" + shQuoted(pipe) + " &);";
  struct Redirect { std::string words, before, err; int lines; };
  std::vector<Redirect> redirects = {
      {">/dev/full", "", "zt-rebuild: cannot write to standard output: ", 1}};
  // Wine itself breaks on a closed descriptor 1: its own calls land there.
  if (!onWindows()) {
    redirects.push_back({">&-", "", "zt-rebuild: cannot write to standard output: ", 1});
    // The optimize command, which writes there too, fails as well.
    redirects.push_back({">" + shQuoted(pipe), reader,
                         "zt-rebuild: " + underRoot("expansion/zt/zt.pff") + ": not optimized: "
                         "the tool failed (exit status 141)\n"
                         "zt-rebuild: the run failed: 1 of 3 commands failed; see the errors "
                         "above, and the tool's output in " + underRoot("ztlog.txt") + "\n"
                         "zt-rebuild: cannot write to standard output: Broken pipe\n", 3});
  }
  for (const auto& [redirect, before, err, lines] : redirects) {
    forgetCalls();
    RunResult run = rebuildWith(shQuoted(asGiven(root)) + " " + redirect, scratch.path(), before);
    EXPECT_EQ(run.status, 1) << redirect;
    EXPECT_EQ(run.calls.size(), 2u) << redirect;  // the run still went to its end
    EXPECT_EQ(run.err.find(err), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), lines) << run.err;
  }
}

// A folder that is no game root, or a game root without the archive tool,
// is refused before anything is written there, with what to do instead; a
// dry run says the same.
TEST_F(RebuildTest, NoGameRootOrNoToolIsRefusedBeforeAnythingIsWritten) {
  const std::string sep = onWindows() ? "\\" : "/";
  const std::string modFolder = "expansion" + sep + "zt";
  const std::string spaced = scratch / "My Game";
  writeFile(spaced + "/expansion/zt/temp/a.dds", "");
  writeFile(scratch / "copy/temp/a.dds", "");
  writeFile(scratch / "flat/expansion/zt", "");  // a file, not the folder
  makeFolder(scratch / "empty");
  stage("temp/a.dds");
  removeTool(root);
  const std::string quotedSpaced =
      onWindows() ? "\"" + asGiven(spaced) + "\"" : "'" + asGiven(spaced) + "'";
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
      {scratch / "copy", " looks like a modification folder, not a game root: give the game "
                         "root, the folder that holds the modification folder as " + modFolder},
      {root, "the archive tool " + std::string(onWindows() ? "pack.exe" : "pack") +
                 " is neither in the game root " + asGiven(root) + " nor on the search path "
                 "(PATH): put it in the game root; for real archives it must be the game's own "
                 "archive tool"},
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
    const std::string expected = message[0] != ' ' ? message : given + message;
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

// A tool that is gone in the middle of a run (moved away while it packs
// a.dds): each later command says that the tool could not be started, by the
// status the interpreter gives for that.
TEST_F(RebuildTest, ToolGoneInTheMiddleOfARunIsNamedAsNotStartedAtEachCommand) {
  stage("temp/a.dds");
  stage("temp/b.dds");
  const std::string moveAway = onWindows() ? "move pack.exe gone.exe" : "mv pack gone";
  RunResult run = rebuild("PATH=/usr/bin:/bin ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" +
                          shQuoted(moveAway));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.runStatuses, "0\n");
  const std::string notStarted = "the tool could not be started (exit status " +
                                 std::string(onWindows() ? "9009" : "127") + ")";
  for (const std::string& failure :
       {underRoot("expansion/zt/temp/b.dds") + ": not packed: " + notStarted,
        underRoot("expansion/zt/zt.pff") + ": not optimized: " + notStarted,
        std::string("zt-rebuild: the run failed: 2 of 4 commands failed")}) {
    EXPECT_NE(run.err.find(failure), std::string::npos) << run.err;
  }
  // The interpreter names the command it could not run: cmd.exe says
  // "'pack.exe' is not recognized ...", Wine's cmd "Can't recognize 'pack.exe
  // ...'", sh "./pack: not found".
  EXPECT_NE(run.err.find(onWindows() ? "pack.exe" : "pack: not found"), std::string::npos)
      << run.err;
}

TEST_F(RebuildTest, FilesArePackedInTheOrderAWindowsFileSystemListsThem) {
  // NTFS compares names in upper case: digits first, "_" after the letters.
  for (const char* name : {"zeta", "Beta", "alpha", "_under", "10.dds", "9.dds", "Alpha2"}) {
    stage(std::string("temp/") + name);
  }
  RunResult run = rebuild();
  std::vector<std::string> order;
  for (const Call& call : run.calls) {
    if (call.size() == 3) order.push_back(call[1].substr(underRoot("expansion/zt/temp/").size()));
  }
  std::vector<std::string> expected = {"10.dds", "9.dds", "alpha", "Alpha2", "Beta", "zeta", "_under"};
  EXPECT_EQ(order, expected);
}

TEST_F(RebuildTest, GameRootWithPercentSignsAndSpaces) {
  // cmd.exe would put PATH's value in place of %PATH%.
  const std::string odd = scratch / "100% sure %PATH% game";
  makeFolder(odd);
  installTool(odd);
  writeFile(odd + "/expansion/zt/temp/a%b%.dds", "");
  writeFile(odd + "/expansion/zt/deleteList.txt", "zt.pff /del %PATH% \"%PATH%\" 50%\n");
  RunResult run = rebuildWith(shQuoted(asGiven(odd)), scratch.path(), "", odd);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, console(asGiven(odd), progress(1, 1, "a%b%.dds")));
  const std::string sep = onWindows() ? "\\" : "/";
  std::vector<Call> expected = {
      {inModFolder("zt.pff"), asGiven(odd) + sep + "expansion" + sep + "zt" + sep + "temp" + sep +
                                  "a%b%.dds", "/force"},
      {inModFolder("zt.pff"), "/del", "%PATH%", "%PATH%", "50%"},
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
}

// Every staged name, game root and delete-list word goes through the
// interpreter (Wine's own cmd.exe for the Windows build) and the C runtime's
// argument rules into the tool as itself, or is refused by the name the
// platform shows, counted as failed, with nothing run for it.
TEST_F(RebuildTest, NamesAndRootsReachTheToolExactlyOrAreRefusedByName) {
  const std::string sep = onWindows() ? "\\" : "/";
  auto native = [&](std::string path) {
    for (char& c : path) c = c == '/' ? sep[0] : c;
    return path;
  };
  // A root that Windows cannot hand over exactly, or too long for the paths
  // below it to fit its file calls, runs nothing: not even in "Game", where a
  // best fit of "Ｇame" would lead.
  const std::string deep = "long/" + std::string(180, 'x') + "/" + std::string(90, 'y');
  const std::string fullwidthG = "\xef\xbc\xa7" "ame";
  struct Root { std::string folder, argument, reason; };
  const std::string shallow = "long/" + std::string(180, 'x') + "/" + std::string(30, 'z');
  const Root roots[] = {{fullwidthG, asGiven(scratch / fullwidthG), "code page"},
                        {deep, native(deep), "longer than"},  // relative: made absolute first
                        {shallow, asGiven(scratch / shallow), "longer than"}};
  for (const auto& [relative, argument, reason] : roots) {
    const std::string folder = scratch / relative;
    makeFolder(folder);
    installTool(folder);
    writeFile(folder + "/expansion/zt/temp/a.dds", "");
    RunResult run = rebuildWith(shQuoted(argument), scratch.path(), "", folder);
    EXPECT_EQ(run.status, onWindows() ? 1 : 0) << argument << ": " << run.err;
    EXPECT_EQ(run.calls.size(), onWindows() ? 0u : 2u) << argument;
    EXPECT_EQ(run.err.find(reason) != std::string::npos, onWindows()) << run.err;
    EXPECT_FALSE(fs::exists(root + "/pack-calls.txt"));
  }

  struct Name {
    std::string staged;
    std::string refusedOnWindowsAs = "";  // "" when it is packed there too
    std::string reason = "";
  };
  struct Case {
    std::string folder;  // the game root below the scratch folder, given with `argument`
    std::string argument;
    std::vector<Name> names;
    std::string deleteList = "";
    Call deletion = {};
  };
  const std::string fullwidth = "a\xef\xbc\x82 \xef\xbc\x86 mkdir pwned \xef\xbc\x86 \xef\xbc\x82.dds";
  const std::string quoted = "q\" & mkdir pwned & \".dds";  // Wine lists it, Windows would not
  const std::string longName = std::string(60, 'n') + ".dds";
  const Case cases[] = {
      {"Game", "Game",
       {{"%y.dds"}, {"%%x%%.dds"}, {"!x! ^a^ b  .dds"},
        {fullwidth, "a<U+FF02> <U+FF06> mkdir pwned <U+FF06> <U+FF02>.dds", "code page"},
        {"\xe6\x97\xa5\xe6\x9c\xac.dds", "<U+65E5><U+672C>.dds", "code page"},
        {quoted, quoted, "not allow"},
        // Windows would open b.dds for these, or a device: Wine lists them.
        {"b.dds.", "b.dds.", "ends in a dot"}, {"b.dds ", "b.dds ", "ends in a dot or a space"},
        {"con", "con", "device"}, {"Nul.dds", "Nul.dds", "device"},
        {"aux .tar.gz", "aux .tar.gz", "device"}, {"COM9.dds", "COM9.dds", "device"},
        {"lpt1", "lpt1", "device"}, {"conout$.txt", "conout$.txt", "device"},
        {"com10.dds"}, {"console.dds"}}},
      // Backslash runs before "%", a trailing separator, and "%" beside quotes.
      {"a/%mods", "a" + sep + sep + "%mods" + sep, {{"%y.dds"}},
       "zt.pff /del 100%\"off sale.dds\" \"a b\"%c %\n",
       {inModFolder("zt.pff"), "/del", "100%off sale.dds", "a b%c", "%"}},
      {"long/" + std::string(180, 'x'), native("long/" + std::string(180, 'x')),
       {{"short.dds"}, {longName, longName, "longer than"}}},
  };
  for (const Case& c : cases) {
    const std::string folder = scratch / c.folder;
    const std::string gameRoot = asGiven(scratch.path()) + sep + c.argument;
    makeFolder(folder);
    installTool(folder);
    for (const Name& name : c.names) writeFile(folder + "/expansion/zt/temp/" + name.staged, "");
    if (!c.deleteList.empty()) writeFile(folder + "/expansion/zt/deleteList.txt", c.deleteList);
    RunResult run = rebuildWith(shQuoted(gameRoot), scratch.path(), "", folder);
    const std::string temp = gameRoot + native("/expansion/zt/temp/");
    std::vector<Call> expected, packed;
    size_t refused = 0;
    for (const Name& name : c.names) {
      if (!onWindows() || name.refusedOnWindowsAs.empty()) {
        expected.push_back({inModFolder("zt.pff"), temp + name.staged, "/force"});
        continue;
      }
      ++refused;
      size_t at = run.err.find("zt-rebuild: " + temp + name.refusedOnWindowsAs + ": not packed: ");
      std::string line = at == std::string::npos ? "" : run.err.substr(at, run.err.find('\n', at) - at);
      EXPECT_NE(line.find(name.reason), std::string::npos) << name.staged << ": " << run.err;
    }
    for (const Call& call : run.calls) {
      if (call.size() == 3 && call[2] == "/force") packed.push_back(call);
      if (call.size() > 1 && call[1] == "/del") {
        EXPECT_EQ(call, c.deletion);
      }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(packed, expected) << c.argument;
    EXPECT_EQ(run.status, refused ? 1 : 0) << c.argument << ": " << run.err;
    EXPECT_EQ(static_cast<size_t>(std::count(run.err.begin(), run.err.end(), '\n')),
              refused ? refused + 1 : 0) << run.err;
    EXPECT_EQ(run.calls.size(), packed.size() + (c.deleteList.empty() ? 1 : 2)) << c.argument;
  }
  EXPECT_FALSE(fs::exists(root + "/pwned"));
  EXPECT_FALSE(fs::exists(scratch / "pwned"));
}

TEST_F(RebuildTest, InterpreterNamedByComspecOrFoundWithout) {
  if (!onWindows()) GTEST_SKIP() << "COMSPEC is cmd.exe's; sh is always /bin/sh";
  stage("temp/a.dds");
  for (const std::string comspec : {"C:\\windows\\system32\\cmd.exe", "C:\\no\\such.exe"}) {
    forgetCalls();
    RunResult run = rebuild("COMSPEC=" + shQuoted(comspec));
    EXPECT_EQ(run.status, 0) << comspec << ": " << run.err;
    EXPECT_EQ(run.calls.size(), 2u) << comspec;
  }
}

TEST_F(RebuildTest, UsageWithoutGameRootOrOnRequest) {
  RunResult none = rebuildWith("", scratch.path());
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err.find(text("usage: zt-rebuild [--changed] [--dry-run] [--] GAME_ROOT\n"
                               "       zt-rebuild --version\n")),
            0u);
  // Each platform's own paths and tool.
  EXPECT_NE(none.err.find(onWindows() ? "GAME_ROOT\\expansion\\zt\\temp"
                                      : "GAME_ROOT/expansion/zt/temp"),
            std::string::npos) << none.err;
  EXPECT_NE(none.err.find(onWindows() ? "(pack.exe)" : "(pack)"), std::string::npos);
  std::vector<std::string> flags = {"-h", "--help"};
  // cmd's way of writing switches, in any case.
  if (onWindows()) flags.insert(flags.end(), {"'/?'", "/help", "/HELP"});
  for (const std::string& flag : flags) {
    RunResult help = rebuildWith(flag, scratch.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, none.err);
    EXPECT_EQ(help.err, "");
    // An answer that could not be written is no success.
    EXPECT_EQ(rebuildWith(flag + " >/dev/full", scratch.path()).status, 1) << flag;
  }
  RunResult version = rebuildWith("--version", scratch.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, text("zt-rebuild " ZT_REBUILD_VERSION "\n"));
  EXPECT_EQ(version.err, "");
  EXPECT_TRUE(none.calls.empty() && version.calls.empty());
  if (!onWindows()) return;  // elsewhere /dry-run is a path
  EXPECT_EQ(rebuildWith("/Version", scratch.path()).out, version.out);
  stage("temp/a.dds");
  RunResult dry = rebuildWith("/DRY-RUN " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out.find(text("echo ZT Log Start > ztlog.txt\n")), 0u) << dry.out;
  EXPECT_TRUE(dry.calls.empty());
  EXPECT_FALSE(fs::exists(root + "/ztlog.txt"));
  EXPECT_EQ(rebuildWith("/changed " + shQuoted(asGiven(root)), scratch.path()).status, 0);
  EXPECT_TRUE(fs::exists(root + "/zt-rebuild-record.txt"));
  RunResult late = rebuildWith(shQuoted(asGiven(root)) + " /dry-run", scratch.path());
  EXPECT_EQ(late.status, 2);
  EXPECT_EQ(late.err.find(text("zt-rebuild: options go before the game root: /dry-run\n")), 0u);
}

TEST_F(RebuildTest, InterruptingACommandStopsTheRun) {
  if (onWindows()) GTEST_SKIP() << "Ctrl+C on a Windows console ends every process attached to it";
  stage("temp/a.dds");
  stage("temp/b.dds");
  // The tool dies of the interrupt, or the interpreter swallowed it and the
  // tool ends well: the run heard it too, and starts nothing more.
  for (const std::string survive : {"", "ZT_PACK_SWALLOW=1 "}) {
    forgetCalls();
    // In a session of its own, so that the interrupt reaches only the run.
    RunResult run = rebuild(survive + "ZT_PACK_INTERRUPT=a.dds setsid");
    EXPECT_EQ(run.status, 128 + SIGINT) << survive;  // the shell's report of a death by SIGINT
    EXPECT_EQ(run.calls, std::vector<Call>{add("zt.pff", "expansion/zt/temp/a.dds")}) << survive;
    EXPECT_EQ(run.out.find("All done!"), std::string::npos) << survive;
    EXPECT_EQ(run.err, "") << survive;
  }
#ifdef ZT_INTERRUPT_AT_FORK_PATH
  // One that reaches the run alone just before a command's interpreter is
  // started (the log's was the first): that interpreter starts no tool. The
  // sanitizers' runtime need not come first for a library preloaded in tests.
  const std::string preloaded = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
                                shQuoted(ZT_INTERRUPT_AT_FORK_PATH);
  forgetCalls();
  RunResult early = rebuild(preloaded + " ZT_INTERRUPT_AT_FORK=2");
  EXPECT_EQ(early.status, 128 + SIGINT) << early.err;
  EXPECT_EQ(early.calls, std::vector<Call>{});
  EXPECT_EQ(early.out.find("All done!"), std::string::npos);
  // Nor does a Ctrl+Z that reaches an interpreter's child before it has
  // started the interpreter leave the run waiting on a child that stopped
  // alone. (timeout: the run in a process group that stops, and an end if not.)
  forgetCalls();
  RunResult stopped = rebuild("timeout -s KILL 20 env " + preloaded + " ZT_STOP_AT_FORK=2");
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(stopped.calls.size(), 3u);
#endif
  // A run killed in its course leaves nothing that blocks the next one.
  EXPECT_EQ(rebuild().status, 0);
  // Ignored from the start (a background job), an interrupt that came while
  // a command was being started is no reason to kill that command.
  forgetCalls();
  RunResult ignored = rebuild(
      "perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGINT)); "
      "$SIG{INT} = q(IGNORE); kill(q(INT), $$); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(ignored.status, 0) << ignored.err;
  EXPECT_EQ(ignored.calls.size(), 3u) << ignored.err;
  // Nor does SIGCHLD ignored from the start take the commands' statuses away.
  forgetCalls();
  RunResult reaped = rebuild("perl -e '$SIG{CHLD} = q(IGNORE); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(reaped.status, 0) << reaped.err;
  EXPECT_EQ(reaped.calls.size(), 3u) << reaped.err;
}

// The sh dialect falls back to the search path; cmd.exe searches it anyway,
// and the check before the run finds the tool there as well.
TEST_F(RebuildTest, ToolIsFoundAlongThePathWhenTheGameRootHasNone) {
  removeTool(root);
  stage("temp/a.dds");
  // A folder whose name holds the list's separator is quoted there, and
  // cmd finds the tool in it.
  const std::string bin = scratch / (onWindows() ? "bin;x" : "bin");
  makeFolder(bin);
  installTool(bin);
  // Wine puts WINEPATH before the Windows search path.
  RunResult run = rebuild(onWindows() ? "WINEPATH=" + shQuoted("\"" + asGiven(bin) + "\"")
                                      : "PATH=" + shQuoted(bin) + ":\"$PATH\"");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"), optimize()};
  EXPECT_EQ(run.calls, expected);
}

}  // namespace

// Explorer, simulated: `script` runs the program on a terminal of its own,
// which Wine makes a console with the program alone on it, as Explorer's
// is; keys reach it through that terminal. Started from a prompt (cmd), or
// with a stream redirected, it must end without waiting: the timeout would
// end a wait that no key ends; alone with no key pressed, it is still
// waiting when a shorter one ends it. A POSIX terminal never waits.
TEST_F(RebuildTest, OnlyAConsoleOfItsOwnIsKeptOpenUntilAKeyIsPressed) {
  const char* windowsBuild = std::getenv("ZT_WINDOWS_BUILD");
  const std::string program =
      onWindows() ? "WINEDEBUG=-all WINEPREFIX=" +
                        shQuoted(std::string(windowsBuild) + "/wine-prefix") + " wine " +
                        shQuoted(std::string(windowsBuild) + "/zt-rebuild.exe")
                  : shQuoted(ZT_REBUILD_PATH);
  const std::string redirected = scratch / "redirected";
  struct Case { std::string what, command, keys; bool waits; };
  std::vector<Case> cases = {
      {"alone", program + " --version", "x", onWindows()},
      {"output redirected", program + " --version >" + shQuoted(redirected), "", false},
      {"input redirected", program + " --version </dev/null", "", false},
  };
  if (onWindows()) {
    cases.push_back({"from a prompt", program.substr(0, program.rfind(" wine ")) +
                         " wine cmd /c " + shQuoted(asGiven(std::string(windowsBuild) +
                                                            "/zt-rebuild.exe")) + " --version",
                     "", false});
  }
  // Last: ending a wait by force may keep Wine busy a while.
  cases.push_back({"alone, no key", program + " --version", "", onWindows()});
  for (const auto& [what, command, keys, waits] : cases) {
    const std::string transcript = scratch / "transcript";
    const std::string run = "cd " + shQuoted(scratch.path()) + " && printf " + shQuoted(keys) +
                            " | timeout " + (waits && keys.empty() ? "5" : "60") +
                            " script -qec " + shQuoted(command) + " /dev/null >" +
                            shQuoted(transcript);
    const int status = std::system(run.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << what;
    EXPECT_EQ(WEXITSTATUS(status), waits && keys.empty() ? 124 : 0) << what;
    // Wine's console draws a space as a move of the cursor, between other
    // control sequences: compare what is left without either.
    std::string shown;
    const std::string raw = readFile(transcript);
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
        i += 2;
        while (i < raw.size() && !std::isalpha(static_cast<unsigned char>(raw[i]))) ++i;
      } else if (raw[i] != ' ' && raw[i] != '\r' && raw[i] != '\n') {
        shown += raw[i];
      }
    }
    EXPECT_EQ(shown.find("Pressanykeytoclosethiswindow.") != std::string::npos, waits)
        << what << ": " << shown;
    if (keys.empty() && waits) continue;  // ended by force, with the prompt shown
    if (what == "output redirected") {
      EXPECT_EQ(readFile(redirected), text("zt-rebuild " ZT_REBUILD_VERSION "\n"));
    } else {
      EXPECT_NE(shown.find("zt-rebuild" ZT_REBUILD_VERSION), std::string::npos) << what << shown;
    }
  }
}
