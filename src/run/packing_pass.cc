#include "run/packing_pass.h"

#include <cstdio>
#include <optional>

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
    const platform::DirEntry& entry = lister.current();
    const std::string path = job.folder + separator + entry.name;
    showProgress(job.firstNumber + packed, job.total, entry.name);
    std::optional<std::string> command;
    if (entry.refusal.empty()) command = addCommand(dialect, job.archive, path);
    if (command) {
      runCommand(*command, tally);
    } else {
      // A name the tool cannot be handed as itself is never run: another
      // spelling could pack another file, or end a quote.
      std::fprintf(stderr, "zt-rebuild: %s: not packed: %s\n", path.c_str(),
                   entry.refusal.empty() ? "its path holds a quote or a control character"
                                         : entry.refusal.c_str());
      countCommand(tally, false);
    }
    ++packed;
  }
}
