// Fuzz target: bytes as a delete list, decoded as a run decodes it, each line
// judged in both dialects. For every line a run would replay (the rules let
// it through, and it names zt.pff or ztL.pff), the command built for it is
// split back into words by the interpreters' model (command_line_model.h),
// never by the program's own reading, and must hand the tool the archive in
// the modification folder, only removals, entry names that name no place,
// and the very words the rules judged.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text.h"
#include "run/delete_list_text.h"
#include "test_support/command_line_model.h"
#include "test_support/fuzz_oracles.h"
#include "tool/command_line.h"
#include "tool/delete_line_rules.h"

using platform::Shell;

namespace {

struct Judged {
  const Dialect& dialect;
  const std::string& line;
  const std::string& command;

  [[noreturn]] void fail(const std::string& what, const std::string& reading) const {
    finding(what + " (" + reading + ")\n  command: " + escapedBytes(command), line);
  }
};

bool isArchiveName(const Dialect& dialect, const std::string& word) {
  // Windows finds a file whatever the case of its name; POSIX does not.
  const bool anyCase = dialect.shell == Shell::Cmd;
  for (const char* archive : {"zt.pff", "ztL.pff"}) {
    if (anyCase ? platform::lowerAscii(word) == platform::lowerAscii(archive) : word == archive) {
      return true;
    }
  }
  return false;
}

// A tab between quotes is part of a word, as in a file's name: it steers
// nothing.
bool holdsControl(const std::string& word) {
  return std::any_of(word.begin(), word.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
  });
}

// ".." and what Windows reads as "..": it drops the dots and spaces that
// end a name.
bool namesParent(const std::string& word) {
  return std::count(word.begin(), word.end(), '.') >= 2 &&
         word.find_first_not_of(". ") == std::string::npos;
}

bool namesPlace(const std::string& word) {
  const bool drive =
      word.size() >= 2 && word[1] == ':' && std::isalpha(static_cast<unsigned char>(word[0]));
  return word.find_first_of("/\\") != std::string::npos || drive || namesParent(word) ||
         holdsControl(word);
}

const char* const kSwitches[] = {"/del", "/force", "/opt", "/list", "/verify", "/extract"};

bool isSwitch(const std::string& word) {
  return std::any_of(std::begin(kSwitches), std::end(kSwitches),
                     [&](const char* known) { return platform::lowerAscii(word) == known; });
}

// `model`, the interpreter's reading of the command, against the rules:
// `judged` are the words the rules were tried on (the archive's with the
// modification folder before it, as the tool is handed it).
void expectSafe(const Judged& judged, const ModelCommand& model,
                const std::vector<std::string>& words, const std::string& reading) {
  if (!model.fault.empty())
    judged.fail("the interpreter would not run it as meant: " + model.fault, reading);
  if (model.appendsTo != "ztlog.txt") judged.fail("its output does not go to the log", reading);
  if (model.words.empty() || model.words[0] != judged.dialect.tool) {
    judged.fail("it does not run the tool", reading);
  }
  const std::vector<std::string> handed(model.words.begin() + 1, model.words.end());
  if (handed != words) judged.fail("the tool is not handed the words the rules judged", reading);
  const std::string folder = localPath(judged.dialect, modFolderPiece());
  if (handed.empty() || handed[0].compare(0, folder.size(), folder) != 0) {
    judged.fail("the archive is not in the modification folder", reading);
  }
  const std::string archive = handed[0].substr(folder.size());
  if (!isArchiveName(judged.dialect, archive) || namesPlace(archive)) {
    judged.fail("the archive is not zt.pff or ztL.pff: " + escapedBytes(archive), reading);
  }
  bool removes = false, otherSwitch = false, entries = false;
  for (size_t i = 1; i < handed.size(); ++i) {
    const std::string& word = handed[i];
    if (isSwitch(word)) {
      (platform::lowerAscii(word) == "/del" ? removes : otherSwitch) = true;
      continue;
    }
    entries = true;
    if (namesPlace(word)) judged.fail("an entry names a place: " + escapedBytes(word), reading);
  }
  // A line of switches alone names nothing and is run ("ztL.pff /opt").
  if (entries && (!removes || otherSwitch)) judged.fail("it does more than remove", reading);
}

void judgeLine(const Dialect& dialect, const std::string& line) {
  const std::optional<std::string> command = deleteListCommand(dialect, line);
  // The run refuses a line whose archive is not in the folder, which holds
  // these two.
  if (!command || !isArchiveName(dialect, archiveWords(dialect, line)[0])) return;
  const Judged judged{dialect, line, *command};
  if (dialect.shell == Shell::Sh) {
    std::vector<std::string> words = splitWords(line);
    words[0] = localPath(dialect, modFolderPiece()) + words[0];
    expectSafe(judged, modelShCommand(*command), words, "sh");
    return;
  }
  const std::string joined = modFolderAndLine(line);
  expectSafe(judged, modelCmdCommand(*command, RuntimeQuotes::DoubledQuoteStaysQuoted),
             runtimeWords(joined, DoubledQuote::StaysQuoted), "cmd, newer C runtimes");
  expectSafe(judged, modelCmdCommand(*command, RuntimeQuotes::DoubledQuoteCloses),
             runtimeWords(joined, DoubledQuote::EndsQuotes), "cmd, older C runtimes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  for (Shell shell : {Shell::Sh, Shell::Cmd}) {
    const Dialect dialect = dialectFor(shell, true);
    std::FILE* list = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!list) return 0;
    DeleteListText text(list, maxCommandLength(dialect) + 1);
    ListLine line;
    while (text.nextLine(&line)) {
      const bool blank = line.text.find_first_not_of(" \t") == std::string::npos;
      if (!line.tooLong && line.error.empty() && !blank) judgeLine(dialect, line.text);
    }
    std::fclose(list);
  }
  return 0;
}
