// Windows implementation of the platform layer: the ANSI file calls and
// cmd.exe, reached through system(). The program's strings are 8-bit in the
// system's code page because the archive tool is an ANSI program: a name
// that does not fit that code page cannot reach it as itself (its C runtime
// would best-fit the command line, so a fullwidth quote would become a real
// one in its arguments). Names and arguments are therefore read with the
// wide calls and converted only when the conversion is exact; what cannot
// be converted is refused, never best-fit.
#include "platform/platform.h"

#include <conio.h>
#include <direct.h>
#include <errno.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace platform {

Shell nativeShell() { return Shell::Cmd; }

namespace {

// The system's description of `code`, taken where a call failed.
std::string describeError(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// The exit status of a run that Ctrl+C stopped.
const UINT kInterruptedStatus = 130;

// MAX_PATH counts the terminating NUL.
const size_t kLongestPath = MAX_PATH - 1;

std::string tooLong() {
  return "the path is longer than the " + std::to_string(kLongestPath) +
         " characters that Windows file calls accept";
}

// `wide` in the system's code page, only when the conversion is exact: the
// result converted back gives the very same characters. The round trip
// catches a best fit and the default character alike, on every code page
// (UTF-8 included, where WC_NO_BEST_FIT_CHARS cannot be asked for).
bool toCodePage(const wchar_t* wide, int length, std::string* narrow) {
  narrow->clear();
  if (length == 0) return true;
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  narrow->resize(size);
  WideCharToMultiByte(CP_ACP, flags, wide, length, &(*narrow)[0], size, nullptr, nullptr);
  int back = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow->data(), size, nullptr, 0);
  std::wstring roundTrip(back > 0 ? back : 0, L'\0');
  if (back <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow->data(), size,
                                       &roundTrip[0], back) != back ||
      roundTrip.compare(0, std::wstring::npos, wide, length) != 0) {
    narrow->clear();
    return false;
  }
  return true;
}

bool fromCodePage(const std::string& narrow, std::wstring* wide) {
  wide->clear();
  if (narrow.empty()) return true;
  const int length = static_cast<int>(narrow.size());
  int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), length, nullptr, 0);
  if (size <= 0) return false;
  wide->resize(size);
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), length, &(*wide)[0],
                             size) == size;
}

// A name as messages show it: in the code page where it fits, each other
// character (and each control character) as <U+XXXX>. The program writes
// all its text in the code page, to a console or to a file alike; this form
// survives both and still tells the user which file is meant.
std::string shown(const std::wstring& wide) {
  std::string text;
  for (size_t i = 0; i < wide.size();) {
    int units = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() &&
                           IS_LOW_SURROGATE(wide[i + 1])
                       ? 2
                       : 1;
    std::string character;
    if (wide[i] < 0x20 || wide[i] == 0x7f || !toCodePage(&wide[i], units, &character)) {
      unsigned long point = units == 2 ? 0x10000 + ((wide[i] - 0xd800UL) << 10) +
                                             (wide[i + 1] - 0xdc00UL)
                                       : wide[i];
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04lX>", point);
      character = code;
    }
    text += character;
    i += units;
  }
  return text;
}

// Characters that Windows never allows in a name. Wine lists Unix names
// that hold them; no path built on such a name opens that entry.
bool hasForbiddenCharacter(const std::wstring& name) {
  for (wchar_t c : name) {
    if (c < 0x20 || std::wcschr(L"\"*/:<>?\\|", c)) return true;
  }
  return false;
}

// One ending in a dot or a space opens the name without them: another
// file, or none.
bool endsInDotOrSpace(const std::wstring& name) {
  return name != L"." && name != L".." && !name.empty() &&
         (name.back() == L'.' || name.back() == L' ');
}

// A find handle that closes itself.
struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

// Memory that LocalFree releases.
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

}  // namespace

size_t decodeCharacter(const std::string& text, size_t at, char32_t* character) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *character = lead;
    return 1;
  }
  static const UINT codePage = GetACP();
  size_t length = 1;
  if (codePage == CP_UTF8) {
    length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
           : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
  } else if (IsDBCSLeadByteEx(codePage, lead)) {
    length = 2;
  }
  if (length == 0 || at + length > text.size()) return 0;
  wchar_t wide[2];
  int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data() + at,
                                  static_cast<int>(length), wide, 2);
  if (units == 1) {
    *character = wide[0];
  } else if (units == 2 && IS_HIGH_SURROGATE(wide[0]) && IS_LOW_SURROGATE(wide[1])) {
    *character = 0x10000 + ((wide[0] - 0xd800U) << 10) + (wide[1] - 0xdc00U);
  } else {
    return 0;
  }
  return length;
}

