#include "test_support/rebuild_harness.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

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

}  // namespace

std::string windowsBuild() {
  const char* folder = std::getenv("ZT_WINDOWS_BUILD");
  return folder ? folder : "";
}

bool onWindows() { return !windowsBuild().empty(); }

void RebuildTest::SetUp() {
  makeFolder(root);
  installTool(root);
}

void RebuildTest::installTool(const std::string& folder) {
  std::string tool = onWindows() ? windowsBuild() + "/recording-pack.exe"
                                 : std::string(ZT_RECORDING_PACK_PATH);
  fs::copy_file(tool, folder + "/" + toolFile(), fs::copy_options::overwrite_existing);
}

void RebuildTest::installArchiveTool(const std::string& folder) {
  std::string tool = onWindows() ? windowsBuild() + "/pack.exe" : std::string(PACK_PATH);
  fs::copy_file(tool, folder + "/" + toolFile(), fs::copy_options::overwrite_existing);
}

void RebuildTest::removeTool(const std::string& folder) { fs::remove(folder + "/" + toolFile()); }

std::string RebuildTest::toolFile() const { return onWindows() ? "pack.exe" : "pack"; }

void RebuildTest::stage(const std::string& relative, const std::string& content) {
  writeFile(root + "/expansion/zt/" + relative, content);
}

void RebuildTest::forgetCalls(const std::string& recordFolder) {
  fs::remove((recordFolder.empty() ? root : recordFolder) + "/pack-calls.txt");
}

RunResult RebuildTest::rebuildWith(const std::string& arguments, const std::string& cwd,
                                   const std::string& environment,
                                   const std::string& recordFolder) {
  std::string out = scratch / "stdout", err = scratch / "stderr";
  // Wine keeps its state in a prefix of the build's own, and maps Unix file
  // names to the ANSI code page by the locale: pin both.
  std::string program =
      onWindows() ? "WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=" +
                        shQuoted(windowsBuild() + "/wine-prefix") + " wine " +
                        shQuoted(windowsBuild() + "/zt-rebuild.exe")
                  : shQuoted(ZT_REBUILD_PATH);
  // The arguments come last, so that a redirection among them wins.
  std::string command = "cd " + shQuoted(cwd) + " && " + environment + " " + program + " >" +
                        shQuoted(out) + " 2>" + shQuoted(err) + " " + arguments;
  int status = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(out);
  result.err = readFile(err);
  result.calls = readCalls((recordFolder.empty() ? root : recordFolder) + "/pack-calls.txt");
  // A pipe there would keep the reading waiting for a writer forever.
  result.log = fs::is_fifo(root + "/ztlog.txt") ? "" : readFile(root + "/ztlog.txt");
  result.runStatuses = readFile(root + "/pack-run-status.txt");
  return result;
}

std::string RebuildTest::nestedRebuild(const std::string& gameRoot,
                                       const std::string& name) const {
  // Its own tool calls must not start yet another run.
  if (!onWindows()) {
    return "ZT_PACK_RUN_ON= " + shQuoted(ZT_REBUILD_PATH) + " " + shQuoted(gameRoot) + " >" +
           name + ".out 2>" + name + ".err";
  }
  return "set \"ZT_PACK_RUN_ON=\" & \"" + asGiven(windowsBuild() + "/zt-rebuild.exe") + "\" \"" +
         asGiven(gameRoot) + "\" >" + name + ".out 2>" + name + ".err";
}

RunResult RebuildTest::rebuild(const std::string& environment) {
  return rebuildWith(shQuoted(asGiven(root)), scratch.path(), environment);
}

std::string RebuildTest::asGiven(const std::string& hostPath) const {
  if (!onWindows() || hostPath.empty() || hostPath[0] != '/') return hostPath;
  std::string path = "Z:" + hostPath;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string RebuildTest::native(const std::string& path) const {
  std::string converted = path;
  for (char& c : converted) c = (onWindows() && c == '/') ? '\\' : c;
  return converted;
}

std::string RebuildTest::underRoot(const std::string& relative) const {
  return native(asGiven(root) + "/" + relative);
}

std::string RebuildTest::text(const std::string& lines) const {
  if (!onWindows()) return lines;
  std::string converted;
  for (char c : lines) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return converted;
}

std::string RebuildTest::inModFolder(const std::string& name) const {
  return native("expansion/zt/") + name;
}

Call RebuildTest::add(const std::string& archive, const std::string& relativePath) const {
  return {inModFolder(archive), underRoot(relativePath), "/force"};
}

Call RebuildTest::optimize() const { return {inModFolder("zt.pff"), "/opt"}; }

std::string RebuildTest::progress(int number, int total, const std::string& name) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\rPacking file %4d of %4d (", number, total);
  return numbers + name + ")         ";
}

std::string RebuildTest::console(const std::string& gameRoot, const std::string& progressLines,
                                 Ending ending) const {
  std::string log = gameRoot + native("/ztlog.txt");
  return text("Logging to: " + log + "\n" + "Packing resource files, please wait...\n" +
              progressLines + "\n" + "Done packing resource files\n" +
              "Removing unused files (may take a minute or two)...done\n" + "\n" +
              "Optimizing pff...\n") +
         (ending == Ending::notOptimized ? "" : toolOutput(2)) +
         text(ending == Ending::failed ? "\n" : "\nAll done!\n");
}

std::string RebuildTest::logStart() const {
  // cmd's echo keeps the space before the redirection.
  return onWindows() ? "ZT Log Start \r\n" : "ZT Log Start\n";
}

std::string RebuildTest::toolOutput(int arguments) const {
  return text("pack called with " + std::to_string(arguments) + " arguments\n");
}
