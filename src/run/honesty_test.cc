// End-to-end tests of what a run says of itself: a command that died, an
// interrupt, a folder it could not read, a tool it could not start and
// output it could not write are never taken for success, nor for nothing.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

// A command that dies by a signal failed, whatever a dead process's status
// reads as; one that dies by Ctrl+C's stops the run, though the run did not
// get it. The tool kills its interpreter (its parent, unless the interpreter
// made itself the tool), then itself.
TEST_F(RebuildTest, ACommandKilledByASignalFailsOrStopsTheRun) {
  if (onWindows()) GTEST_SKIP() << "POSIX signals";
  if (!fs::exists("/proc/self/comm")) GTEST_SKIP() << "no /proc to tell the interpreter by";
  stage("temp/a.dds");
  for (const auto& [signal, status] : {std::pair{"KILL", 1}, {"INT", 128 + SIGINT}}) {
    writeFile(root + "/pack", std::string("#!/bin/sh\n[ \"$(cat /proc/$PPID/comm)\" = sh ] && ") +
                                  "kill -" + signal + " $PPID\nkill -" + signal + " $$\n");
    chmod((root + "/pack").c_str(), 0755);
    RunResult run = rebuild();
    EXPECT_EQ(run.status, status) << signal << ": " << run.err;
  }
}

// Ctrl+C during a command ends the run once that command has ended, not
// before: here the tool's call is recorded a second after the run got it.
// A run started deaf to it (in the background) stays deaf.
TEST_F(RebuildTest, AnInterruptEndsTheRunOnlyAfterItsCommandAndOnlyIfHeard) {
  if (onWindows()) GTEST_SKIP() << "Ctrl+C on a Windows console ends every process attached to it";
  stage("temp/a.dds");
  RunResult run = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" +
                          shQuoted("perl -e 'kill q(INT), getpgrp'; sleep 1") + " setsid");
  EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
  EXPECT_EQ(run.calls, std::vector<Call>{add("zt.pff", "expansion/zt/temp/a.dds")});
  fs::remove(root + "/pack-calls.txt");
  RunResult deaf = rebuild("ZT_PACK_INTERRUPT=a.dds ZT_PACK_SWALLOW=1 setsid "
                           "perl -e '$SIG{INT} = q(IGNORE); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(deaf.status, 0) << deaf.err;
  EXPECT_EQ(deaf.calls.size(), 2u);
}

// A staging folder that cannot be read is no missing one: the run fails,
// even when a record vouches for all else. (Root reads any folder: the runs
// are made by an unprivileged user, who needs to write in the game root.)
TEST_F(RebuildTest, AStagingFolderThatCannotBeReadFailsEvenARunWithNothingElseToDo) {
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
TEST_F(RebuildTest, AToolThatCannotBeRunIsNotStarted) {
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
TEST_F(RebuildTest, WhatAToolWritesFollowsTheLineItIsAbout) {
  stage("temp/a.dds");
  RunResult run = rebuildWith(shQuoted(asGiven(root)) + " 2>&1", scratch.path(),
                              "ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted("echo said>&2"));
  EXPECT_NE(run.out.find(progress(1, 1, "a.dds") + "said"), std::string::npos) << run.out;
}

// Output that could not be written fails the run, however it was lost (a
// run with nothing to do included), and the record keeps that failure, so
// that the next --changed run does not take it for nothing to do.
TEST_F(RebuildTest, OutputThatCannotBeWrittenIsAFailureTheNextRunSees) {
  stage("zt.pff", "");
  const std::string changed = "--changed " + shQuoted(asGiven(root));
  EXPECT_EQ(rebuildWith(changed + " >/dev/full", scratch.path()).status, 1);
  fs::remove(root + "/pack-calls.txt");
  EXPECT_EQ(rebuildWith(changed, scratch.path()).calls, std::vector<Call>{optimize()});
  fs::remove(root + "/pack-calls.txt");
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

}  // namespace
