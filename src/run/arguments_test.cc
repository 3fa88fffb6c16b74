#include "run/arguments.h"

#include <gtest/gtest.h>

namespace {

using platform::Shell;

// "C:\My Game\" as typed at a prompt reaches the program with a quote where
// the backslash was; a POSIX name may end in a quote.
TEST(ArgumentsTest, TheGameRootIsReadAndShownAsTyped) {
  EXPECT_EQ(gameRootAsTyped(Shell::Cmd, "C:\\Games\\My Game\""), "C:\\Games\\My Game\\");
  EXPECT_EQ(gameRootAsTyped(Shell::Cmd, "C:\\Games\\Game"), "C:\\Games\\Game");
  EXPECT_EQ(gameRootAsTyped(Shell::Cmd, ""), "");
  // "C:\Games\My Game\" /changed x: what follows the quote was typed after it.
  std::vector<std::string> after;
  EXPECT_EQ(gameRootAsTyped(Shell::Cmd, "C:\\Games\\My Game\" /changed x", &after),
            "C:\\Games\\My Game\\");
  EXPECT_EQ(after, std::vector<std::string>({"/changed", "x"}));
  EXPECT_EQ(gameRootAsTyped(Shell::Sh, "/g/My Game\""), "/g/My Game\"");

  EXPECT_EQ(typedForm(Shell::Cmd, "C:\\Games\\My Game"), "\"C:\\Games\\My Game\"");
  EXPECT_EQ(typedForm(Shell::Cmd, "C:\\Games\\Game"), "C:\\Games\\Game");
  EXPECT_EQ(typedForm(Shell::Sh, "/g/My Game"), "'/g/My Game'");
  EXPECT_EQ(typedForm(Shell::Sh, "/g/it's"), "'/g/it'\\''s'");
  EXPECT_EQ(typedForm(Shell::Sh, "/g/Game-1.0_x"), "/g/Game-1.0_x");
}

// An unknown option is named with the one it was probably meant for, written
// the same way, in one line.
TEST(ArgumentsTest, AnUnknownOptionIsNamedWithTheNearestOne) {
  const auto problem = [](Shell shell, const std::string& option) {
    return readArguments(shell, {"zt-rebuild", option, "Game"}).problem;
  };
  EXPECT_EQ(problem(Shell::Sh, "--chnaged"), "unknown option --chnaged (did you mean --changed?); "
                                             "see --help");
  EXPECT_EQ(problem(Shell::Sh, "--dry"), "unknown option --dry (did you mean --dry-run?); "
                                         "see --help");
  EXPECT_EQ(problem(Shell::Sh, "-version"), "unknown option -version (did you mean --version?); "
                                            "see --help");
  EXPECT_EQ(problem(Shell::Sh, "--fast"), "unknown option --fast; see --help");
  EXPECT_EQ(problem(Shell::Sh, "---"), "unknown option ---; see --help");
  EXPECT_EQ(problem(Shell::Cmd, "/DRYRUN"), "unknown option /DRYRUN (did you mean /dry-run?); "
                                            "see /?");
  EXPECT_EQ(problem(Shell::Sh, "--he"), "unknown option --he (did you mean --help?); see --help");
  EXPECT_EQ(problem(Shell::Sh, "--x"), "unknown option --x; see --help");
}

}  // namespace
