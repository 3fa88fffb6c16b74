// The sample game root, rebuilt with the real stand-in archive tool: the
// archives end up holding exactly what the staged files and the delete list
// imply.
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

using Listing = std::map<std::string, uint64_t>;  // entry name to size

void addFolder(Listing* listing, const fs::path& folder) {
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name[0] != '.') (*listing)[name] = entry.file_size();
  }
}

class SampleGameTest : public RebuildTest {
 protected:
  // The archive tool is the same program on both platforms and its format
  // does not depend on the platform: the native one prepares and inspects.
  std::string nativePack(const std::string& arguments) {
    std::string out = scratch / "pack-out";
    int status =
        std::system((shQuoted(PACK_PATH) + " " + arguments + " >" + shQuoted(out)).c_str());
    EXPECT_EQ(status, 0) << arguments;
    return readFile(out);
  }

  Listing listArchive(const std::string& archive) {
    Listing listing;
    std::istringstream lines(nativePack(shQuoted(archive) + " /list"));
    std::string name;
    uint64_t size;
    while (lines >> name >> size) listing[name] = size;
    return listing;
  }
};

TEST_F(SampleGameTest, ArchivesHoldTheBaseContentChangedByStagingAndDeleteList) {
  const fs::path examples = ZT_EXAMPLES_DIR;
  fs::copy(examples / "game", root, fs::copy_options::recursive);
  removeTool(root);
  installArchiveTool(root);
  const std::string modFolder = root + "/expansion/zt/";
  for (const char* archive : {"zt", "ztL"}) {
    std::string files;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(examples / "base-content" / archive)) {
      files += " " + shQuoted(entry.path().string());
    }
    nativePack(shQuoted(modFolder + archive + ".pff") + files + " /force");
  }

  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0) << run.err;
  // The sample stages a draft in a subfolder and an editor's dot file.
  EXPECT_EQ(run.err, text("zt-rebuild: " + underRoot("expansion/zt/temp") +
                          ": 1 subfolder and 1 hidden file not packed (only the files directly "
                          "in the folder are)\n"));

  Listing main, second;
  addFolder(&main, examples / "base-content/zt");
  addFolder(&main, examples / "game/expansion/zt/temp");
  addFolder(&second, examples / "base-content/ztL");
  addFolder(&second, examples / "game/expansion/zt/tempL");
  ASSERT_EQ(main.erase("wall_wood.tga"), 1u);  // the delete list's two lines
  ASSERT_EQ(second.erase("old_theme.wav"), 1u);
  EXPECT_EQ(listArchive(modFolder + "zt.pff"), main);
  EXPECT_EQ(listArchive(modFolder + "ztL.pff"), second);
  nativePack(shQuoted(modFolder + "zt.pff") + " /verify");
  nativePack(shQuoted(modFolder + "ztL.pff") + " /verify");
  // Optimized: the main archive keeps no dead space, so no leftover bytes
  // beyond the two header slots, the live entries and their index.
  uint64_t live = 0;
  for (const auto& [name, size] : main) live += size + 2 + name.size() + 20;
  EXPECT_EQ(fs::file_size(modFolder + "zt.pff"), 8192 + 4 + live);
}

}  // namespace
