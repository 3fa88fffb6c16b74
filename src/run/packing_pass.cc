#include "run/packing_pass.h"

#include <cstdio>
#include <optional>

#include "scan/count_files.h"
#include "scan/leads_outside.h"
#include "tool/console.h"

namespace {

void showProgress(int number, int total, const std::string& name) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "Packing file %4d of %4d (", number, total);
  // Nine spaces blank out what a longer name left behind; a name much
  // shorter than the one before gets as many as it takes.
  overwriteLine(numbers + printable(name) + ")", 9);
}

std::string counted(int count, const std::string& what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Why the file at `path`, or the folder's archive, may not be handed to the
// tool now, as it is at this moment; empty when they may.
std::string refusedNow(const StagingFolder& folder, const std::string& modFolder,
                       const std::string& path) {
  if (auto file = refusalAtUse(modFolder, path, UsedAs::StagedFile)) return "it " + *file;
  if (auto archive = refusalAtUse(modFolder, folder.archivePath, UsedAs::Archive)) {
    return folder.archive + " " + *archive;
  }
  return "";
}

}  // namespace

void notePassedOver(const DirectoryLister& lister) {
  int folders = 0, hidden = 0;
  for (const platform::DirEntry& entry : lister.entries()) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.isFolder) {
      ++folders;
    } else if (!isCountedFile(entry)) {
      ++hidden;
    }
  }
  if (folders == 0 && hidden == 0) return;
  std::string what = folders ? counted(folders, "subfolder") : "";
  if (hidden) what += (folders ? " and " : "") + counted(hidden, "hidden file");
  writeError(printable(lister.folder()) + ": " + what +
             " not packed (only the files directly in the folder are)");
}

void packFolder(StagingFolder* folder, int total, const std::string& modFolder,
                const Dialect& dialect, CommandTally* tally) {
  const char separator = platform::separatorOf(dialect.shell);
  DirectoryLister& lister = folder->lister;
  // The lister already stands on its first entry.
  for (int packed = 0; packed < folder->files && !lister.atEnd(); lister.next()) {
    const platform::DirEntry& entry = lister.current();
    const std::string& name = entry.name;
    if (!isCountedFile(entry) || folder->unchanged[lister.position()]) continue;
    if (!tally->dryRun) showProgress(folder->firstNumber + packed, total, name);
    const std::string path = lister.folder() + separator + name;
    std::string refusal = entry.refusal;
    if (refusal.empty()) refusal = refusedNow(*folder, modFolder, path);
    std::optional<std::string> command;
    if (refusal.empty()) command = addFileCommand(dialect, folder->archive, path, &refusal);
    if (!command) {
      // A name the tool cannot be given exactly is never run: another
      // spelling could pack another file, or end a quote.
      failStep(printable(path + ": not packed: " + refusal), tally);
    } else if (runCommand(*command, tally, printable(path) + ": not packed")) {
      folder->added.push_back(name);
    }
    ++packed;
  }
}
