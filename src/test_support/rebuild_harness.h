// End-to-end harness: runs the built zt-rebuild on scratch game roots, with
// the recording stand-in for the archive tool in the game root, and reads
// back the console, the log and the tool's calls. The same tests run against
// the native build and, with ZT_WINDOWS_BUILD naming a Windows build folder,
// against that build under Wine; expectations are written once with the
// helpers below.
#ifndef ZT_TEST_SUPPORT_REBUILD_HARNESS_H_
#define ZT_TEST_SUPPORT_REBUILD_HARNESS_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"

// The arguments of one call of the archive tool.
using Call = std::vector<std::string>;

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
  std::vector<Call> calls;
  std::string log;
  std::string runStatuses;  // of the commands the tool ran, one a line
};

// Whether the tests run the Windows build under Wine.
bool onWindows();
// The Windows build's folder when they do.
std::string windowsBuild();

class RebuildTest : public ::testing::Test {
 protected:
  TempDir scratch;
  std::string root = scratch / "Game";

  void SetUp() override;

  // Puts the recording tool into `folder` under the name the build looks for.
  void installTool(const std::string& folder);
  void removeTool(const std::string& folder);
  // The tool's file name, as the build looks for it.
  std::string toolFile() const;
  // Puts the real stand-in archive tool into `folder` instead.
  void installArchiveTool(const std::string& folder);
  void stage(const std::string& relative, const std::string& content = "data");
  // Removes the recording tool's record of calls in `recordFolder` (the game
  // root by default), for the next run of a case to start a record of its own.
  void forgetCalls(const std::string& recordFolder = "");

  // Runs zt-rebuild from `cwd` with `arguments` (as the shell should see them)
  // and `environment` assignments. `recordFolder` holds the tool's record.
  RunResult rebuildWith(const std::string& arguments, const std::string& cwd,
                        const std::string& environment = "", const std::string& recordFolder = "");
  // Runs zt-rebuild on the game root, from the scratch folder.
  RunResult rebuild(const std::string& environment = "");

  // A command line, in the interpreter's own syntax, that runs zt-rebuild on
  // `gameRoot` (a host path) with its output in `name`.out and `name`.err:
  // for the tool to run in the middle of a run.
  std::string nestedRebuild(const std::string& gameRoot, const std::string& name) const;

  // A host path as the program is given it: Z:\... under Wine.
  std::string asGiven(const std::string& hostPath) const;
  // A path written with "/" in the platform's separator.
  std::string native(const std::string& path) const;
  // A path below the game root as the program builds it: `relative` is
  // written with "/" and comes out in the platform's separator.
  std::string underRoot(const std::string& relative) const;
  // Text as the program writes it to a console or file: "\r\n" on Windows.
  std::string text(const std::string& lines) const;

  // A name in the modification folder as the commands write it.
  std::string inModFolder(const std::string& name) const;
  // The tool's calls the run should make.
  Call add(const std::string& archive, const std::string& relativePath) const;
  Call optimize() const;

  // The progress line for one file.
  static std::string progress(int number, int total, const std::string& name);

  // How a run's console ends.
  enum class Ending {
    allDone,       // the optimize command's output, then "All done!"
    failed,        // the same without "All done!": the failure is told on stderr
    notOptimized,  // no main archive: nothing is run to optimize; then "All done!"
  };
  // The whole console of a run on `gameRoot` (as given) with these progress
  // lines.
  std::string console(const std::string& gameRoot, const std::string& progressLines,
                      Ending ending = Ending::allDone) const;
  std::string console(const std::string& progressLines, Ending ending = Ending::allDone) const {
    return console(asGiven(root), progressLines, ending);
  }

  // The log's first line, as the interpreter's echo writes it.
  std::string logStart() const;
  // What the recording tool prints for one call.
  std::string toolOutput(int arguments) const;
};

#endif  // ZT_TEST_SUPPORT_REBUILD_HARNESS_H_
