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

void packFolder(DirectoryLister& lister, const PackingJob& job, const Dialect& dialect,
                CommandTally* tally) {
  const char separator = platform::separatorOf(dialect.shell);
  // The lister already stands on its first entry.
  for (int packed = 0; packed < job.files && !lister.atEnd(); lister.next()) {
    if (!isCountedFile(lister.current())) continue;
    const std::string& name = lister.currentName();
    showProgress(job.firstNumber + packed, job.total, name);
    // Flushed here, where a failure to write the console can be told.
    flushOut();
    runCommand(addCommand(dialect, job.archive, job.folder + separator + name), tally);
    ++packed;
  }
}
