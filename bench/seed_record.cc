// Leaves in a Windows game root the record that a --changed run leaves once
// it has packed every file of the main staging folder, without running the
// tool once per file (under Wine about 85 ms a file): bench/windows's setup
// for a --changed run with nothing to do at thousands of files. The bench
// checks that the run then finds nothing to do.
// Usage: seed-record GAME_ROOT
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "run/record_file.h"
#include "tool/fixed_names.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed-record GAME_ROOT\n");
    return 2;
  }
  std::string error;
  platform::HeldLock lock;
  long long now = 0;
  if (!platform::changeDirectory(argv[1], &error) ||
      platform::lockFile(names::kLockFile, &lock, &error) != platform::LockStatus::Held ||
      !platform::touchFile(names::kLockFile, &now, &error)) {
    std::fprintf(stderr, "seed-record: %s\n", error.c_str());
    return 1;
  }
  const std::string modFolder = std::string(names::kModFolder) + "\\";
  ChangeRecord record;
  record.startedAt = now;
  record.failed = 0;
  const std::optional<platform::FileStamp> archive =
      platform::whereItLeads(modFolder + names::kMainArchive).stamp;
  if (!archive) {
    std::fprintf(stderr, "seed-record: no %s\n", names::kMainArchive);
    return 1;
  }
  record.archives[names::kMainArchive] = *archive;
  std::vector<platform::DirEntry> entries;
  if (platform::listFolder(modFolder + names::kMainStaging, &entries, &error) !=
      platform::ListingStatus::Listed) {
    std::fprintf(stderr, "seed-record: %s\n", error.c_str());
    return 1;
  }
  RecordedFiles& files = record.files[names::kMainArchive];
  for (const platform::DirEntry& entry : entries) {
    if (entry.stamp && entry.refusal.empty()) files.emplace_back(entry.name, *entry.stamp);
  }
  if (!writeChangeRecord(names::kRecordFile, record, &error)) {
    std::fprintf(stderr, "seed-record: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu\n", files.size());
  return 0;
}
