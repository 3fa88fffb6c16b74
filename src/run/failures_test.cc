// End-to-end tests of a run in which something fails: each failure is named
// where it happens, on a line of its own, the run still goes to its end, and
// it ends by saying that it failed, not with "All done!", and with exit
// status 1.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

// What the Windows build (through cmd.exe) and the POSIX build (through sh)
// do differently below, in one place.
class RunFailureTest : public RebuildTest {
 protected:
  // Why a folder that is a link to itself cannot be read.
  std::string selfLinkReason() const {
    return onWindows() ? "The filename cannot be resolved" : "Too many levels of symbolic links";
  }
  // A command that moves the tool away from the game root.
  std::string moveToolAway() const {
    return onWindows() ? "move pack.exe gone.exe" : "mv pack gone";
  }
  // The status the interpreter gives for a program it could not start.
  std::string notStartedStatus() const { return onWindows() ? "9009" : "127"; }
  // What the interpreter says of the tool it could not start: cmd.exe says
  // "'pack.exe' is not recognized ...", Wine's cmd "Can't recognize 'pack.exe
  // ...'", sh "./pack: not found".
  std::string toolNotFound() const { return onWindows() ? "pack.exe" : "pack: not found"; }
  // Whether a run can be started with standard output closed, or on a pipe
  // whose reader is gone: Wine itself breaks on a closed descriptor 1, as its
  // own calls land there.
  bool canBreakStandardOutput() const { return !onWindows(); }
};

TEST_F(RunFailureTest, FailedCommandsAreNamedWhereTheyFailAndTheRunEndsFailed) {
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

TEST_F(RunFailureTest, UnreadableStagingFolderIsNamedAndCountedAsFailed) {
  stage("tempL/c.wav");
  stage("zt.pff", "");
  // Root reads any folder; a link to itself can be read by no one.
  fs::create_directory_symlink("temp", root + "/expansion/zt/temp");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, console(progress(1, 1, "c.wav"), Ending::failed));
  EXPECT_EQ(run.err, text("zt-rebuild: " + underRoot("expansion/zt/temp") +
                          ": not packed: it cannot be followed to where it leads (" +
                          selfLinkReason() + ")\n"
                          "zt-rebuild: the run failed: 1 of 4 commands failed; see the errors "
                          "above, and the tool's output in " + underRoot("ztlog.txt") + "\n"));
  EXPECT_EQ(run.calls.size(), 2u);
}

