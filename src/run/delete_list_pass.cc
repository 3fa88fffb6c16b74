#include "run/delete_list_pass.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "run/delete_list_text.h"
#include "scan/leads_outside.h"
#include "tool/console.h"
#include "tool/delete_line_rules.h"
#include "tool/fixed_names.h"
#include "tool/nearest_name.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

bool isBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// Why the archive that `line` names is not worked on: it is not in the
// modification folder `modFolder` (separator included), where on POSIX a
// name in another case is another file. It is named with the archive there
// that it most likely meant, unless it names one of the two. A dry run has
// made no archive yet, so the two it could make count as there. Empty when
// it is there.
std::string missingArchive(const std::string& modFolder, const Dialect& dialect,
                           const std::string& line, bool dryRun) {
  const std::string archive = archiveWords(dialect, line)[0];
  if (platform::whereItLeads(modFolder + archive).kind != platform::EntryKind::Nothing) return "";
  const std::string archives[] = {names::kMainArchive, names::kSecondArchive};
  if (dryRun && (archive == archives[0] || archive == archives[1])) return "";
  std::string message = printable(archive) + " is not in " + localPath(dialect, names::kModFolder);
  std::vector<platform::DirEntry> entries;
  std::string error;
  platform::listFolder(modFolder.substr(0, modFolder.size() - 1), &entries, &error);
  std::vector<std::string> spellings;
  for (const platform::DirEntry& entry : entries) {
    const bool isArchive = platform::compareAnyCase(entry.name, archives[0]) == 0 ||
                           platform::compareAnyCase(entry.name, archives[1]) == 0;
    if (isArchive && !entry.isFolder) spellings.push_back(entry.name);
  }
  // An archive named right has no likelier meaning: it is just not made yet.
  const std::string meant = nearestName(archive, spellings, std::string::npos);
  if (!meant.empty() && !sameName(dialect.shell, archive, archives[0]) &&
      !sameName(dialect.shell, archive, archives[1])) {
    message += "; did you mean " + printable(meant) + "?";
  }
  return message;
}

// Why an archive that `line` names may not be handed to the tool now, as
// it is just before its command runs: the archive, then why, masked. Empty
// when each may.
std::string archiveRefusal(const std::string& resolvedModFolder, const std::string& modFolder,
                           const Dialect& dialect, const std::string& line) {
  for (const std::string& archive : archiveWords(dialect, line)) {
    if (auto why = refusalAtUse(resolvedModFolder, modFolder + archive, UsedAs::Archive)) {
      return printable(archive + " " + *why);
    }
  }
  return "";
}

}  // namespace

void replayDeleteList(const std::string& listPath, const Dialect& dialect,
                      const std::string& resolvedModFolder, CommandTally* tally,
                      std::set<std::string>* archives) {
  // Checked as it is now, just before it is read: a pipe would keep the run
  // waiting, a link could lead to a file of the user's own.
  if (!usableNow(resolvedModFolder, listPath, UsedAs::DeleteList, "not read", tally)) return;
  errno = 0;
  OpenFile list(std::fopen(listPath.c_str(), "rb"));
  if (!list) {
    // No list is nothing to replay; one that is there but cannot be read
    // (permission denied, a link loop) leaves its deletions undone.
    if (errno == ENOENT || errno == ENOTDIR) return;
    failStep(printable(listPath) +
                 ": cannot read the delete list: " + std::strerror(errno != 0 ? errno : EIO),
             tally);
    return;
  }
  // A line longer than a whole command is refused whatever it holds; one
  // more byte than that tells it apart, and a carriage return may follow.
  DeleteListText text(list.get(), maxCommandLength(dialect) + 1);
  if (!text.refusal().empty()) {
    failStep(printable(listPath) + ": not read: " + text.refusal(), tally);
    return;
  }
  const std::string modFolder =
      listPath.substr(0, listPath.size() - std::strlen(names::kDeleteList));
  ListLine line;
  for (int number = 1; text.nextLine(&line); ++number) {
    const std::string where = printable(listPath) + ":" + std::to_string(number);
    // Before the blank test: what was not kept of a long line may hold words.
    std::string refusal = line.tooLong ? tooLongRefusal(dialect) : line.error;
    if (refusal.empty() && isBlank(line.text)) continue;
    std::optional<std::string> command;
    if (refusal.empty()) command = deleteListCommand(dialect, line.text, &refusal);
    if (command) refusal = missingArchive(modFolder, dialect, line.text, tally->dryRun);
    if (command && refusal.empty()) {
      refusal = archiveRefusal(resolvedModFolder, modFolder, dialect, line.text);
    }
    if (!refusal.empty()) {
      failStep(where + ": not run: " + refusal, tally);
      continue;
    }
    for (const std::string& archive : archiveWords(dialect, line.text)) archives->insert(archive);
    runCommand(*command, tally, where);
  }
  if (!text.readError().empty()) {
    failStep(printable(listPath) + ": cannot read the delete list to its end: " + text.readError(),
             tally);
  }
}
