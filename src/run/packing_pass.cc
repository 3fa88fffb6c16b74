#include "run/packing_pass.h"

#include <cstdio>

#include "scan/count_files.h"

namespace {

void showProgress(int number, int total, const std::string& name) {
  std::fputs("\r", stdout);
  std::fflush(stdout);
  std::printf("Packing file %4d of %4d (", number, total);
  std::fwrite(name.data(), 1, name.size(), stdout);
  // Nine spaces blank out what a longer name left behind.
  std::fputs(")         ", stdout);
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
    runCommand(addCommand(dialect, job.archive, job.folder + separator + name), tally);
    ++packed;
  }
}
