// End-to-end test of the console window at the end of a run: kept open until
// a key is pressed only when the program has a console of its own, as one
// started from Explorer has.
#include <sys/wait.h>

#include <cctype>
#include <cstdlib>

#include "test_support/rebuild_harness.h"

namespace {

// What the Windows build and the POSIX build do differently below, in one
// place.
class ConsoleWindowRunTest : public RebuildTest {
 protected:
  // A POSIX terminal never waits.
  bool waitsAlone() const { return onWindows(); }
  // zt-rebuild, as the shell starts it: under Wine for the Windows build.
  std::string program() const {
    return onWindows() ? "WINEDEBUG=-all WINEPREFIX=" + shQuoted(windowsBuild() + "/wine-prefix") +
                             " wine " + shQuoted(windowsBuild() + "/zt-rebuild.exe")
                       : shQuoted(ZT_REBUILD_PATH);
  }
  // zt-rebuild started from a prompt, which shares its console: cmd on
  // Windows; "" elsewhere.
  std::string fromAPrompt() const {
    if (!onWindows()) return "";
    return program().substr(0, program().rfind(" wine ")) + " wine cmd /c " +
           shQuoted(asGiven(windowsBuild() + "/zt-rebuild.exe"));
  }
};

// Explorer, simulated: `script` runs the program on a terminal of its own,
// which Wine makes a console with the program alone on it, as Explorer's
// is; keys reach it through that terminal. Started from a prompt (cmd), or
// with a stream redirected, it must end without waiting: the timeout would
// end a wait that no key ends; alone with no key pressed, it is still
// waiting when a shorter one ends it.
TEST_F(ConsoleWindowRunTest, OnlyAConsoleOfItsOwnIsKeptOpenUntilAKeyIsPressed) {
  // A minimal container, or a chroot without /dev/pts, can make no terminal.
  if (std::system("script -qec true /dev/null >/dev/null 2>&1 </dev/null") != 0) {
    GTEST_SKIP() << "no pseudo-terminal can be made here (script -qec true failed)";
  }
  const std::string redirected = scratch / "redirected";
  struct Case { std::string what, command, keys; bool waits; };
  std::vector<Case> cases = {
      {"alone", program() + " --version", "x", waitsAlone()},
      {"output redirected", program() + " --version >" + shQuoted(redirected), "", false},
      {"input redirected", program() + " --version </dev/null", "", false},
  };
  if (!fromAPrompt().empty()) {
    cases.push_back({"from a prompt", fromAPrompt() + " --version", "", false});
  }
  // Last: ending a wait by force may keep Wine busy a while.
  cases.push_back({"alone, no key", program() + " --version", "", waitsAlone()});
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

}  // namespace
