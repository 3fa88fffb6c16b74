// The sample game root, rebuilt with the real stand-in archive tool: the
// archives end up holding exactly what the staged files and the delete list
// imply. And that tool's own build on each platform, where it writes files.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

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

  // Runs this platform's build of the tool in the scratch folder; its exit
  // status, and what it wrote on stderr in `err`.
  int platformPack(const std::string& arguments, std::string* err = nullptr) {
    const std::string program =
        onWindows() ? "env WINEDEBUG=-all WINEPREFIX=" + shQuoted(windowsBuild() + "/wine-prefix") +
                          " wine " + shQuoted(windowsBuild() + "/pack.exe")
                    : shQuoted(PACK_PATH);
    int status = std::system(("cd " + shQuoted(scratch.path()) + " && timeout 60 " + program +
                              " " + arguments + " >/dev/null 2>" + shQuoted(scratch / "pack-err"))
                                 .c_str());
    if (err) *err = readFile(scratch / "pack-err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

// The tool writes an entry onto a file or a new name only: a folder, a pipe
// (standing in for /dev/null) or a device is left as it was. A command on an
// archive that is not there leaves no lock file.
TEST_F(SampleGameTest, TheToolExtractsOntoFilesOnlyAndLocksOnlyArchivesThatAreThere) {
  writeFile(scratch / "a.dds", "a");
  ASSERT_EQ(platformPack("x.pff a.dds /force"), 0);
  makeFolder(scratch / "folder");
  ASSERT_EQ(mkfifo((scratch / "pipe").c_str(), 0644), 0);
  std::vector<std::string> destinations = {"folder", "pipe"};
  if (onWindows()) destinations.push_back("NUL");
  for (const std::string& destination : destinations) {
    std::string err;
    EXPECT_EQ(platformPack("x.pff /extract a.dds " + destination, &err), 1) << destination;
    EXPECT_NE(err.find("will not write over " + destination + ": it is a "), std::string::npos)
        << err;
  }
  EXPECT_TRUE(fs::is_directory(scratch / "folder"));
  EXPECT_TRUE(fs::is_fifo(scratch / "pipe"));
  EXPECT_EQ(platformPack("x.pff /extract a.dds new.dds"), 0);
  EXPECT_EQ(readFile(scratch / "new.dds"), "a");
  EXPECT_EQ(platformPack("y.pff /del a"), 1);
  EXPECT_FALSE(fs::exists(scratch / "y.pff.lock"));
}

}  // namespace
