#include "run/preflight.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "test_support/temp_dir.h"

namespace {

// Only a zt folder in an expansion folder is the modification folder, and
// the top of the file system keeps its separator when named as the root.
TEST(PreflightTest, OnlyAModificationFolderNamesTheGameRootAboveIt) {
  TempDir dir;
  const std::string other = dir / "games/zt";
  for (const auto& [folder, said] : {std::pair{std::string("/expansion/zt"), "probably /\n"},
                                     {other, " is not a game root: "}}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(isGameRoot(folder));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(said), std::string::npos) << err;
  }
}

}  // namespace
