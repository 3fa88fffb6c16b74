// End-to-end tests of the runs that pack only what changed, and of dry runs.
#include <signal.h>

#include <filesystem>
#include <functional>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

class ChangedRunTest : public RebuildTest {
 protected:
  RunResult rebuildChanged(const std::string& environment = "") {
    return rebuildWith("--changed " + shQuoted(asGiven(root)), scratch.path(), environment);
  }
  // The staged files that a run handed to the tool, by name.
  static std::vector<std::string> packed(const RunResult& run) {
    std::vector<std::string> names;
    for (const Call& call : run.calls) {
      if (call.size() == 3 && call[2] == "/force") {
        names.push_back(call[1].substr(call[1].find_last_of("\\/") + 1));
      }
    }
    return names;
  }
  // A game root of its own for each case: a new folder, never one made again
  // where another was removed, which Wine has been seen to list stale.
  void restage() {
    root = scratch / ("Game" + std::to_string(++roots_));
    makeFolder(root);
    installTool(root);
    stage("temp/a.dds", "data a");
    stage("temp/b.dds", "data b");
    stage("tempL/c.wav", "data c");
    // As if written in one clock tick, a while ago.
    const fs::file_time_type then = fs::last_write_time(staged("temp/a.dds")) - std::chrono::hours(24);
    fs::last_write_time(staged("temp/a.dds"), then);
    fs::last_write_time(staged("temp/b.dds"), then);
  }
  int roots_ = 0;
  void forgetCalls() { fs::remove(root + "/pack-calls.txt"); }
  std::string staged(const std::string& relative) { return root + "/expansion/zt/" + relative; }
};

TEST_F(ChangedRunTest, PacksWhatMayNotBeInItsArchiveAndSkipsTheRest) {
  const auto record = [&] { return root + "/zt-rebuild-record.txt"; };
  const auto aHourLater = [&](const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::hours(1));
  };
  const auto rename = [&](const std::string& from, const std::string& to) {
    fs::rename(staged(from), staged(to));
  };
  struct Case {
    const char* what;
    std::string firstRunEnvironment;
    std::function<void()> between;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"nothing changed", "", [] {}, {}},
      {"new content", "", [&] { stage("temp/a.dds", "longer data"); }, {"a.dds"}},
      {"same size, written later", "", [&] { aHourLater(staged("temp/b.dds")); }, {"b.dds"}},
      {"a new file", "", [&] { stage("tempL/d.wav"); }, {"d.wav"}},
      {"an add that failed", "ZT_PACK_FAIL=b.dds", [] {}, {"b.dds"}},
      {"the archive put back to an older copy", "",
       [&] { writeFile(staged("zt.pff"), "an older copy"); }, {"a.dds", "b.dds"}},
      {"the delete list changed", "", [&] { stage("deleteList.txt", "zt.pff /del x\n"); },
       {"a.dds", "b.dds", "c.wav"}},
      {"the delete list changed while the run went on", "ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" +
           shQuoted(std::string("echo zt.pff /del x>") +
                    (onWindows() ? "expansion\\zt\\deleteList.txt" : "expansion/zt/deleteList.txt")),
       [] {}, {"a.dds", "b.dds", "c.wav"}},
      {"no record", "", [&] { fs::remove(record()); }, {"a.dds", "b.dds", "c.wav"}},
      {"a damaged record", "",
       [&] { writeFile(record(), readFile(record()).substr(0, readFile(record()).size() - 4)); },
       {"a.dds", "b.dds", "c.wav"}},
      {"a normal run in between", "", [&] { rebuild(); }, {"a.dds", "b.dds", "c.wav"}},
  };
  std::vector<Case> all = cases;
  if (!onWindows()) {
    // The status-change time tells them apart. (On Windows the creation time
    // does, which Wine does not keep for Linux files.)
    all.push_back({"two files swapped by name", "",
                   [&] {
                     rename("temp/a.dds", "temp/x");
                     rename("temp/b.dds", "temp/a.dds");
                     rename("temp/x", "temp/b.dds");
                   },
                   {"a.dds", "b.dds"}});
    // Windows has no names that differ only in case.
    // Packed together, the twins leave one entry: the last one's.
    all.push_back({"a case twin, then the other twin gone", "", [&] {
                     stage("temp/A.DDS", "twin");
                     fs::last_write_time(staged("temp/A.DDS"),
                                         fs::last_write_time(staged("temp/a.dds")));
                     rebuildChanged();
                     fs::remove(staged("temp/a.dds"));
                   }, {"A.DDS"}});
  }
  for (const Case& c : all) {
    restage();
    RunResult first = rebuildChanged(c.firstRunEnvironment);
    EXPECT_EQ(packed(first), (std::vector<std::string>{"a.dds", "b.dds", "c.wav"}))
        << c.what << ": " << first.out << first.err;
    c.between();
    forgetCalls();
    RunResult second = rebuildChanged();
    EXPECT_EQ(second.status, 0) << c.what << ": " << second.err;
    EXPECT_EQ(packed(second), c.expected) << c.what;
    // The delete list and the optimize run as in any run.
    EXPECT_EQ(second.calls.back(), optimize()) << c.what;
  }
  // A file written during the run that packed it (in its clock tick or
  // after) is packed again.
  restage();
  fs::last_write_time(staged("temp/a.dds"), fs::file_time_type::clock::now() + std::chrono::hours(1));
  rebuildChanged();
  forgetCalls();
  EXPECT_EQ(packed(rebuildChanged()), std::vector<std::string>{"a.dds"});

  // A record that cannot be put in place fails the run, and leaves no
  // temporary file behind.
  fs::remove(record());
  makeFolder(record() + "/in-the-way");
  RunResult blocked = rebuildChanged();
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("cannot write the record of packed files"), std::string::npos)
      << blocked.err;
  EXPECT_FALSE(fs::exists(record() + ".tmp"));
}

