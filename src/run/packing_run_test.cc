// End-to-end tests of what a run packs, in which order, and what the console
// shows of it.
#include <algorithm>
#include <filesystem>

#include "test_support/rebuild_harness.h"

namespace {

namespace fs = std::filesystem;

// A file name that no command may take for anything but data, as the tool
// gets it and as the console shows it on each build. The Windows build hands
// the tool each name in the system's code page (1252 under Wine), and its
// console shows that; POSIX names are bytes.
struct HostileName {
  std::string staged;
  std::string packedOnWindows;  // "" where Windows cannot hold the name
  std::string shown = "";       // "" where the console is not checked
  std::string shownOnWindows = "";
};

// What the Windows build (through cmd.exe) and the POSIX build (through sh)
// do differently below, in one place.
class PackingRunTest : public RebuildTest {
 protected:
  // As the tool gets `name`: "" where this build cannot be given it.
  static std::string packedName(const HostileName& name) {
    return onWindows() ? name.packedOnWindows : name.staged;
  }
  static std::string shownName(const HostileName& name) {
    return onWindows() ? name.shownOnWindows : name.shown;
  }
  // A command, for the tool to run in the middle of a run, that saves an
  // empty file into the second staging folder.
  std::string saveIntoTempL(const std::string& name) const {
    return onWindows() ? "type nul > expansion\\zt\\tempL\\" + name
                       : ": > expansion/zt/tempL/" + name;
  }
};

TEST_F(PackingRunTest, PacksBothStagingFoldersAndOptimizesTheMainArchive) {
  stage("temp/b.dds");
  stage("temp/a.dds");
  stage("tempL/c.wav");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, console(progress(1, 3, "a.dds") + progress(2, 3, "b.dds") +
                             progress(3, 3, "c.wav")));
  std::vector<Call> expected = {
      add("zt.pff", "expansion/zt/temp/a.dds"),
      add("zt.pff", "expansion/zt/temp/b.dds"),
      add("ztL.pff", "expansion/zt/tempL/c.wav"),
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
  EXPECT_EQ(run.log, logStart() + toolOutput(3) + toolOutput(3) + toolOutput(3));
}

TEST_F(PackingRunTest, ProgressLineBlanksWhatALongerNameLeft) {
  const std::string longName = "a_texture_name_for_the_castle_wall.dds";
  stage("temp/" + longName);
  stage("tempL/b.ai");
  stage("tempL/c.ai");
  RunResult run = rebuild();
  // Nine spaces are too few after the long name; after a short one they do.
  EXPECT_EQ(run.out, console(progress(1, 3, longName) + progress(2, 3, "b.ai") +
                             std::string(longName.size() - 4 - 9, ' ') + progress(3, 3, "c.ai")));
}

TEST_F(PackingRunTest, EmptyOrMissingStagingFoldersAndNoDeleteListRunOnlyTheOptimize) {
  makeFolder(root + "/expansion/zt/temp");  // tempL and the delete list are missing
  writeFile(root + "/expansion/zt/zt.pff", "");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, console(""));
  EXPECT_EQ(run.calls, std::vector<Call>{optimize()});
  EXPECT_EQ(run.log, logStart());
}

// A modification with only a second archive has no main one to optimize:
// nothing is run for it, and that is no failure.
TEST_F(PackingRunTest, NoMainArchiveIsNothingToOptimize) {
  makeFolder(root + "/expansion/zt/temp");
  stage("tempL/c.wav");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, console(progress(1, 1, "c.wav"), Ending::notOptimized));
  EXPECT_EQ(run.calls, std::vector<Call>{add("ztL.pff", "expansion/zt/tempL/c.wav")});
}

TEST_F(PackingRunTest, PacksExactlyTheCountedFilesPastSubfoldersAndDotFiles) {
  // Listed in the order .a, .b, A.dds, B (a folder), c.dds, d.dds: an entry
  // that is not counted must not take a counted file's place.
  stage("temp/.a");
  stage("temp/.b");
  stage("temp/A.dds");
  stage("temp/B/inner.dds");
  stage("temp/c.dds");
  stage("temp/d.dds");
  stage("tempL/.c");
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, console(progress(1, 3, "A.dds") + progress(2, 3, "c.dds") +
                             progress(3, 3, "d.dds")));
  // Said once per folder, so that a file left in a subfolder is no surprise.
  const std::string why = " not packed (only the files directly in the folder are)\n";
  EXPECT_EQ(run.err, text("zt-rebuild: " + underRoot("expansion/zt/temp") +
                          ": 1 subfolder and 2 hidden files" + why + "zt-rebuild: " +
                          underRoot("expansion/zt/tempL") + ": 1 hidden file" + why));
  std::vector<Call> expected = {
      add("zt.pff", "expansion/zt/temp/A.dds"),
      add("zt.pff", "expansion/zt/temp/c.dds"),
      add("zt.pff", "expansion/zt/temp/d.dds"),
      optimize(),
  };
  EXPECT_EQ(run.calls, expected);
}