// A downloaded modification can ship links (unzip and tar restore them).
// What a run packs, replays or names as an archive must lie in the
// modification folder as it resolves: what leads out of it is named with
// where it leads, is not used, and fails the run. The modification folder
// itself may be a link, and links that stay inside it work.
TEST_F(RunFailureTest, WhatLeadsOutOfTheModificationFolderIsNotUsed) {
  const std::string outside = scratch / "private";
  const std::map<std::string, std::string> privateFiles = {
      {"id_rsa", "secret key"}, {"base.pff", "someone else's archive"},
      {"list.txt", "zt.pff /del secret line\n"}};
  for (const auto& [name, content] : privateFiles) writeFile(outside + "/" + name, content);
  const auto link = [&](const std::string& target, const std::string& relative) {
    const fs::path at = root + "/expansion/zt/" + relative;
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
  };
  const auto shown = [&](const std::string& path) { return native(asGiven(fs::canonical(path))); };
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string named;      // in the modification folder; "" when nothing is refused
    std::string how;        // what follows its path, up to "leads to"
    std::string leadsTo;    // in `outside`
    std::string forbidden;  // in no argument the tool is handed
    bool onWindows = true;  // Wine shows a link to a file as the file itself
    bool leadsNowhere = false;
  };
  int made = 0;
  const std::vector<Case> cases = {
      {"a staged file", [&] { link(outside + "/id_rsa", "temp/texture.dds"); },
       "temp/texture.dds", ": not packed: it", "id_rsa", "texture.dds", false},
      {"a staging folder", [&] { link(outside, "tempL"); }, "tempL", ": not packed: it", "",
       "private"},
      {"the main archive", [&] { link(outside + "/base.pff", "zt.pff"); }, "zt.pff",
       ": not used: it", "base.pff", "zt.pff"},
      // The tool would make it where the link leads.
      {"the second archive, a link that leads nowhere yet",
       [&] {
         link(outside + "/new.pff", "ztL.pff");
         stage("tempL/c.wav");
       },
       "ztL.pff", ": not used: it", "", "ztL.pff", false, true},
      {"an archive the delete list names",
       [&] {
         link(outside + "/base.pff", "old.pff");
         stage("deleteList.txt", "old.pff /del a.dds\nold.pff /opt\n");
       },
       "deleteList.txt", ":1: not run: old.pff", "base.pff", "old.pff"},
      {"the delete list", [&] { link(outside + "/list.txt", "deleteList.txt"); },
       "deleteList.txt", ": not read: it", "list.txt", "secret"},
      {"nothing: the modification folder a link, links inside it",
       [&] {
         const std::string mod = scratch / ("mods/mod" + std::to_string(++made));
         writeFile(mod + "/shared/b.dds", "shared");
         writeFile(mod + "/temp/c.dds", "plain");
         makeFolder(root + "/expansion");
         fs::create_directory_symlink(mod, root + "/expansion/zt");
         link("../shared/b.dds", "temp/b.dds");
       },
       "", "", "", "private"},
  };
  for (const Case& c : cases) {
    if (onWindows() && !c.onWindows) continue;
    root = scratch / ("Game" + std::to_string(++made));
    makeFolder(root);
    installTool(root);
    c.make();
    stage("temp/a.dds");
    RunResult run = rebuild();
    const std::string modFolder = shown(root + "/expansion/zt");
    if (c.named.empty()) {
      EXPECT_EQ(run.status, 0) << c.what << ": " << run.err;
      EXPECT_EQ(run.calls.size(), 4u) << c.what;  // a.dds, b.dds, c.dds, the optimize
    } else {
      EXPECT_EQ(run.status, 1) << c.what;
      const std::string how =
          c.leadsNowhere
              ? " cannot be followed to where it leads (No such file or directory)"
              : " leads to " + shown(c.leadsTo.empty() ? outside : outside + "/" + c.leadsTo) +
                    ", outside the modification folder " + modFolder +
                    " (to use it, put a copy of what it leads to in its place)";
      EXPECT_NE(run.err.find("zt-rebuild: " + underRoot("expansion/zt/" + c.named) + c.how + how),
                std::string::npos)
          << c.what << ": " << run.err;
      EXPECT_EQ(run.out.find("All done!"), std::string::npos) << c.what;
    }
    EXPECT_EQ(run.err.find("secret"), std::string::npos) << c.what << ": " << run.err;
    for (const Call& call : run.calls) {
      for (const std::string& argument : call) {
        EXPECT_EQ(argument.find(c.forbidden), std::string::npos) << c.what << ": " << argument;
      }
    }
    for (const auto& [name, content] : privateFiles) {
      EXPECT_EQ(readFile(outside + "/" + name), content) << c.what;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()),
              static_cast<long>(privateFiles.size()))
        << c.what << ": a file was made beside them";
  }
}

// A chain of short relative links, as tar restores one, that leads to
// `target` through folders so deep that its resolved path is longer than a
// resolver takes (PATH_MAX), while the system itself follows it: `at` is
// made a link to its start, in `chain`.
void linkThroughUndecidableChain(const std::string& chain, const std::string& at,
                                 const std::string& target) {
  const std::string deep(250, 'd');
  const int levels = 17;
  makeFolder(chain);
  int folder = open(chain.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 1; level <= levels; ++level) {
    ASSERT_EQ(mkdirat(folder, deep.c_str(), 0755), 0);
    const int inner = openat(folder, deep.c_str(), O_RDONLY | O_DIRECTORY);
    close(folder);
    folder = inner;
    std::string next = deep + "/l";
    if (level == levels) {
      next.clear();
      for (int up = 0; up <= levels; ++up) next += "../";
      next += fs::relative(target, fs::path(chain).parent_path()).string();
    }
    ASSERT_EQ(symlinkat(next.c_str(), folder, "l"), 0);
  }
  close(folder);
  fs::create_symlink(chain + "/" + deep + "/l", at);
}

