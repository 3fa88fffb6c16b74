#include "run/preflight.h"

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace {

using platform::Shell;

// "C:\My Game\" as typed at a prompt reaches the program with a quote where
// the backslash was; a POSIX name may end in a quote.
TEST(PreflightTest, TheGameRootIsReadAndShownAsTyped) {
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

// Only a zt folder in an expansion folder is the modification folder, and
// the top of the file system keeps its separator when named as the root.
TEST(PreflightTest, OnlyAModificationFolderNamesTheGameRootAboveIt) {
  TempDir dir;
  const std::string other = dir / "games/zt";
  for (const auto& [folder, said] : {std::pair{std::string("/expansion/zt"), "probably /\n"},
                                     {other, " is not a game root: "}}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(readyToRun(folder));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(said), std::string::npos) << err;
  }
}

}  // namespace
