// End-to-end tests: the built program on scratch game roots, with a recording
// stand-in for the archive tool.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Call = std::vector<std::string>;

std::string shQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The calls that the recording tool wrote to `recordFile`, one per line.
std::vector<Call> readCalls(const std::string& recordFile) {
  std::vector<Call> calls;
  if (!fs::exists(recordFile)) return calls;
  std::istringstream lines(readFile(recordFile));
  std::string line;
  while (std::getline(lines, line)) {
    Call call(1);
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        call.emplace_back();
      } else if (line[i] == '\\' && i + 1 < line.size()) {
        char c = line[++i];
        call.back() += c == 't' ? '\t' : c == 'n' ? '\n' : c;
      } else {
        call.back() += line[i];
      }
    }
    calls.push_back(call);
  }
  return calls;
}

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
  std::vector<Call> calls;
  std::string log;
};

class RebuildTest : public ::testing::Test {
 protected:
  TempDir scratch;
  const std::string root = scratch / "Game";

  void SetUp() override {
    makeFolder(root);
    installTool(root);
  }

  void installTool(const std::string& folder) {
    fs::copy_file(ZT_RECORDING_PACK_PATH, folder + "/pack", fs::copy_options::overwrite_existing);
  }

  void stage(const std::string& relative, const std::string& content = "data") {
    writeFile(root + "/expansion/zt/" + relative, content);
  }

  // Runs zt-rebuild with `arguments` (already quoted) from `cwd`, with
  // `environment` assignments before it.
  RunResult rebuildWith(const std::string& arguments, const std::string& cwd,
                        const std::string& environment = "") {
    std::string out = scratch / "stdout", err = scratch / "stderr";
    std::string command = "cd " + shQuoted(cwd) + " && " + environment + " " +
                          shQuoted(ZT_REBUILD_PATH) + " " + arguments + " >" + shQuoted(out) +
                          " 2>" + shQuoted(err);
    int status = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    result.calls = readCalls(root + "/pack-calls.txt");
    result.log = readFile(root + "/ztlog.txt");
    return result;
  }

  RunResult rebuild(const std::string& environment = "") {
    return rebuildWith(shQuoted(root), scratch.path(), environment);
  }

  Call add(const std::string& archive, const std::string& path) {
    return {"expansion/zt/" + archive, path, "/force"};
  }
  const Call optimize = {"expansion/zt/zt.pff", "/opt"};
};

std::string progress(int number, int total, const std::string& name) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\rPacking file %4d of %4d (", number, total);
  return numbers + name + ")         ";
}

const char kOptimizeOutput[] = "pack called with 2 arguments\n";

std::string consoleFor(const std::string& gameRoot, const std::string& progressLines) {
  return "Logging to: " + gameRoot + "/ztlog.txt\n" +
         "Packing resource files, please wait...\n" + progressLines + "\n" +
         "Done packing resource files\n" +
         "Removing unused files (may take a minute or two)...done\n" + "\n" +
         "Optimizing pff...\n" + kOptimizeOutput + "\n" + "All done!\n";
}

TEST_F(RebuildTest, PacksBothStagingFoldersAndOptimizesTheMainArchive) {
  stage("temp/b.dds");
  stage("temp/a.dds");
  stage("tempL/c.wav");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, consoleFor(root, progress(1, 3, "a.dds") + progress(2, 3, "b.dds") +
                                          progress(3, 3, "c.wav")));
  std::vector<Call> expected = {
      add("zt.pff", root + "/expansion/zt/temp/a.dds"),
      add("zt.pff", root + "/expansion/zt/temp/b.dds"),
      add("ztL.pff", root + "/expansion/zt/tempL/c.wav"),
      optimize,
  };
  EXPECT_EQ(run.calls, expected);
  const std::string addOutput = "pack called with 3 arguments\n";
  EXPECT_EQ(run.log, "ZT Log Start\n" + addOutput + addOutput + addOutput);
}

TEST_F(RebuildTest, EmptyOrMissingStagingFoldersPackNothing) {
  makeFolder(root + "/expansion/zt/temp");  // tempL is missing altogether
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, consoleFor(root, ""));
  EXPECT_EQ(run.calls, std::vector<Call>{optimize});
  EXPECT_EQ(run.log, "ZT Log Start\n");
}

TEST_F(RebuildTest, NumbersRunOnAcrossBothPassesInFourWideFields) {
  std::string lines;
  for (int i = 1; i <= 12; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d.dds", i);
    stage(std::string("temp/") + name);
    lines += progress(i, 13, name);
  }
  stage("tempL/last.wav");
  lines += progress(13, 13, "last.wav");
  RunResult run = rebuild();
  EXPECT_EQ(run.out, consoleFor(root, lines));
  ASSERT_EQ(run.calls.size(), 14u);
  EXPECT_EQ(run.calls[12], add("ztL.pff", root + "/expansion/zt/tempL/last.wav"));
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
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, consoleFor(root, progress(1, 3, "A.dds") + progress(2, 3, "c.dds") +
                                          progress(3, 3, "d.dds")));
  std::vector<Call> expected = {
      add("zt.pff", root + "/expansion/zt/temp/A.dds"),
      add("zt.pff", root + "/expansion/zt/temp/c.dds"),
      add("zt.pff", root + "/expansion/zt/temp/d.dds"),
      optimize,
  };
  EXPECT_EQ(run.calls, expected);
}