// What a run uses is judged as it is when it is used, not when the run
// started: each place a run hands to the tool or reads, met with what
// leads out of the modification folder in ways a check made once, or one
// that gives way when it cannot decide, lets through. Each is refused and
// named, the run fails, and nothing outside is read into an archive or
// changed. A swap is made by the tool on an earlier command, after the
// listing; a pipe must not keep the run waiting (the timeout ends it if so).
TEST_F(RunFailureTest, WhatARunUsesIsJudgedWhenItIsUsed) {
  const std::string outside = scratch / "private";
  const std::string escaped = scratch / "sec\x1bret";
  const std::vector<std::string> privateFiles = {"id_rsa", "base.pff", "list.txt", "bashrc",
                                                 "folder/c.wav"};
  for (const std::string& name : privateFiles) writeFile(outside + "/" + name, "secret " + name);
  writeFile(escaped + "/c.wav", "secret");
  enum Trick { chain, swap, pipe, hardLink, plainLink };
  struct Place { const char* what; std::string at, target, named, forbidden; };
  const std::string list = underRoot("expansion/zt/deleteList.txt");
  const std::vector<Place> places = {
      {"a staged file", "expansion/zt/temp/b.dds", "id_rsa", "temp/b.dds: not packed: it",
       "b.dds"},
      {"a staging folder", "expansion/zt/tempL", "folder", "tempL: not packed: it", "c.wav"},
      {"an archive a delete-list line names", "expansion/zt/old.pff", "base.pff",
       "deleteList.txt:1: not run: old.pff", "old.pff"},
      {"the archive at the optimize step", "expansion/zt/zt.pff", "base.pff",
       "zt.pff: not optimized: it", "/opt"},
      {"the delete list", "expansion/zt/deleteList.txt", "list.txt",
       "deleteList.txt: not read: it", "secret"},
      {"the log", "ztlog.txt", "bashrc", "", "expansion"},
      {"the lock", "zt-rebuild.lock", "bashrc", "", "expansion"}};
  struct Row { const Place& place; Trick trick; std::string target, named; };
  std::vector<Row> rows;
  for (const Place& place : places) {
    for (Trick trick : {chain, swap, pipe, hardLink}) {
      std::string named = place.named;
      if (place.at == "ztlog.txt") {
        if (trick == swap) continue;  // judged before anything runs
        named = trick == chain ? " cannot be followed" : trick == pipe ? " is a pipe"
                                                                       : " has other names";
      } else if (place.at == "zt-rebuild.lock") {
        if (trick != hardLink) continue;
        named = "(zt-rebuild.lock): it has other names";
      } else if (trick == hardLink) {
        continue;  // a file with other names is no file of another's to these
      } else if (trick == swap && place.at == "expansion/zt/tempL") {
        named = "tempL/c.wav: not packed: it";
      } else if (trick == pipe && place.at == "expansion/zt/tempL") {
        continue;  // a pipe is no folder: nothing is staged
      }
      rows.push_back({place, trick, outside + "/" + place.target, named});
    }
  }
  rows.push_back({places[0], plainLink, "", places[0].named});  // into a sibling, zt2
  rows.push_back({places[1], plainLink, escaped, places[1].named});
  int made = 0;
  for (const Row& row : rows) {
    const std::string what = row.place.what + std::string(" with ") +
                             std::vector<std::string>{"the undecidable chain", "a swap", "a pipe",
                                                      "a hard link", "a plain link"}[row.trick];
    root = scratch / ("Game" + std::to_string(++made));
    makeFolder(root);
    installTool(root);
    stage("temp/a.dds");
    stage("temp/a2.dds");  // Wine's margin (below)
    stage("temp/b.dds");
    stage("tempL/c.wav");
    stage("zt.pff", "");
    stage("old.pff", "");
    stage("deleteList.txt", "old.pff /del x\n");
    writeFile(root + "/expansion/zt2/b.dds", "secret sibling");
    const std::string at = root + "/" + row.place.at;
    const std::string target = row.target.empty() ? root + "/expansion/zt2/b.dds" : row.target;
    const fs::file_time_type before = fs::last_write_time(target);
    std::string environment = "timeout -s KILL 120 env";
    if (row.trick == swap) {
      const std::string script = root + "/swap.sh";
      // Put in place at once: nothing there is not the case meant.
      const std::string q = shQuoted(at);
      writeFile(script, "#!/bin/sh\nln -s " + shQuoted(target) + " " + q + ".new && mv " + q +
                            " " + q + ".old && mv " + q + ".new " + q + "\n");
      fs::permissions(script, fs::perms::owner_all);
      // Not on a command that writes the archive it swaps: that one, no
      // check before it can catch. (Wine does not wait for a Unix program
      // that cmd starts: the swap is made a command before it is needed,
      // which natively only makes the listing older.)
      const bool main = row.place.at == "expansion/zt/zt.pff";
      environment += std::string(" ZT_PACK_RUN_ON=") + (main ? "c.wav" : "a.dds") +
                     " ZT_PACK_RUN=" + shQuoted(asGiven(script));
    } else {
      fs::remove_all(at);
      if (row.trick == chain) linkThroughUndecidableChain(root + "/chain", at, target);
      if (row.trick == pipe) {
        EXPECT_EQ(mkfifo(at.c_str(), 0644), 0) << what;
      }
      if (row.trick == hardLink) fs::create_hard_link(target, at);
      if (row.trick == plainLink) fs::create_symlink(target, at);
    }
    RunResult run = rebuild(environment);
    EXPECT_EQ(run.status, 1) << what << ": " << run.err;
    const std::string named =
        row.place.at == "ztlog.txt"         ? "the log " + underRoot(row.place.at) + row.named
        : row.place.at == "zt-rebuild.lock" ? row.named
                                            : underRoot("expansion/zt/" + row.named);
    EXPECT_NE(run.err.find(named), std::string::npos) << what << ": " << run.err;
    EXPECT_EQ(run.out.find("All done!"), std::string::npos) << what;
    EXPECT_EQ(run.err.find_first_of("\x1b"), std::string::npos) << what << ": " << run.err;
    EXPECT_EQ(run.err.find("secret"), std::string::npos) << what << ": " << run.err;
    for (const Call& call : run.calls) {
      for (const std::string& argument : call) {
        EXPECT_EQ(argument.find(row.place.forbidden), std::string::npos)
            << what << ": " << argument;
      }
    }
    for (const std::string& name : privateFiles) {
      EXPECT_EQ(readFile(outside + "/" + name), "secret " + name) << what;
    }
    EXPECT_EQ(fs::last_write_time(target), before) << what;
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 5) << what;
    if (row.trick == chain) std::system(("rm -rf --one-file-system " + root + "/chain").c_str());
  }
}

