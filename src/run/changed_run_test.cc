// End-to-end tests of the runs that pack only what changed, and of dry runs.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

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
  void restage(const std::string& base = "") {
    root = (base.empty() ? scratch.path() : base) + "/Game" + std::to_string(++roots_);
    makeFolder(root);
    installTool(root);
    stage("temp/a.dds", "data a");
    stage("temp/b.dds", "data b");
    stage("tempL/c.wav", "data c");
    // As if written in one clock tick, a while ago.
    const fs::file_time_type then =
        fs::last_write_time(staged("temp/a.dds")) - std::chrono::hours(24);
    fs::last_write_time(staged("temp/a.dds"), then);
    fs::last_write_time(staged("temp/b.dds"), then);
    // Their change times stay now: out of the tick the next run starts in
    // (the kernel stamps files by a clock of a few milliseconds), or that
    // run may rightly not vouch for them.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  int roots_ = 0;
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
  const auto removeStaged = [&] {
    for (const char* name : {"temp/a.dds", "temp/b.dds", "tempL/c.wav"}) fs::remove(staged(name));
  };
  struct Case {
    const char* what;
    std::string firstRunEnvironment;
    std::function<void()> between;
    std::vector<std::string> expected;
    // Whether the run is to do nothing at all.
    bool upToDate = false;
  };
  const std::vector<Case> cases = {
      {"nothing changed", "", [] {}, {}, true},
      // Each of these is to be a run as usual, with nothing to pack.
      {"an earlier failure", "ZT_PACK_FAIL=/opt", [] {}, {}},
      {"an archive touched, none of its files staged", "",
       [&] {
         fs::remove(staged("tempL/c.wav"));
         writeFile(staged("ztL.pff"), "another copy");
       },
       {}},
      {"the delete list touched, no file staged", "",
       [&] {
         removeStaged();
         stage("deleteList.txt", "zt.pff /del x\n");
       },
       {}},
      {"an archive the record has none of made since", "",
       [&] {
         fs::remove(staged("tempL/c.wav"));
         fs::remove(staged("ztL.pff"));
         rebuildChanged();
         writeFile(staged("ztL.pff"), "someone else's");
       },
       {}},
      // Stamped after the run in between started (its record waits till then).
      {"the delete list stamped after the run started, no file staged", "",
       [&] {
         removeStaged();
         stage("deleteList.txt", "zt.pff /del x\n");
         fs::last_write_time(staged("deleteList.txt"),
                             fs::file_time_type::clock::now() + std::chrono::seconds(2));
         rebuildChanged();
       },
       {}},
      {"a record from before the outcome was kept", "",
       [&] {
         std::string text = readFile(record());
         text.erase(text.find("failed 0\n"), 9);
         writeFile(record(), text);
       },
       {}},
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
                    (onWindows() ? "expansion\\zt\\deleteList.txt"
                                 : "expansion/zt/deleteList.txt")),
       [] {}, {"a.dds", "b.dds", "c.wav"}},
      // Zip keeps local time: a mod zipped east of the user arrives stamped
      // hours ahead. Such a stamp is not vouched for, nor waited for.
      {"the delete list stamped ahead of the clock", "",
       [&] {
         stage("deleteList.txt", "zt.pff /del x\n");
         aHourLater(staged("deleteList.txt"));
       },
       {"a.dds", "b.dds", "c.wav"}},
      // Past what nanoseconds since 1970 hold: its stamp must not wrap to
      // long ago. (The C++ file clock cannot hold it either.)
      {"a staged file stamped in 2300", "",
       [&] {
         const struct timespec in2300[2] = {{10413792000, 0}, {10413792000, 0}};
         ASSERT_EQ(utimensat(AT_FDCWD, staged("temp/a.dds").c_str(), in2300, 0), 0);
         std::this_thread::sleep_for(std::chrono::milliseconds(20));
         rebuildChanged();
       },
       {"a.dds"}},
      // The run that finds it so (packing nothing into it, to leave the stamp
      // as it is) succeeds, and leaves the next one no no-op.
      {"an archive stamped ahead of the clock", "",
       [&] {
         fs::remove(staged("tempL/c.wav"));
         aHourLater(staged("ztL.pff"));
         RunResult ahead = rebuildChanged();
         EXPECT_EQ(ahead.status, 0) << ahead.err;
       },
       {}},
      // The record keeps no stamp of another archive: its removals may have
      // been undone.
      {"an entry put back into an archive only the delete list names", "",
       [&] {
         stage("extra.pff", "x.dds");
         stage("deleteList.txt", "extra.pff /del x.dds\n");
         std::this_thread::sleep_for(std::chrono::milliseconds(20));
         RunResult removed = rebuildChanged();
         EXPECT_EQ(removed.status, 0) << removed.err;
         writeFile(staged("extra.pff"), "x.dds put back");
       },
       {}},
      {"no record", "", [&] { fs::remove(record()); }, {"a.dds", "b.dds", "c.wav"}},
      {"a damaged record", "",
       [&] { writeFile(record(), readFile(record()).substr(0, readFile(record()).size() - 4)); },
       {"a.dds", "b.dds", "c.wav"}},
      {"a normal run in between", "", [&] { rebuild(); }, {"a.dds", "b.dds", "c.wav"}},
      // A dry run shows the add as if it succeeded: it must vouch for nothing.
      {"a failed add, then a dry run", "ZT_PACK_FAIL=b.dds",
       [&] { rebuildWith("--changed --dry-run " + shQuoted(asGiven(root)), scratch.path()); },
       {"b.dds"}},
      // The file's identity, whatever its times say.
      {"two files swapped by name", "",
       [&] {
         rename("temp/a.dds", "temp/x");
         rename("temp/b.dds", "temp/a.dds");
         rename("temp/x", "temp/b.dds");
       },
       {"a.dds", "b.dds"}},
  };
  std::vector<Case> all = cases;
  if (!onWindows()) {
    // A log kept as a link to the null device: the run's clock is read on a
    // file of its own, and the record of the run in between is written.
    all.push_back({"a run in between with the log a link to /dev/null", "", [&] {
                     fs::remove(root + "/ztlog.txt");
                     fs::create_symlink("/dev/null", root + "/ztlog.txt");
                     stage("temp/a.dds", "edited");
                     // Out of the run's start tick, as in restage().
                     std::this_thread::sleep_for(std::chrono::milliseconds(20));
                     rebuildChanged();
                   }, {}, true});
    // Twins both packed, in the listing's order: the last one's entry stays.
    all.push_back({"a case twin staged", "", [&] { stage("temp/A.DDS", "twin"); },
                   {"A.DDS", "a.dds"}});
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
    const std::string log = readFile(root + "/ztlog.txt"), left = readFile(record());
    RunResult second = rebuildChanged();
    EXPECT_EQ(second.status, 0) << c.what << ": " << second.err;
    EXPECT_EQ(packed(second), c.expected) << c.what;
    if (c.upToDate) {
      EXPECT_EQ(second.out, text("Archives are up to date; nothing to do\n")) << c.what;
      // A dry run says so on stderr: its standard output is for command lines.
      RunResult dry =
          rebuildWith("--changed --dry-run " + shQuoted(asGiven(root)), scratch.path());
      EXPECT_EQ(dry.out, "") << c.what;
      EXPECT_EQ(dry.err, text("zt-rebuild: Archives are up to date; nothing would be done\n"))
          << c.what;
      EXPECT_TRUE(second.calls.empty()) << c.what;
      EXPECT_EQ(readFile(root + "/ztlog.txt"), log) << c.what;
      EXPECT_EQ(readFile(record()), left) << c.what;
    } else {
      // The delete list and the optimize run as in any run.
      ASSERT_FALSE(second.calls.empty()) << c.what;
      EXPECT_EQ(second.calls.back(), optimize()) << c.what;
    }
  }
  // A run after one that had a failure runs as usual, and says it again.
  restage();
  stage("deleteList.txt", "zt.pff /del \"open\n");
  RunResult refused = rebuildChanged();
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("never closed"), std::string::npos) << refused.err;
  forgetCalls();
  RunResult again = rebuildChanged();
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err.substr(0, again.err.find('\n')),
            refused.err.substr(0, refused.err.find('\n')));
  EXPECT_EQ(again.calls, std::vector<Call>{optimize()});
  // Nor is a staging folder that cannot be read, or that is refused for
  // leading outside, left as it was: the run runs as usual, and fails.
  makeFolder(scratch / "elsewhere");
  for (const std::string& leadsTo : {std::string("temp"), scratch / "elsewhere"}) {
    restage();
    rebuildChanged();
    fs::remove_all(staged("temp"));
    fs::create_directory_symlink(leadsTo, staged("temp"));
    forgetCalls();
    RunResult unreadable = rebuildChanged();
    EXPECT_EQ(unreadable.status, 1) << leadsTo;
    EXPECT_EQ(unreadable.calls, std::vector<Call>{optimize()}) << leadsTo;
  }
  // A file written during the run that packed it (in its clock tick or
  // after) is packed again.
  restage();
  fs::last_write_time(staged("temp/a.dds"),
                      fs::file_time_type::clock::now() + std::chrono::hours(1));
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

  // A link planted as the record's temporary file: its target is never
  // written, and the record is. (Wine removes a Unix link's target along
  // with the link, where Windows removes the link.)
  if (onWindows()) return;
  fs::remove_all(record());
  writeFile(scratch / "victim", "keep");
  fs::create_symlink(scratch / "victim", record() + ".tmp");
  EXPECT_EQ(rebuildChanged().status, 0);
  EXPECT_EQ(readFile(scratch / "victim"), "keep");
  EXPECT_NE(readFile(record()).find("end 3"), std::string::npos) << readFile(record());
}