TEST_F(PackingRunTest, FilesArePackedInTheOrderAWindowsFileSystemListsThem) {
  // NTFS compares names in upper case: digits first, "_" after the letters.
  for (const char* name : {"zeta", "Beta", "alpha", "_under", "10.dds", "9.dds", "Alpha2"}) {
    stage(std::string("temp/") + name);
  }
  RunResult run = rebuild();
  std::vector<std::string> order;
  for (const Call& call : run.calls) {
    if (call.size() == 3) order.push_back(call[1].substr(underRoot("expansion/zt/temp/").size()));
  }
  std::vector<std::string> expected = {"10.dds", "9.dds", "alpha", "Alpha2",
                                       "Beta",   "zeta",  "_under"};
  EXPECT_EQ(order, expected);
}

TEST_F(PackingRunTest, AFileSavedDuringTheRunTakesNoCountedFilesPlace) {
  stage("temp/a.dds");
  stage("tempL/b.wav");
  RunResult run = rebuild("ZT_PACK_RUN_ON=a.dds ZT_PACK_RUN=" + shQuoted(saveIntoTempL("a.wav")));
  EXPECT_EQ(run.runStatuses, "0\n");
  std::vector<Call> expected = {add("zt.pff", "expansion/zt/temp/a.dds"),
                                add("ztL.pff", "expansion/zt/tempL/b.wav"), optimize()};
  EXPECT_EQ(run.calls, expected);
}

TEST_F(PackingRunTest, HostileFileNamesReachTheToolAsDataOnly) {
  const HostileName names[] = {
      {" lead space", " lead space"},
      {"$(touch pwned)", "$(touch pwned)"},
      {"`touch pwned2`", "`touch pwned2`"},
      // Output that is not a console gets the name's own bytes: 1252's under
      // Wine, as the tool is handed it.
      {"caf\xc3\xa9.dds", "caf\xe9.dds", "caf\xc3\xa9.dds", "caf\xe9.dds"},
      {"it's.dds", "it's.dds"},
      {"x; touch pwned3", "x; touch pwned3"},
      {"R&D %PATH% !x! ^ (1).dds", "R&D %PATH% !x! ^ (1).dds"},
      {"a\"quote", ""},  // not legal in a Windows name, nor is the next
      // The console shows control characters as <U+XXXX>: a name cannot drive
      // the terminal, nor split the command line a dry run shows.
      {"\x1b]0;title\x07\x1b[2Jclear.dds", "", "<U+001B>]0;title<U+0007><U+001B>[2Jclear.dds"},
      // An 8-bit terminal's control sequence introducer, a byte that is no
      // character: "?".
      {"csi\x9b" "2J.dds", "", "csi?2J.dds"},
      {"rlo\xe2\x80\xae" "sdd.exe", "", "rlo<U+202E>sdd.exe"},  // right-to-left override
      {"lri\xe2\x81\xa6" "x.dds", "", "lri<U+2066>x.dds"},      // left-to-right isolate
      // A C1 control, 0x9D in 1252.
      {"osc\xc2\x9d" "x.dds", "osc\x9d" "x.dds", "osc<U+009D>x.dds", "osc<U+009D>x.dds"},
      // DEL, told apart from a real "?" (refused on Windows: see below).
      {"del\x7f.dds", "", "del<U+007F>.dds"},
      // A letter in 1252.
      {"quote\xe2\x80\xba.dds", "quote\x9b.dds", "quote\xe2\x80\xba.dds", "quote\x9b.dds"},
      {"rub\x7fout.dds", ""},  // DEL, which cmd is not handed: masked, however it is shown
      // The controls' ends: 0x1F, stray bytes 0x80 and 0x9F, and U+009F.
      {"ends\x1f\x80\x9f\xc2\x9f.dds", "", "ends<U+001F>?" "?<U+009F>.dds"},
  };
  std::vector<std::string> expected;
  for (const HostileName& name : names) {
    if (packedName(name).empty()) continue;
    stage("temp/" + name.staged);
    expected.push_back(underRoot("expansion/zt/temp/" + packedName(name)));
  }
  RunResult run = rebuild();
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.calls.size(), expected.size() + 1);
  std::vector<std::string> packed;
  for (size_t i = 0; i < expected.size(); ++i) packed.push_back(run.calls[i][1]);
  std::sort(packed.begin(), packed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(packed, expected);
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.out.find('\x7f'), std::string::npos);
  RunResult dry = rebuildWith("--dry-run " + shQuoted(asGiven(root)), scratch.path());
  EXPECT_EQ(dry.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), expected.size() + 2);
  for (const HostileName& name : names) {
    if (packedName(name).empty() || shownName(name).empty()) continue;
    EXPECT_NE(run.out.find("(" + shownName(name) + ")"), std::string::npos)
        << shownName(name) << "\n" << run.out;
  }
  for (const char* witness : {"pwned", "pwned2", "pwned3"}) {
    EXPECT_FALSE(fs::exists(root + "/" + witness)) << witness;
    EXPECT_FALSE(fs::exists(scratch / witness)) << witness;
  }
}

