// End-to-end tests of a run that is interrupted (Ctrl+C), stopped (Ctrl+Z)
// or started with signals ignored: an interrupt stops the run and starts
// nothing more; nothing else does.
#include <signal.h>

#include <filesystem>
#include <string>

#include "test_support/rebuild_harness.h"

namespace {

// POSIX signals only: Ctrl+C on a Windows console ends every process attached
// to it. Each case stages two files, a.dds first.
class InterruptTest : public RebuildTest {
 protected:
  void SetUp() override {
    RebuildTest::SetUp();
    if (onWindows()) {
      GTEST_SKIP() << "Ctrl+C on a Windows console ends every process attached to it";
    }
    stage("temp/a.dds");
    stage("temp/b.dds");
  }
  // The settings that preload the library that interrupts or stops the run at
  // an exact moment; "" where there is none. The sanitizers' runtime need not
  // come first for a library preloaded in tests.
  static std::string interruptAtFork() {
#ifdef ZT_INTERRUPT_AT_FORK_PATH
    return "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
           shQuoted(ZT_INTERRUPT_AT_FORK_PATH);
#else
    return "";
#endif
  }
  // The shell's report of a death by SIGINT.
  static constexpr int kInterrupted = 128 + SIGINT;
};

constexpr const char kNoPreloading[] = "the library is preloaded on Linux only";

// The tool dies of the interrupt, or the interpreter swallowed it and the
// tool ends well: the run heard it too, and starts nothing more.
TEST_F(InterruptTest, InterruptingACommandStopsTheRun) {
  for (const std::string survive : {"", "ZT_PACK_SWALLOW=1 "}) {
    forgetCalls();
    // In a session of its own, so that the interrupt reaches only the run.
    RunResult run = rebuild(survive + "ZT_PACK_INTERRUPT=a.dds setsid");
    EXPECT_EQ(run.status, kInterrupted) << survive;
    EXPECT_EQ(run.calls, std::vector<Call>{add("zt.pff", "expansion/zt/temp/a.dds")}) << survive;
    EXPECT_EQ(run.out.find("All done!"), std::string::npos) << survive;
    EXPECT_EQ(run.err, "") << survive;
  }
}

// One that reaches the run alone just before a command's interpreter is
// started (the log's was the first): that interpreter starts no tool.
TEST_F(InterruptTest, AnInterruptJustBeforeAnInterpreterStartsRunsNoTool) {
  if (interruptAtFork().empty()) GTEST_SKIP() << kNoPreloading;
  RunResult early = rebuild(interruptAtFork() + " ZT_INTERRUPT_AT_FORK=2");
  EXPECT_EQ(early.status, kInterrupted) << early.err;
  EXPECT_EQ(early.calls, std::vector<Call>{});
  EXPECT_EQ(early.out.find("All done!"), std::string::npos);
}

// Nor does a Ctrl+Z that reaches an interpreter's child before it has
// started the interpreter leave the run waiting on a child that stopped
// alone. (timeout: the run in a process group that stops, and an end if not.)
TEST_F(InterruptTest, ACtrlZBeforeAnInterpreterStartsLeavesNoRunWaiting) {
  if (interruptAtFork().empty()) GTEST_SKIP() << kNoPreloading;
  RunResult stopped = rebuild("timeout -s KILL 20 env " + interruptAtFork() + " ZT_STOP_AT_FORK=2");
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(stopped.calls.size(), 3u);
}

TEST_F(InterruptTest, AKilledRunLeavesNothingThatBlocksTheNext) {
  ASSERT_EQ(rebuild("ZT_PACK_INTERRUPT=a.dds setsid").status, kInterrupted);
  EXPECT_EQ(rebuild().status, 0);
}

// Ignored from the start (a background job), an interrupt that came while a
// command was being started is no reason to kill that command.
TEST_F(InterruptTest, AnInterruptIgnoredOrBlockedFromTheStartKillsNoCommand) {
  RunResult ignored = rebuild(
      "perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGINT)); "
      "$SIG{INT} = q(IGNORE); kill(q(INT), $$); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(ignored.status, 0) << ignored.err;
  EXPECT_EQ(ignored.calls.size(), 3u) << ignored.err;
  // Blocked alone, it stays unheard by the commands too, though the
  // interpreter unblocks every signal as it starts the tool: a Ctrl+C while
  // one runs ends neither it nor the run.
  forgetCalls();
  RunResult blocked = rebuild(
      "ZT_PACK_INTERRUPT=a.dds setsid perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, "
      "POSIX::SigSet->new(SIGINT)); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(blocked.status, 0) << blocked.err;
  EXPECT_EQ(blocked.calls.size(), 3u) << blocked.err;
}

// Nor does SIGCHLD ignored from the start take the commands' statuses away.
TEST_F(InterruptTest, ChildStatusesIgnoredFromTheStartAreStillHeard) {
  RunResult reaped = rebuild("perl -e '$SIG{CHLD} = q(IGNORE); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(reaped.status, 0) << reaped.err;
  EXPECT_EQ(reaped.calls.size(), 3u) << reaped.err;
}

// A command that dies by a signal failed, whatever a dead process's status
// reads as; one that dies by Ctrl+C's stops the run, though the run did not
// get it. The tool kills its interpreter (its parent, unless the interpreter
// made itself the tool), then itself.
TEST_F(RebuildTest, ACommandKilledByASignalFailsOrStopsTheRun) {
  if (onWindows()) GTEST_SKIP() << "POSIX signals";
  if (!std::filesystem::exists("/proc/self/comm")) {
    GTEST_SKIP() << "no /proc to tell the interpreter by";
  }
  stage("temp/a.dds");
  for (const auto& [signal, status] :
       {std::pair{"KILL", 1}, {"INT", 128 + SIGINT}, {"QUIT", 128 + SIGQUIT}}) {
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
  forgetCalls();
  RunResult deaf = rebuild("ZT_PACK_INTERRUPT=a.dds ZT_PACK_SWALLOW=1 setsid "
                           "perl -e '$SIG{INT} = q(IGNORE); exec(@ARGV) or exit 99' --");
  EXPECT_EQ(deaf.status, 0) << deaf.err;
  EXPECT_EQ(deaf.calls.size(), 2u);
}

}  // namespace