TEST_F(RunFailureTest, AStagedPipeIsRefusedAndTheRunEnds) {
  if (onWindows()) GTEST_SKIP() << "a POSIX pipe";
  installArchiveTool(root);
  stage("temp/a.dds");
  ASSERT_EQ(mkfifo((root + "/expansion/zt/temp/b.dds").c_str(), 0644), 0);
  RunResult run = rebuild();  // opening a pipe to read would wait for a writer forever
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("b.dds"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("1 of 4 commands failed"), std::string::npos) << run.err;
}

TEST_F(RunFailureTest, ConsoleThatCannotBeWrittenFailsTheRunAtItsEnd) {
  stage("temp/a.dds");
  // A pipe whose reader is gone as soon as it has opened it.
  const std::string pipe = scratch / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  const std::string reader = "(: <" + shQuoted(pipe) + " &);";
  struct Redirect { std::string words, before, err; int lines; };
  std::vector<Redirect> redirects = {
      {">/dev/full", "", "zt-rebuild: cannot write to standard output: ", 1}};
  if (canBreakStandardOutput()) {
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

// A tool that is gone in the middle of a run (moved away while it packs
// a.dds): each later command says that the tool could not be started, by the
// status the interpreter gives for that.
TEST_F(RunFailureTest, ToolGoneInTheMiddleOfARunIsNamedAsNotStartedAtEachCommand) {
  stage("temp/a.dds");
  stage("temp/b.dds");
  RunResult run = rebuild("PATH=/usr/bin:/bin ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" +
                          shQuoted(moveToolAway()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.runStatuses, "0\n");
  const std::string notStarted =
      "the tool could not be started (exit status " + notStartedStatus() + ")";
  for (const std::string& failure :
       {underRoot("expansion/zt/temp/b.dds") + ": not packed: " + notStarted,
        underRoot("expansion/zt/zt.pff") + ": not optimized: " + notStarted,
        std::string("zt-rebuild: the run failed: 2 of 4 commands failed")}) {
    EXPECT_NE(run.err.find(failure), std::string::npos) << run.err;
  }
  // The interpreter names the command it could not run.
  EXPECT_NE(run.err.find(toolNotFound()), std::string::npos) << run.err;
}

// A staging folder that cannot be read is no missing one: the run fails,
// even when a record vouches for all else. (Root reads any folder: the runs
// are made by an unprivileged user, who needs to write in the game root.)
TEST_F(RunFailureTest, AStagingFolderThatCannotBeReadFailsEvenARunWithNothingElseToDo) {
  if (onWindows()) GTEST_SKIP() << "POSIX permissions";
  stage("temp/a.dds");
  std::string user;
  if (geteuid() == 0) {
    user = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    chmod(scratch.path().c_str(), 0755);
    ASSERT_EQ(std::system(("chown -R 65534:65534 " + shQuoted(root)).c_str()), 0);
  }
  ASSERT_EQ(rebuildWith("--changed " + shQuoted(root), scratch.path(), user).status, 0);
  chmod((root + "/expansion/zt/temp").c_str(), 0);
  for (const std::string options : {"--changed ", ""}) {
    RunResult run = rebuildWith(options + shQuoted(root), scratch.path(), user);
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_EQ(run.err.find("zt-rebuild: cannot read the staging folder " +
                           underRoot("expansion/zt/temp") + ": Permission denied\n"), 0u)
        << options << run.err;
  }
}

// A tool the interpreter finds but cannot run was not started, as one it
// cannot find; a folder of the tool's name is no tool at all.
TEST_F(RunFailureTest, AToolThatCannotBeRunIsNotStarted) {
  if (onWindows()) GTEST_SKIP() << "POSIX modes";
  stage("temp/a.dds");
  RunResult run = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN='chmod -x pack'");
  EXPECT_NE(run.err.find("not optimized: the tool could not be started (exit status 126)"),
            std::string::npos) << run.err;
  removeTool(root);
  makeFolder(root + "/pack");
  RunResult folder = rebuild("PATH=/usr/bin:/bin");
  EXPECT_EQ(folder.err.find("zt-rebuild: the archive tool pack is neither in the game root"), 0u)
      << folder.err;
}

// The run's own text is out before each command starts: what the tool
// writes follows it, as on a terminal.
TEST_F(RunFailureTest, WhatAToolWritesFollowsTheLineItIsAbout) {
  stage("temp/a.dds");
  RunResult run = rebuildWith(shQuoted(asGiven(root)) + " 2>&1", scratch.path(),
                              "ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted("echo said>&2"));
  EXPECT_NE(run.out.find(progress(1, 1, "a.dds") + "said"), std::string::npos) << run.out;
}

// Output that could not be written fails the run, however it was lost (a
// run with nothing to do included), and the record keeps that failure, so
// that the next --changed run does not take it for nothing to do.
TEST_F(RunFailureTest, OutputThatCannotBeWrittenIsAFailureTheNextRunSees) {
  stage("zt.pff", "");
  const std::string changed = "--changed " + shQuoted(asGiven(root));
  EXPECT_EQ(rebuildWith(changed + " >/dev/full", scratch.path()).status, 1);
  forgetCalls();
  EXPECT_EQ(rebuildWith(changed, scratch.path()).calls, std::vector<Call>{optimize()});
  forgetCalls();
  RunResult upToDate = rebuildWith(changed + " >/dev/full", scratch.path());
  EXPECT_TRUE(upToDate.calls.empty());
  EXPECT_EQ(upToDate.status, 1);
  EXPECT_EQ(upToDate.err.find(text("zt-rebuild: cannot write to standard output: ")), 0u)
      << upToDate.err;
  // Line-buffered, as to a terminal, each line's write fails on its own and
  // leaves nothing for a flush to fail on.
  if (onWindows()) return;
  EXPECT_EQ(rebuildWith(shQuoted(root) + " >/dev/full", scratch.path(), "stdbuf -oL").status, 1);
}

// A Windows program that cannot start, or that the system ends, exits with
// an NTSTATUS code: shown in hex, and a missing DLL by name.
TEST_F(RunFailureTest, AToolEndedByWindowsIsNamedByItsStatusInHex) {
  if (!onWindows()) GTEST_SKIP() << "NTSTATUS codes are Windows'";
  stage("temp/a.dds");
  const std::string notPacked = "zt-rebuild: " + underRoot("expansion/zt/temp/a.dds") +
                                ": not packed: ";
  RunResult crashed = rebuild("ZT_PACK_FAIL=a.dds ZT_PACK_FAIL_STATUS=0xC0000005");
  EXPECT_EQ(crashed.status, 1);
  EXPECT_EQ(crashed.err.find(text(notPacked + "the tool failed (exit status 0xC0000005)\n")), 0u)
      << crashed.err;
  // Copied without the DLL it needs.
  fs::copy_file(windowsBuild() + "/needs-missing-dll.exe", root + "/pack.exe",
                fs::copy_options::overwrite_existing);
  RunResult missing = rebuild();
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.find(text(notPacked + "the tool could not be started: a DLL it needs is "
                                  "missing (exit status 0xC0000135)\n")),
            0u)
      << missing.err;
}

}  // namespace