TEST_F(RebuildTest, HostileFileNamesReachTheToolAsDataOnly) {
  const std::vector<std::string> names = {
      " lead space", "$(touch pwned)", "`touch pwned2`", "a\"quote", "caf\xc3\xa9.dds",
      "it's.dds",    "x; touch pwned3",
  };
  for (const std::string& name : names) stage("temp/" + name);
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.calls.size(), names.size() + 1);
  std::vector<std::string> packed;
  for (size_t i = 0; i < names.size(); ++i) packed.push_back(run.calls[i][1]);
  std::sort(packed.begin(), packed.end());
  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(root + "/expansion/zt/temp/" + name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(packed, expected);
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
  RunResult run = rebuildWith(shQuoted(spaced + "/"), scratch.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, consoleFor(spaced + "/", progress(1, 1, "a.dds")));
  std::vector<Call> calls = readCalls(spaced + "/pack-calls.txt");
  std::vector<Call> expected = {add("zt.pff", spaced + "//expansion/zt/temp/a.dds"), optimize};
  EXPECT_EQ(calls, expected);
}

TEST_F(RebuildTest, RelativeGameRootIsResolvedAgainstTheStartingDirectory) {
  stage("temp/a.dds");
  for (const std::string argument : {"Game", "./Game", "Game/"}) {
    fs::remove(root + "/pack-calls.txt");
    RunResult run = rebuildWith(shQuoted(argument), scratch.path());
    EXPECT_EQ(run.status, 0) << argument;
    std::string absolute = argument == "Game/" ? root + "/" : root;
    EXPECT_EQ(run.out, consoleFor(absolute, progress(1, 1, "a.dds"))) << argument;
    ASSERT_EQ(run.calls.size(), 2u) << argument;
    EXPECT_EQ(run.calls[0][1], absolute + "/expansion/zt/temp/a.dds");
  }
  RunResult dot = rebuildWith(".", root);
  EXPECT_EQ(dot.out, consoleFor(root, progress(1, 1, "a.dds")));
}

TEST_F(RebuildTest, GameRootThatCannotBeEnteredRunsNothing) {
  writeFile(scratch / "afile", "");
  makeFolder(scratch / "locked");
  chmod((scratch / "locked").c_str(), 0);
  bool rootCanEnterAnything = geteuid() == 0;
  for (const std::string& bad : {scratch / "missing", scratch / "afile", scratch / "locked"}) {
    if (bad == scratch / "locked" && rootCanEnterAnything) continue;
    RunResult run = rebuildWith(shQuoted(bad), scratch.path());
    EXPECT_EQ(run.status, 1) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_EQ(run.err.find("zt-rebuild: cannot enter the game root " + bad + ": "), 0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.calls.empty());
  }
  EXPECT_FALSE(fs::exists(scratch / "ztlog.txt"));
  EXPECT_FALSE(fs::exists(root + "/ztlog.txt"));
}

TEST_F(RebuildTest, FailedCommandsAreCountedAfterTheRunEnds) {
  stage("temp/a.dds");
  stage("temp/broken.dds");
  stage("tempL/c.wav");
  RunResult run = rebuild("ZT_PACK_FAIL=broken");
  EXPECT_EQ(run.status, 1);
  // The run still goes to its end, and standard output is as in a clean run.
  EXPECT_EQ(run.out, consoleFor(root, progress(1, 3, "a.dds") + progress(2, 3, "broken.dds") +
                                          progress(3, 3, "c.wav")));
  EXPECT_EQ(run.calls.size(), 4u);
  EXPECT_EQ(run.err, "zt-rebuild: 1 of 5 commands failed; see " + root +
                         "/ztlog.txt for the tool's output\n");
}

TEST_F(RebuildTest, ToolIsFoundAlongThePathWhenTheGameRootHasNone) {
  fs::remove(root + "/pack");
  stage("temp/a.dds");
  makeFolder(scratch / "bin");
  installTool(scratch / "bin");
  RunResult run = rebuild("PATH=" + shQuoted(scratch / "bin") + ":\"$PATH\"");
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<Call> expected = {add("zt.pff", root + "/expansion/zt/temp/a.dds"), optimize};
  EXPECT_EQ(run.calls, expected);
}

TEST_F(RebuildTest, MissingToolFailsEveryToolCommand) {
  fs::remove(root + "/pack");
  stage("temp/a.dds");
  RunResult run = rebuild("PATH=/usr/bin:/bin");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("zt-rebuild: 2 of 3 commands failed"), std::string::npos) << run.err;
  EXPECT_EQ(run.log, "ZT Log Start\n");
}

TEST_F(RebuildTest, UsageWithoutGameRootOrOnRequest) {
  RunResult none = rebuildWith("", scratch.path());
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err.find("usage: zt-rebuild GAME_ROOT\n"), 0u);
  for (const char* flag : {"-h", "--help"}) {
    RunResult help = rebuildWith(flag, scratch.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, none.err);
    EXPECT_EQ(help.err, "");
  }
  EXPECT_TRUE(none.calls.empty());
}

}  // namespace