bool commandLineArguments(int argc, char** argv, std::vector<std::string>* arguments,
                          std::string* error) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreer> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) {
    *error = describeError(GetLastError());
    return false;
  }
  // The program's own path is only shown, never used: argv[0] stays as it is.
  arguments->assign(argv, argv + (argc > 0 ? 1 : 0));
  for (int i = 1; i < count; ++i) {
    const wchar_t* argument = wide.get()[i];
    std::string narrow;
    if (!toCodePage(argument, static_cast<int>(std::wcslen(argument)), &narrow)) {
      *error = "the argument " + shown(argument) +
               " has characters outside the system's code page; it cannot be used as itself";
      return false;
    }
    arguments->push_back(std::move(narrow));
  }
  return true;
}

ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error) {
  entries->clear();
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
  std::wstring pattern;
  if (!fromCodePage(prefix + '*', &pattern)) {
    *error = "the path is not valid in the system's code page";
    return ListingStatus::Unreadable;
  }
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(pattern.c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    DWORD code = GetLastError();
    // Nothing there, a file, or an empty drive root (which lists nothing, not
    // even "." and ".."): in each case nothing is staged.
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
        code == ERROR_DIRECTORY) {
      return ListingStatus::Missing;
    }
    *error = describeError(code);
    return ListingStatus::Unreadable;
  }
  entries->push_back(DirEntry{".", true, ""});
  entries->push_back(DirEntry{"..", true, ""});
  do {
    DirEntry entry;
    const std::wstring name = data.cFileName;
    entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A refused entry stays in the listing: it is staged, and is counted.
    if (hasForbiddenCharacter(name)) {
      entry.refusal = "its name has characters that Windows does not allow in names";
    } else if (endsInDotOrSpace(name)) {
      entry.refusal = "its name ends in a dot or a space, which Windows drops when it opens it";
    } else if (isDeviceName(std::u32string(name.begin(), name.end()))) {
      entry.refusal = "its name is a device's, which Windows opens in place of a file";
    } else if (!toCodePage(name.data(), static_cast<int>(name.size()), &entry.name)) {
      entry.refusal = "its name has characters outside the system's code page";
    } else if (prefix.size() + entry.name.size() > kLongestPath) {
      entry.refusal = tooLong();
    }
    if (!entry.refusal.empty()) entry.name = shown(name);
    // A drive root has no "." and ".." of its own: they stand first in every listing.
    if (entry.name != "." && entry.name != "..") entries->push_back(std::move(entry));
  } while (FindNextFileW(find.get(), &data));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) {
    *error = describeError(code);
    entries->clear();
    return ListingStatus::Unreadable;
  }
  return ListingStatus::Listed;
}

bool fromUtf8(const std::string& utf8, std::string* text, std::string* error) {
  text->clear();
  if (utf8.empty()) return true;
  const int length = static_cast<int>(utf8.size());
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size <= 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length,
                                       &wide[0], size) != size) {
    *error = "it is not valid UTF-8";
    return false;
  }
  if (toCodePage(wide.data(), size, text)) return true;
  // Name the characters that do not fit, each once, as shown() writes them.
  std::string missing;
  for (size_t i = 0; i < wide.size();) {
    const int units = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() ? 2 : 1;
    std::string character;
    if (!toCodePage(&wide[i], units, &character)) {
      const std::string code = shown(wide.substr(i, units));
      if (missing.find(code) == std::string::npos) missing += code;
    }
    i += units;
  }
  *error = "it holds " + missing + ", which the system's code page cannot hold";
  return false;
}

// Pipes and devices have no place among a folder's files on Windows.
bool isSpecialFile(const std::string&) { return false; }
bool isPipe(const std::string&) { return false; }

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isRunnableFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

size_t longestPath() { return kLongestPath; }

bool absolutePath(const std::string& path, std::string* absolute, std::string* error) {
  bool drivePath = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  bool uncPath = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  std::string result = path;
  // An empty path names nothing, not the current directory: entering it fails.
  if (!path.empty() && !drivePath && !uncPath) {
    // The buffer is sized from the call's own answer, asked again should the
    // current directory have grown in between.
    DWORD length = MAX_PATH;
    do {
      result.resize(length);
      length = GetFullPathNameA(path.c_str(), length, &result[0], nullptr);
    } while (length >= result.size());
    if (length == 0) {
      DWORD code = GetLastError();
      *error = code == ERROR_FILENAME_EXCED_RANGE ? tooLong() : describeError(code);
      return false;
    }
    result.resize(length);
  }
  *absolute = result;
  return true;
}

bool changeDirectory(const std::string& path, std::string* error) {
  if (_chdir(path.c_str()) == 0) return true;
  *error = strerror(errno);
  return false;
}

namespace {

long long ticksOf(const FILETIME& time) {
  return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime);
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

OwnedHandle openHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
  HANDLE handle = CreateFileA(path.c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              disposition, flags, nullptr);
  return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The stamp of an open file; false when it is not a regular file on disk.
bool stampOfHandle(HANDLE file, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  stamp->size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp->writeTime = ticksOf(info.ftLastWriteTime);
  stamp->volume = info.dwVolumeSerialNumber;
  stamp->index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  // FAT keeps no change time: the creation time at least tells files apart.
  FILE_BASIC_INFO basic;
  const bool changed = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
                       basic.ChangeTime.QuadPart != 0;
  stamp->changeTime = changed ? basic.ChangeTime.QuadPart : ticksOf(info.ftCreationTime);
  return true;
}

}  // namespace

