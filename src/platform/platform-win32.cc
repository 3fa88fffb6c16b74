// Windows implementation of the platform layer: the ANSI file calls and
// cmd.exe, reached through system(). The program's strings are 8-bit in the
// system's code page because the archive tool is an ANSI program: a name
// that does not fit that code page cannot reach it as itself (its C runtime
// would best-fit the command line, so a fullwidth quote would become a real
// one in its arguments). Names and arguments are therefore read with the
// wide calls and converted only when the conversion is exact; what cannot
// be converted is refused, never best-fit.
#include "platform/platform.h"

#include <direct.h>
#include <errno.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

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

// Pipes and devices have no place among a folder's files on Windows.
bool isSpecialFile(const std::string&) { return false; }

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

bool fileStamp(const std::string& path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  auto ticks = [](const FILETIME& time) {
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime);
  };
  stamp->size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->writeTime = ticks(data.ftLastWriteTime);
  stamp->changeTime = ticks(data.ftCreationTime);
  return true;
}

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

}  // namespace platform