// A file system that stamps whole seconds, as ext3, ext4 with 128-byte
// inodes and HFS+ do, mounted from an image for the test's time.
class CoarseClockMount {
 public:
  explicit CoarseClockMount(const TempDir& scratch)
      : image_(scratch / "coarse.img"), folder_(scratch / "coarse") {
    makeFolder(folder_);
    mounted_ = std::system(("truncate -s 16M " + shQuoted(image_) + " && mkfs.ext4 -q -F -I 128 " +
                            shQuoted(image_) + " 2>/dev/null && mount -o loop " +
                            shQuoted(image_) + " " + shQuoted(folder_) + " 2>/dev/null")
                               .c_str()) == 0;
  }
  // Unmounted before the scratch folder is removed, lazily should it be busy.
  ~CoarseClockMount() {
    if (mounted_ && std::system(("umount " + shQuoted(folder_)).c_str()) != 0) {
      std::system(("umount -l " + shQuoted(folder_)).c_str());
    }
  }
  bool mounted() const { return mounted_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string image_, folder_;
  bool mounted_ = false;
};

// Just past the start of the next second, so that what follows falls in
// one tick of a whole-second clock.
void startOfASecond() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  std::this_thread::sleep_until(ceil<seconds>(now) + milliseconds(30));
}

TEST_F(ChangedRunTest, ACoarseClockHidesNoChangeInTheTickARunStartsOrEnds) {
  if (onWindows()) GTEST_SKIP() << "the rules are the stamps' own, tested on both builds' code";
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  CoarseClockMount coarse(scratch);
  if (!coarse.mounted()) GTEST_SKIP() << "no loop device or ext4 tools here";
  const auto sameSize = [](const std::string& path) {
    std::string content = readFile(path);
    content[0] = content[0] == 'x' ? 'y' : 'x';
    writeFile(path, content);
  };
  struct Case {
    const char* what;
    std::function<void()> before;  // at the start of the tick the first run starts in
    std::string firstRunEnvironment;
    std::function<void()> after;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"an archive changed in the tick the run ended", [] {}, "",
       [&] { sameSize(staged("ztL.pff")); }, {"c.wav"}},
      {"a file rewritten in the tick the run started, its last-write time set back",
       [&] { restage(coarse.folder()); },
       "ZT_PACK_RUN_ON=b.dds ZT_PACK_RUN='printf \"data A\" >expansion/zt/temp/a.dds && "
       "touch -r expansion/zt/temp/b.dds expansion/zt/temp/a.dds'",
       [] {}, {"a.dds", "b.dds", "c.wav"}},
      {"the delete list rewritten in the tick the run started",
       [&] { stage("deleteList.txt", "zt.pff /del x\n"); },
       "ZT_PACK_RUN_ON=c.wav ZT_PACK_RUN='printf \"zt.pff /del y\\n\" "
       ">expansion/zt/deleteList.txt'",
       [] {}, {"a.dds", "b.dds", "c.wav"}},
      // Both in the modification folder: a link that leads out is not packed.
      {"a link switched to another file of the same size and times",
       [&] {
         writeFile(staged("one"), "linked 1");
         writeFile(staged("two"), "linked 2");
         fs::last_write_time(staged("two"), fs::last_write_time(staged("one")));
         fs::remove(staged("temp/a.dds"));
         fs::create_symlink(staged("one"), staged("temp/a.dds"));
         startOfASecond();  // both files in one tick, before the run's
       },
       "",
       [&] {
         fs::remove(staged("temp/a.dds"));
         fs::create_symlink(staged("two"), staged("temp/a.dds"));
       },
       {"a.dds"}},
  };
  for (const Case& c : cases) {
    restage(coarse.folder());
    startOfASecond();
    c.before();
    RunResult first = rebuildChanged(c.firstRunEnvironment);
    EXPECT_EQ(packed(first), (std::vector<std::string>{"a.dds", "b.dds", "c.wav"}))
        << c.what << ": " << first.err;
    c.after();
    forgetCalls();
    RunResult second = rebuildChanged();
    EXPECT_EQ(second.status, 0) << c.what << ": " << second.err;
    EXPECT_EQ(packed(second), c.expected) << c.what;
  }
}