bool fileStamp(const std::string& path, FileStamp* stamp) {
  // Opening a folder without backup semantics fails: only files get stamps.
  OwnedHandle file = openHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, 0);
  return file && stampOfHandle(file.get(), stamp);
}

bool touchFile(const std::string& path, long long* now, std::string* error) {
  // The link itself, should one be there: it is refused below.
  OwnedHandle file = openHandle(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file) {
    *error = describeError(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) {
    *error = describeError(GetLastError());
    return false;
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    *error = "not a regular file";
    return false;
  }
  FILETIME present;
  GetSystemTimeAsFileTime(&present);
  FileStamp stamp;
  if (!SetFileTime(file.get(), nullptr, nullptr, &present)) {
    *error = describeError(GetLastError());
    return false;
  }
  if (!stampOfHandle(file.get(), &stamp)) {
    *error = "its times cannot be read back";
    return false;
  }
  // The last-write time as the file system rounded it, or its change time
  // where that came later; never the creation time stamps fall back on.
  FILE_BASIC_INFO basic;
  long long changed = 0;
  if (GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    changed = basic.ChangeTime.QuadPart;
  }
  *now = std::max(stamp.writeTime, changed);
  return true;
}

bool writeNewFile(const std::string& path, const std::string& content, std::string* error) {
  // CREATE_NEW fails on anything there, a link included.
  OwnedHandle file = openHandle(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  if (!file) {
    *error = describeError(GetLastError());
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                 nullptr)) {
    *error = describeError(GetLastError());
    return false;
  }
  if (written != content.size()) {
    *error = "the file system took only part of it";
    return false;
  }
  if (!CloseHandle(file.release())) {
    *error = describeError(GetLastError());
    return false;
  }
  return true;
}

void pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = describeError(GetLastError());
  return false;
}

struct FileLock {
  HANDLE file;
};

void FileLockReleaser::operator()(FileLock* lock) const {
  CloseHandle(lock->file);
  delete lock;
}

LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error) {
  // Not inheritable (no security attributes), so no command keeps it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = describeError(GetLastError());
    return LockStatus::Failed;
  }
  HeldLock held(new FileLock{file});
  // The system releases the lock when the process ends, killed included.
  OVERLAPPED whole = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
    DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_SHARING_VIOLATION) return LockStatus::Busy;
    *error = describeError(code);
    return LockStatus::Failed;
  }
  *lock = std::move(held);
  return LockStatus::Held;
}

// A Windows console program's C runtime fails the writes to a missing stream.
bool guardStandardStreams() { return true; }

std::wstring consoleText(const std::string& text) {
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  std::wstring wide;
  const int length = static_cast<int>(lines.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, lines.data(), length, nullptr, 0);
  if (size <= 0) return wide;
  wide.resize(size);
  MultiByteToWideChar(CP_ACP, 0, lines.data(), length, &wide[0], size);
  return wide;
}

// A console shows bytes in its own (OEM) code page, not in the system's one
// that names are in: it is handed the characters instead.
bool writeToConsole(Stream stream, const std::string& text, bool* written) {
  HANDLE console = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode;
  if (console == INVALID_HANDLE_VALUE || !console || !GetConsoleMode(console, &mode)) return false;
  const std::wstring wide = consoleText(text);
  *written = true;
  DWORD done = 0;
  for (size_t at = 0; at < wide.size(); at += done) {
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(wide.size() - at), &done,
                       nullptr) || done == 0) {
      *written = false;
      break;
    }
  }
  return true;
}

namespace {

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

}  // namespace

int runCommandLine(const std::string& commandLine) {
  static const bool watching = SetConsoleCtrlHandler(noteInterruption, TRUE) != 0;
  (void)watching;
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

namespace {

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

}  // namespace

bool isFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool findProgram(const std::string& name) {
  std::wstring wideName;
  if (!fromCodePage(name, &wideName)) return false;
  std::vector<std::wstring> folders = {L"."};
  for (const std::wstring& folder : splitList(environmentValue(L"PATH"))) {
    folders.push_back(folder);
  }
  std::wstring extensions = environmentValue(L"PATHEXT");
  if (extensions.empty()) extensions = L".COM;.EXE;.BAT;.CMD";
  // The name as it is first: "pack.exe" runs as itself before pack.exe.bat.
  std::vector<std::wstring> endings = {L""};
  for (const std::wstring& ending : splitList(extensions)) endings.push_back(ending);
  for (const std::wstring& folder : folders) {
    const bool ends = folder.back() == L'\\' || folder.back() == L'/';
    const std::wstring prefix = ends ? folder : folder + L"\\";
    for (const std::wstring& ending : endings) {
      DWORD attributes = GetFileAttributesW((prefix + wideName + ending).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return true;
      }
    }
  }
  return false;
}

ConsoleUse consoleUse() {
  ConsoleUse use;
  DWORD ids[2];
  // The count of all processes attached, however many the array can take.
  use.processes = static_cast<int>(GetConsoleProcessList(ids, 2));
  DWORD mode;
  use.inputIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  use.outputIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  return use;
}

void waitForKey() { _getch(); }

}  // namespace platform
