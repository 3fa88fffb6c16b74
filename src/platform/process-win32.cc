// Windows implementation of running commands: cmd.exe, reached through
// system(), and a console control handler for Ctrl+C and Ctrl+Break.
#include "platform/process.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/win32_strings.h"

namespace platform {

Shell nativeShell() { return Shell::Cmd; }

namespace {

// The exit status of a run that Ctrl+C stopped.
const UINT kInterruptedStatus = 130;

// Whether a command runs (1), and whether Ctrl+C or Ctrl+Break came while
// it did (2): the run then ends once that command has, and no other starts.
volatile LONG commandState = 0;

// Called on a thread of its own. Outside a command the program ends at once,
// as by default; a command, which the console interrupts too, is waited for.
// Either way the exit status is 130, as a POSIX shell reports a Ctrl+C.
BOOL WINAPI noteInterruption(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (InterlockedCompareExchange(&commandState, 2, 1) == 0) ExitProcess(kInterruptedStatus);
  return TRUE;
}

// An environment variable's value, read wide: the narrow environment has
// been best-fit converted, and a folder with a name outside the code page
// would be looked for under another name.
std::wstring environmentValue(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  std::wstring value(size, L'\0');
  if (size == 0 || GetEnvironmentVariableW(name, &value[0], size) != size - 1) return L"";
  value.resize(size - 1);
  return value;
}

// cmd takes a quoted folder ("C:\Program Files\x") without its quotes, and
// a ";" between quotes as part of the folder's name.
std::vector<std::wstring> splitList(const std::wstring& list) {
  std::vector<std::wstring> items(1);
  bool quoted = false;
  for (wchar_t c : list) {
    if (c == L'"') {
      quoted = !quoted;
    } else if (c == L';' && !quoted) {
      if (!items.back().empty()) items.emplace_back();
    } else {
      items.back() += c;
    }
  }
  if (items.back().empty()) items.pop_back();
  return items;
}

// Whether `attributes`, as GetFileAttributes returned them, are a file's.
bool isFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int runCommandLine(const std::string& commandLine) {
  [[maybe_unused]] static const bool watching = SetConsoleCtrlHandler(noteInterruption, TRUE);
  InterlockedExchange(&commandState, 1);
  // A Ctrl+C in the moment before system() has started the interpreter
  // reaches the program alone: that command still runs, and is the last.
  int status = std::system(commandLine.c_str());
  if (InterlockedExchange(&commandState, 0) == 2) {
    std::fflush(stdout);
    ExitProcess(kInterruptedStatus);
  }
  return status;
}

bool isRunnableFile(const std::string& path) { return isFile(GetFileAttributesA(path.c_str())); }

bool findProgram(const std::string& name) {
  std::wstring wideName;
  if (!fromCodePage(name, &wideName)) return false;
  // The working directory first, then the search path.
  const std::vector<std::wstring> folders = splitList(L".;" + environmentValue(L"PATH"));
  std::wstring extensions = environmentValue(L"PATHEXT");
  if (extensions.empty()) extensions = L".COM;.EXE;.BAT;.CMD";
  // The name as it is first: "pack.exe" is found before pack.exe.bat.
  std::vector<std::wstring> endings = splitList(extensions);
  endings.insert(endings.begin(), L"");
  for (const std::wstring& folder : folders) {
    const bool ends = folder.back() == L'\\' || folder.back() == L'/';
    const std::wstring prefix = ends ? folder : folder + L"\\";
    for (const std::wstring& ending : endings) {
      if (isFile(GetFileAttributesW((prefix + wideName + ending).c_str()))) return true;
    }
  }
  return false;
}

}  // namespace platform
