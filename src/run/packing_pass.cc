#include "run/packing_pass.h"

#include <cstdio>
#include <optional>

#include "scan/count_files.h"
#include "tool/console.h"

namespace {

void showProgress(int number, int total, const std::string& name) {
  writeOut("\r");
  flushOut();
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "Packing file %4d of %4d (", number, total);
  // Nine spaces blank out what a longer name left behind.
  writeOut(numbers + printable(name) + ")         ");
}

}  // namespace

std::vector<std::string> packFolder(DirectoryLister& lister, const PackingJob& job,
                                    const Dialect& dialect, CommandTally* tally) {
  const char separator = platform::separatorOf(dialect.shell);
  std::vector<std::string> added;
  // The lister already stands on its first entry.
  for (int packed = 0; packed < job.files && !lister.atEnd(); lister.next()) {
    const platform::DirEntry& entry = lister.current();
    const std::string& name = entry.name;
    if (!isCountedFile(entry) || job.unchanged.count(name)) continue;
    if (!tally->dryRun) showProgress(job.firstNumber + packed, job.total, name);
    const std::string path = job.folder + separator + name;
    std::string refusal = entry.refusal;
    std::optional<std::string> command;
    if (refusal.empty()) command = addCommand(dialect, job.archive, path, &refusal);
    if (!command) {
      // A name the tool cannot be handed as itself is never run: another
      // spelling could pack another file, or end a quote.
      std::fprintf(stderr, "zt-rebuild: %s: not packed: %s\n", printable(path).c_str(),
                   refusal.c_str());
      countCommand(tally, false);
    } else if (runCommand(*command, tally)) {
      added.push_back(name);
    }
    ++packed;
  }
  return added;
}