// Every staged name, game root and delete-list word goes through the
// interpreter (Wine's own cmd.exe for the Windows build) and the C runtime's
// argument rules into the tool as itself, or is refused by the name the
// platform shows, counted as failed, with nothing run for it.
TEST_F(PackingRunTest, NamesAndRootsReachTheToolExactlyOrAreRefusedByName) {
  struct Name {
    std::string staged;
    std::string refusedOnWindowsAs = "";  // "" when it is packed there too
    std::string reason = "";
  };
  struct Case {
    std::string folder;  // the game root below the scratch folder, given with `argument`
    std::string argument;
    std::vector<Name> names;
    std::string deleteList = "";
    Call deletion = {};
  };
  const std::string fullwidth =
      "a\xef\xbc\x82 \xef\xbc\x86 mkdir pwned \xef\xbc\x86 \xef\xbc\x82.dds";
  const std::string quoted = "q\" & mkdir pwned & \".dds";  // Wine lists it, Windows would not
  const std::string longName = std::string(60, 'n') + ".dds";
  const Case cases[] = {
      {"Game", "Game",
       {{"%y.dds"}, {"%%x%%.dds"}, {"!x! ^a^ b  .dds"},
        {fullwidth, "a<U+FF02> <U+FF06> mkdir pwned <U+FF06> <U+FF02>.dds", "code page"},
        {"\xe6\x97\xa5\xe6\x9c\xac.dds", "<U+65E5><U+672C>.dds", "code page"},
        // Allowed in Windows names, but it would end cmd's line as the other
        // control characters would; shown as they are, not as "?".
        {"del\x7f.dds", "del<U+007F>.dds", "control character"},
        {quoted, quoted, "not allow"},
        // Windows would open b.dds for these, or a device: Wine lists them.
        {"b.dds.", "b.dds.", "ends in a dot"}, {"b.dds ", "b.dds ", "ends in a dot or a space"},
        {"con", "con", "device"}, {"Nul.dds", "Nul.dds", "device"},
        {"aux .tar.gz", "aux .tar.gz", "device"}, {"COM9.dds", "COM9.dds", "device"},
        {"lpt1", "lpt1", "device"}, {"conout$.txt", "conout$.txt", "device"},
        {"com10.dds"}, {"console.dds"}}},
      // Backslash runs before "%", a trailing separator (dropped), and "%"
      // beside quotes.
      {"a/%mods", native("a//%mods/"), {{"%y.dds"}},
       "zt.pff /del 100%\"off sale.dds\" \"a b\"%c %\n",
       {inModFolder("zt.pff"), "/del", "100%off sale.dds", "a b%c", "%"}},
      {"long/" + std::string(180, 'x'), native("long/" + std::string(180, 'x')),
       {{"short.dds"}, {longName, longName, "longer than"}}},
  };
  for (const Case& c : cases) {
    const std::string folder = scratch / c.folder;
    const std::string gameRoot = asGiven(scratch.path()) + native("/") + c.argument;
    makeFolder(folder);
    installTool(folder);
    for (const Name& name : c.names) writeFile(folder + "/expansion/zt/temp/" + name.staged, "");
    if (!c.deleteList.empty()) writeFile(folder + "/expansion/zt/deleteList.txt", c.deleteList);
    RunResult run = rebuildWith(shQuoted(gameRoot), scratch.path(), "", folder);
    const bool trailing = gameRoot.back() == native("/")[0];
    const std::string temp =
        gameRoot.substr(0, gameRoot.size() - trailing) + native("/expansion/zt/temp/");
    std::vector<Call> expected, packed;
    size_t refused = 0;
    for (const Name& name : c.names) {
      if (!onWindows() || name.refusedOnWindowsAs.empty()) {
        expected.push_back({inModFolder("zt.pff"), temp + name.staged, "/force"});
        continue;
      }
      ++refused;
      size_t at = run.err.find("zt-rebuild: " + temp + name.refusedOnWindowsAs + ": not packed: ");
      std::string line =
          at == std::string::npos ? "" : run.err.substr(at, run.err.find('\n', at) - at);
      EXPECT_NE(line.find(name.reason), std::string::npos) << name.staged << ": " << run.err;
    }
    for (const Call& call : run.calls) {
      if (call.size() == 3 && call[2] == "/force") packed.push_back(call);
      if (call.size() > 1 && call[1] == "/del") {
        EXPECT_EQ(call, c.deletion);
      }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(packed, expected) << c.argument;
    EXPECT_EQ(run.status, refused ? 1 : 0) << c.argument << ": " << run.err;
    EXPECT_EQ(static_cast<size_t>(std::count(run.err.begin(), run.err.end(), '\n')),
              refused ? refused + 1 : 0) << run.err;
    EXPECT_EQ(run.calls.size(), packed.size() + (c.deleteList.empty() ? 1 : 2)) << c.argument;
  }
  EXPECT_FALSE(fs::exists(root + "/pwned"));
  EXPECT_FALSE(fs::exists(scratch / "pwned"));
}

}  // namespace
