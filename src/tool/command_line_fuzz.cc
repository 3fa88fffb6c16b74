// Fuzz target: bytes as the name of a staged file. In each dialect the name
// is refused, or the command that packs it, split back into words by the
// interpreters' model (command_line_model.h), hands the tool exactly its
// path; and printable() of the bytes can never steer a terminal.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "test_support/command_line_model.h"
#include "test_support/fuzz_oracles.h"
#include "tool/command_line.h"
#include "tool/console.h"

using platform::Shell;

namespace {

void expectPath(const Dialect& dialect, const std::string& path, const std::string& command,
                const ModelCommand& model, const char* reading) {
  const std::vector<std::string> meant = {
      dialect.tool, localPath(dialect, modFolderPiece() + "zt.pff"), path, "/force"};
  std::string what;
  if (!model.fault.empty()) {
    what = "the interpreter would not run it as meant: " + model.fault;
  } else if (model.appendsTo != "ztlog.txt") {
    what = "its output does not go to the log";
  } else if (model.words != meant) {
    what = "the tool is not handed the path as it is";
  }
  if (!what.empty()) {
    finding(what + " (" + reading + ")\n  command: " + escapedBytes(command), path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string shown = printable(name);
  const std::string steers = steersTerminal(shown);
  if (!steers.empty()) finding("printable() lets through " + steers, name);

  // No file system lists a name with a NUL in it.
  if (name.find('\0') != std::string::npos) return 0;
  const Dialect sh = dialectFor(Shell::Sh, true);
  const std::string shPath = "/home/modder/game/expansion/zt/temp/" + name;
  if (std::optional<std::string> command = addFileCommand(sh, "zt.pff", shPath)) {
    expectPath(sh, shPath, *command, modelShCommand(*command), "sh");
  }
  const Dialect cmd = dialectFor(Shell::Cmd, true);
  const std::string cmdPath = "C:\\Game\\expansion\\zt\\temp\\" + name;
  if (std::optional<std::string> command = addFileCommand(cmd, "zt.pff", cmdPath)) {
    expectPath(cmd, cmdPath, *command,
               modelCmdCommand(*command, RuntimeQuotes::DoubledQuoteStaysQuoted),
               "cmd, newer C runtimes");
    expectPath(cmd, cmdPath, *command, modelCmdCommand(*command, RuntimeQuotes::DoubledQuoteCloses),
               "cmd, older C runtimes");
  }
  return 0;
}