TEST_F(ChangedRunTest, ALogThatIsAPipeIsRefusedBeforeAnythingRuns) {
  if (onWindows()) GTEST_SKIP() << "a POSIX pipe";
  // A game root of its own: the harness reads back the log of `root`.
  const std::string piped = scratch / "Piped";
  makeFolder(piped);
  installTool(piped);
  writeFile(piped + "/expansion/zt/temp/a.dds", "data");
  ASSERT_EQ(mkfifo((piped + "/ztlog.txt").c_str(), 0644), 0);
  for (const char* options : {"", "--changed "}) {
    RunResult run = rebuildWith(options + shQuoted(piped), scratch.path(), "", piped);
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_EQ(run.out, "") << options;
    EXPECT_EQ(run.err, "zt-rebuild: the log " + piped +
                           "/ztlog.txt is a pipe, which would keep the run waiting; nothing was "
                           "done\n")
        << options;
    EXPECT_TRUE(run.calls.empty()) << options;
    EXPECT_FALSE(fs::exists(piped + "/zt-rebuild-record.txt")) << options;
  }
}

TEST_F(ChangedRunTest, ConsoleCountsOnlyTheFilesPacked) {
  restage();
  // The first run says why it packs everything.
  std::string expected =
      console(progress(1, 3, "a.dds") + progress(2, 3, "b.dds") + progress(3, 3, "c.wav"));
  expected.insert(expected.find("\rPacking file"),
                  text("Packing every staged file: there is no record of packed files yet\n"));
  EXPECT_EQ(rebuildChanged().out, expected);
  stage("temp/b.dds", "new");
  RunResult run = rebuildChanged();
  expected = console(progress(1, 1, "b.dds"));
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
    // Standard output holds only the command lines: the rest goes to stderr.
    const std::string noRecord =
        options == "--dry-run" ? ""
                               : "zt-rebuild: every staged file would be packed: there is no "
                                 "record of packed files yet\n";
    EXPECT_EQ(run.err, text(noRecord + "zt-rebuild: " + underRoot("expansion/zt/deleteList.txt") +
                            ":2: not run: a double quote in it is never closed\n"
                            "zt-rebuild: the run would fail: 1 of 6 commands would fail; see "
                            "the errors above\n"))
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
  EXPECT_EQ(next.err.find(text("zt-rebuild: would skip 2 unchanged staged files\n")), 0u)
      << next.err;
}

TEST_F(ChangedRunTest, OptionsComeBeforeTheGameRoot) {
  const std::string dashed = scratch / "-Game";
  makeFolder(dashed + "/expansion/zt");
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
