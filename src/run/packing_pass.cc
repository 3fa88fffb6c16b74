#include "run/packing_pass.h"

#include <cstdio>

#include "run/console.h"
#include "scan/count_files.h"

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
    const std::string& name = lister.currentName();
    if (!isCountedFile(lister.current()) || job.unchanged.count(name)) continue;
    if (!tally->dryRun) {
      showProgress(job.firstNumber + packed, job.total, name);
      // Flushed here, where a failure to write the console can be told.
      flushOut();
    }
    if (runCommand(addCommand(dialect, job.archive, job.folder + separator + name), tally)) {
      added.push_back(name);
    }
    ++packed;
  }
  return added;
}
