#include "run/change_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "test_support/temp_dir.h"

namespace {

using platform::FileStamp;

using Listing = std::vector<platform::DirEntry>;

// The stamp `record` holds for the staged file `name` in zt.pff.
FileStamp& recorded(ChangeRecord* record, const std::string& name) {
  for (auto& file : record->files["zt.pff"]) {
    if (file.first == name) return file.second;
  }
  return record->files["zt.pff"].emplace_back(name, FileStamp()).second;
}

// The entry of the staged file `name` in `listing`, staged now if it was not.
platform::DirEntry& staged(Listing* listing, const std::string& name) {
  for (platform::DirEntry& entry : *listing) {
    if (entry.name == name) return entry;
  }
  listing->push_back({name, false, "", FileStamp()});
  return listing->back();
}

// The rules by which a staged file counts as unchanged, on stamps made up
// here: what a file system shows is not needed to break them.
TEST(ChangePlanTest, AFileIsUnchangedOnlyWhenEveryPartOfItsStampAndItsSurroundingsHold) {
  const long long started = 1000;
  const FileStamp file{10, 500, 600, 1, 7};
  const FileStamp archive{99, 900, 900, 1, 8};
  const FileStamp deleteList{5, 400, 400, 1, 9};
  struct Case {
    const char* what;
    std::function<void(ChangeRecord*, FileStamp* archiveNow, std::optional<FileStamp>* listNow,
                       Listing* listing)>
        change;
    bool unchanged;
  };
  const std::vector<Case> cases = {
      {"nothing changed", [](auto...) {}, true},
      // Each part of the stamp on its own, the second time kept: on Windows
      // a save moves neither the creation time nor, on FAT, a change time.
      {"the size alone", [](auto, auto, auto, auto s) { staged(s, "a").stamp->size = 11; },
       false},
      {"the last-write time alone",
       [](auto, auto, auto, auto s) { staged(s, "a").stamp->writeTime = 501; },
       false},
      {"the second time alone",
       [](auto, auto, auto, auto s) { staged(s, "a").stamp->changeTime = 601; }, false},
      {"another file of the same size and times (a link switched)",
       [](auto, auto, auto, auto s) { staged(s, "a").stamp->index = 70; }, false},
      {"the same index on another volume",
       [](auto, auto, auto, auto s) { staged(s, "a").stamp->volume = 2; },
       false},
      // In the tick the run started, the file may have changed again unseen.
      {"written in the tick the run started",
       [&](auto r, auto, auto, auto s) {
         staged(s, "a").stamp->writeTime = started;
         recorded(r, "a").writeTime = started;
       },
       false},
      {"changed in the tick the run started, its last-write time set back",
       [&](auto r, auto, auto, auto s) {
         staged(s, "a").stamp->changeTime = started;
         recorded(r, "a").changeTime = started;
       },
       false},
      {"the archive changed", [](auto, auto a, auto, auto) { a->size = 98; }, false},
      {"the archive another file", [](auto, auto a, auto, auto) { a->index = 80; }, false},
      {"the delete list changed", [](auto, auto, auto l, auto) { (*l)->writeTime = 401; }, false},
      {"the delete list gone", [](auto, auto, auto l, auto) { l->reset(); }, false},
      {"the delete list written in the tick the run started",
       [&](auto r, auto, auto l, auto) {
         r->deleteList->changeTime = started;
         (*l)->changeTime = started;
       },
       false},
      {"a case twin staged", [&](auto, auto, auto, auto s) { staged(s, "A").stamp = file; }, false},
      // As a Windows listing can be: the twins not side by side.
      {"a case twin staged, listed out of order",
       [&](auto, auto, auto, auto s) {
         staged(s, "0.dds").stamp = file;
         staged(s, "A").stamp = file;
       },
       false},
      {"refused as it leads out of the modification folder",
       [](auto, auto, auto, auto s) { staged(s, "a").refusal = "it leads to /elsewhere"; }, false},
      // The record in another order than the listing, either way.
      {"recorded after a file no longer staged",
       [&](auto r, auto, auto, auto) {
         RecordedFiles& files = r->files["zt.pff"];
         files.insert(files.begin(), {"gone.dds", file});
       },
       true},
      {"listed after a file the record does not hold",
       [&](auto, auto, auto, auto s) { s->insert(s->begin(), {"0.dds", false, "", file}); },
       true},
      {"no stamp taken with the listing",
       [](auto, auto, auto, auto s) { staged(s, "a").stamp.reset(); }, false},
  };
  for (const Case& c : cases) {
    ChangeRecord record;
    record.startedAt = started;
    record.archives["zt.pff"] = archive;
    record.deleteList = deleteList;
    recorded(&record, "a") = file;
    FileStamp archiveNow = archive;
    std::optional<FileStamp> listNow = deleteList;
    Listing listing;
    staged(&listing, "a").stamp = file;
    c.change(&record, &archiveNow, &listNow, &listing);
    std::vector<bool> unchanged = unchangedFiles(record, "zt.pff", archiveNow, listNow, listing);
    ASSERT_EQ(unchanged.size(), listing.size()) << c.what;
    // Its twin, or a file the record does not hold, never.
    for (size_t i = 0; i < listing.size(); ++i) {
      EXPECT_EQ(unchanged[i], listing[i].name == "a" && c.unchanged)
          << c.what << ": " << listing[i].name;
    }
    std::vector<bool> other = unchangedFiles(record, "ztL.pff", archiveNow, listNow, listing);
    EXPECT_EQ(std::count(other.begin(), other.end(), true), 0) << c.what;
  }
}

}  // namespace