TEST_F(ChangedRunTest, ConsoleCountsOnlyTheFilesPacked) {
  restage();
  rebuildChanged();
  stage("temp/b.dds", "new");
  RunResult run = rebuildChanged();
  std::string expected = console(progress(1, 1, "b.dds"));
  expected.insert(expected.find("\rPacking file"), text("Skipping 2 unchanged staged files\n"));
  EXPECT_EQ(run.out, expected);
}

TEST_F(ChangedRunTest, AKilledRunLeavesWhatItDidNotFinishToTheNext) {
  if (onWindows()) GTEST_SKIP() << "Ctrl+C on a Windows console ends every process attached to it";
  restage();
  rebuildChanged();
  stage("temp/a.dds", "new a");
  stage("temp/b.dds", "new b");
  RunResult killed = rebuildChanged("ZT_PACK_INTERRUPT=a.dds setsid");
  EXPECT_EQ(killed.status, 128 + SIGINT);
  forgetCalls();
  EXPECT_EQ(packed(rebuildChanged()), (std::vector<std::string>{"a.dds", "b.dds"}));
}

TEST_F(ChangedRunTest, DryRunShowsTheCommandLinesAndRunsNone) {
  stage("temp/a.dds");
  stage("tempL/c.wav");
  stage("deleteList.txt", "zt.pff /del x.dds\nzt.pff /del \"open\n");
  const std::string tool = onWindows() ? "pack.exe" : "./pack";
  const auto quoted = [&](const std::string& path) {
    return onWindows() ? "\"" + path + "\"" : shQuoted(path);
  };
  const std::string deletion = onWindows() ? "pack.exe expansion\\zt\\zt.pff /del x.dds"
                                           : "./pack 'expansion/zt/zt.pff' '/del' 'x.dds'";
  const std::string all =
      "echo ZT Log Start > ztlog.txt\n" + tool + " " + inModFolder("zt.pff") + " " +
      quoted(underRoot("expansion/zt/temp/a.dds")) + " /force >> ztlog.txt\n" + tool + " " +
      inModFolder("ztL.pff") + " " + quoted(underRoot("expansion/zt/tempL/c.wav")) +
      " /force >> ztlog.txt\n" + deletion + " >> ztlog.txt\n" + tool + " " +
      inModFolder("zt.pff") + " /opt\n";
  for (const std::string options : {"--dry-run", "--dry-run --changed"}) {
    RunResult run = rebuildWith(options + " " + shQuoted(asGiven(root)), scratch.path());
    EXPECT_EQ(run.status, 1) << options;  // the line with an open quote
    EXPECT_EQ(run.out, text(all)) << options;
    EXPECT_EQ(run.err, text("zt-rebuild: " + underRoot("expansion/zt/deleteList.txt") +
                            ":2: not run: a double quote in it is never closed\n"
                            "zt-rebuild: 1 of 6 commands would fail; see the errors above\n"))
        << options;
    EXPECT_TRUE(run.calls.empty()) << options;
    for (const char* written : {"ztlog.txt", "zt-rebuild.lock", "zt-rebuild-record.txt"}) {
      EXPECT_FALSE(fs::exists(root + "/" + written)) << options << " wrote " << written;
    }
  }
  // After a run that packed everything, a dry run of the next shows no add.
  rebuildChanged();
  RunResult next = rebuildWith("--changed --dry-run " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(next.out.find("/force"), std::string::npos) << next.out;
}

TEST_F(ChangedRunTest, OptionsComeBeforeTheGameRoot) {
  const std::string dashed = scratch / "-Game";
  makeFolder(dashed);
  installTool(dashed);
  writeFile(dashed + "/expansion/zt/zt.pff", "");
  RunResult ended = rebuildWith("-- " + shQuoted(asGiven(dashed)), scratch.path(), "", dashed);
  EXPECT_EQ(ended.status, 0) << ended.err;
  EXPECT_EQ(ended.calls, std::vector<Call>{optimize()});
  for (const std::string& words :
       {"--fast " + shQuoted(asGiven(root)), shQuoted(asGiven(root)) + " --dry-run",
        shQuoted(asGiven(root)) + " --dryrun", shQuoted(asGiven(root)) + " -n",
        std::string("--changed")}) {
    RunResult refused = rebuildWith(words, scratch.path());
    EXPECT_EQ(refused.status, 2) << words;
    EXPECT_TRUE(refused.calls.empty()) << words;
  }
  EXPECT_EQ(rebuildWith("--help " + shQuoted(asGiven(root)), scratch.path()).status, 0);
}

}  // namespace
