// Windows implementation of the file system calls: the ANSI file calls, with
// folders listed by the wide ones so that a name that does not fit the
// system's code page is refused rather than best-fit (see text-win32.cc).
#include "platform/files.h"

#include <direct.h>
#include <errno.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "platform/text.h"
#include "platform/win32_strings.h"

namespace platform {

namespace {

// MAX_PATH counts the terminating NUL.
const size_t kLongestPath = MAX_PATH - 1;

using OwnedHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

// What the open calls return, owned: none when they failed.
OwnedHandle owned(HANDLE handle) {
  return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle, &CloseHandle);
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OwnedHandle openHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
  return owned(CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr));
}

// A file's stamp, with the times that `times` (a folder's listing of it, or
// its FILE_BASIC_INFO) holds. FAT keeps no change time: the creation time at
// least tells files apart.
template <typename Times>
FileStamp stampOf(const Times& times, unsigned long long size, DWORD volume,
                  unsigned long long index) {
  const long long changed = times.ChangeTime.QuadPart;
  return {size, times.LastWriteTime.QuadPart, changed != 0 ? changed : times.CreationTime.QuadPart,
          volume, index};
}

// The stamp of the open regular file `file`, which `info` describes; none
// when a time of it is out of range.
std::optional<FileStamp> stampOfOpen(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info) {
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) return std::nullopt;
  const FileStamp stamp = stampOf(
      times, (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
      info.dwVolumeSerialNumber,
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
  // A time with its top bit set is no time Windows can show, though a file
  // system may hold one: as a count it would wrap to before every other.
  if (stamp.writeTime < 0 || stamp.changeTime < 0) return std::nullopt;
  return stamp;
}

Destination cannotTell(const std::string& why, std::string* error) {
  if (error) *error = why;
  return {EntryKind::Unknown, "", 0, std::nullopt};
}

// The final path of the open `handle`, as the file system names what it
// leads to: under Wine, where a Unix link is followed, too.
bool finalPathOf(HANDLE handle, std::string* resolved, std::string* error) {
  // The length it asks for, when the buffer is too short, counts the NUL.
  std::wstring name;
  DWORD length = MAX_PATH;
  do {
    name.resize(length);
    length =
        GetFinalPathNameByHandleW(handle, &name[0], length, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  } while (length >= name.size());
  if (length == 0) return failed(error);
  name.resize(length);
  // The call names it \\?\C:\... or \\?\UNC\server\...: as a path is written.
  if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    name.replace(0, 8, L"\\\\");
  } else if (name.compare(0, 4, L"\\\\?\\") == 0) {
    name.erase(0, 4);
  }
  if (!toCodePage(name.data(), static_cast<int>(name.size()), resolved)) {
    *error = "where it leads is not a path of the system's code page: " + shown(name);
    return false;
  }
  return true;
}

// Asks for the next entries of `folder` into `buffer`. Windows 8 and later
// give 128-bit file ids (some file systems need them); where the `first`
// call is refused that class, `extended` is cleared and the 64-bit one is
// asked for instead. False at the end of the listing, or on an error, which
// GetLastError tells.
bool readEntries(HANDLE folder, bool first, bool* extended,
                 std::vector<unsigned long long>* buffer) {
  const DWORD size = static_cast<DWORD>(buffer->size() * sizeof(unsigned long long));
  if (*extended) {
    if (GetFileInformationByHandleEx(folder, FileIdExtdDirectoryInfo, buffer->data(), size)) {
      return true;
    }
    const DWORD code = GetLastError();
    if (!first || (code != ERROR_INVALID_PARAMETER && code != ERROR_NOT_SUPPORTED)) return false;
    *extended = false;
  }
  return GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, buffer->data(), size);
}

// A 128-bit file id as the 64-bit index of a stamp: where its upper half is
// empty (NTFS), the very number GetFileInformationByHandle gives.
unsigned long long indexOf(const FILE_ID_128& id) {
  unsigned long long halves[2];
  std::memcpy(halves, id.Identifier, sizeof halves);
  return halves[0] ^ halves[1];
}

unsigned long long indexOf(const LARGE_INTEGER& id) {
  return static_cast<unsigned long long>(id.QuadPart);
}

// What the listing keeps of the entry `name`, found in the folder `prefix`
// (which ends in a backslash) with `attributes` and the stamp `listed`.
// Nothing is opened but a reparse point, whose kind is that of the entry
// itself and whose stamp is that of what it leads to. (NTFS keeps a folder's
// copy of a file's times and size up to date through the name it was
// written by: a file with a second hard link, written through that one, may
// show its old stamp here until it is next opened.)
DirEntry entryOf(const std::string& prefix, const std::wstring& name, DWORD attributes,
                 const FileStamp& listed) {
  DirEntry entry;
  entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A refused entry stays in the listing: it is staged, and is counted.
  // Characters that Windows never allows in a name: Wine lists Unix names
  // that hold them; no path built on such a name opens that entry.
  if (std::any_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || std::wcschr(L"\"*/:<>?\\|", c) != nullptr;
      })) {
    entry.refusal = "its name has characters that Windows does not allow in names";
  } else if (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
    // Opened, the name would lose them: another file, or none.
    entry.refusal = "its name ends in a dot or a space, which Windows drops when it opens it";
  } else if (isDeviceName(std::u32string(name.begin(), name.end()))) {
    entry.refusal = "its name is a device's, which Windows opens in place of a file";
  } else if (!toCodePage(name.data(), static_cast<int>(name.size()), &entry.name)) {
    entry.refusal = "its name has characters outside the system's code page";
  } else if (prefix.size() + entry.name.size() > kLongestPath) {
    entry.refusal = "the path is longer than the " + std::to_string(kLongestPath) +
                    " characters that Windows file calls accept";
  }
  if (!entry.refusal.empty()) entry.name = shown(name);
  if (entry.isFolder || !entry.refusal.empty()) return entry;
  entry.stamp =
      attributes & FILE_ATTRIBUTE_REPARSE_POINT ? whereItLeads(prefix + entry.name).stamp : listed;
  return entry;
}

// Adds to `entries` each entry but "." and ".." in the `buffer` that
// readEntries filled with `Info`s.
template <typename Info>
void addEntries(const std::vector<unsigned long long>& buffer, const std::string& prefix,
                DWORD volume, std::vector<DirEntry>* entries) {
  for (const char* at = reinterpret_cast<const char*>(buffer.data());;) {
    const Info& info = *reinterpret_cast<const Info*>(at);
    const std::wstring name(info.FileName, info.FileNameLength / sizeof(WCHAR));
    // A drive root has no "." and ".." of its own: they stand first in every listing.
    if (name != L"." && name != L"..") {
      const FileStamp listed =
          stampOf(info, static_cast<unsigned long long>(info.EndOfFile.QuadPart), volume,
                  indexOf(info.FileId));
      entries->push_back(entryOf(prefix, name, info.FileAttributes, listed));
    }
    if (info.NextEntryOffset == 0) return;
    at += info.NextEntryOffset;
  }
}

}  // namespace

ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error) {
  entries->clear();
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
  // The folder as given: "file\" names nothing, where the listing should
  // find that no folder is there. A drive ("C:") is listed from its root,
  // and no name at all is the current folder, as "*" listed them.
  const std::string target = folder.empty() ? "." : folder.back() == ':' ? prefix : folder;
  std::wstring path;
  if (!fromCodePage(target, &path)) {
    *error = "the path is not valid in the system's code page";
    return ListingStatus::Unreadable;
  }
  // Backup semantics open a folder; a link to one is followed.
  OwnedHandle handle = owned(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // Every file the folder lists lies on the folder's volume; a reparse
  // point, which may lead off it, is stamped on its own.
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !GetFileInformationByHandle(handle.get(), &info)) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY) {
      return ListingStatus::Missing;
    }
    *error = describeError(code);
    return ListingStatus::Unreadable;
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ListingStatus::Missing;
  entries->insert(entries->end(), {{".", true, ""}, {"..", true, ""}});
  // Many entries a call; 8-byte aligned, as the entries' times must be.
  std::vector<unsigned long long> buffer(64 * 1024 / sizeof(unsigned long long));
  bool extended = true;
  bool listedAny = false;
  while (readEntries(handle.get(), !listedAny, &extended, &buffer)) {
    listedAny = true;
    const auto add =
        extended ? addEntries<FILE_ID_EXTD_DIR_INFO> : addEntries<FILE_ID_BOTH_DIR_INFO>;
    add(buffer, prefix, info.dwVolumeSerialNumber, entries);
  }
  const DWORD code = GetLastError();
  if (listedAny && code == ERROR_NO_MORE_FILES) return ListingStatus::Listed;
  entries->clear();
  // An empty drive root lists nothing, not even "." and "..": nothing is staged.
  if (!listedAny && (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES)) {
    return ListingStatus::Missing;
  }
  *error = describeError(code);
  return ListingStatus::Unreadable;
}

size_t longestPath() { return kLongestPath; }

bool absolutePath(const std::string& path, std::string* absolute, std::string* error) {
  bool drivePath = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  bool uncPath = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  // An empty path names nothing, not the current directory: entering it fails.
  if (path.empty() || drivePath || uncPath) {
    *absolute = path;
    return true;
  }
  // Wide: the ANSI call best-fits the current directory, so that in a folder
  // named evil<U+FF3C>..<U+FF3C>Mod (fullwidth backslashes) it would lead
  // to the folder Mod beside it.
  std::wstring widePath, result;
  if (!fromCodePage(path, &widePath)) {
    *error = "the path is not valid in the system's code page";
    return false;
  }
  // The buffer is sized from the call's own answer, asked again should the
  // current directory have grown in between.
  DWORD length = MAX_PATH;
  do {
    result.resize(length);
    length = GetFullPathNameW(widePath.c_str(), length, &result[0], nullptr);
  } while (length >= result.size());
  if (length == 0) return failed(error);
  result.resize(length);
  if (!toCodePage(result.data(), static_cast<int>(result.size()), absolute)) {
    *error = "its full path " + shown(result) +
             " has characters outside the system's code page; it cannot be used as itself";
    return false;
  }
  return true;
}

bool changeDirectory(const std::string& path, std::string* error) {
  if (_chdir(path.c_str()) == 0) return true;
  *error = strerror(errno);
  return false;
}

Destination whereItLeads(const std::string& path, std::string* error) {
  Destination where;
  // No access asked: opening a pipe so neither waits nor takes its data.
  // Backup semantics open a folder too.
  OwnedHandle handle = openHandle(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!handle) {
    const DWORD code = GetLastError();
    // A name with a wildcard in it names nothing that could be there.
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND &&
        code != ERROR_INVALID_NAME) {
      return cannotTell(describeError(code), error);
    }
    // Nothing to follow; a link there that leads nowhere is something all the same.
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      where.kind = EntryKind::BrokenLink;
    }
    return where;
  }
  const DWORD type = GetFileType(handle.get());
  if (type != FILE_TYPE_DISK) {
    where.kind = type == FILE_TYPE_CHAR   ? EntryKind::NullDevice
                 : type == FILE_TYPE_PIPE ? EntryKind::Pipe
                                          : EntryKind::Other;
    return where;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info)) {
    return cannotTell(describeError(GetLastError()), error);
  }
  std::string why;
  if (!finalPathOf(handle.get(), &where.path, &why)) return cannotTell(why, error);
  where.names = info.nNumberOfLinks;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    where.kind = EntryKind::Folder;
  } else {
    where.kind = EntryKind::File;
    where.stamp = stampOfOpen(handle.get(), info);
  }
  return where;
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool liesWithin(const std::string& path, const std::string& folder) {
  std::wstring inner, outer;
  if (!fromCodePage(path, &inner) || !fromCodePage(folder, &outer) || inner.size() < outer.size() ||
      CompareStringOrdinal(inner.data(), static_cast<int>(outer.size()), outer.data(),
                           static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  // A drive's root ends in its separator; no other resolved path does.
  return inner.size() == outer.size() || inner[outer.size()] == L'\\' ||
         (!outer.empty() && outer.back() == L'\\');
}

bool touchFile(const std::string& path, long long* now, std::string* error) {
  // The link itself, should one be there: it is refused below.
  OwnedHandle file = openHandle(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT);
  FILE_BASIC_INFO basic;
  if (!file || !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    return failed(error);
  }
  if (basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    *error = "not a regular file";
    return false;
  }
  FILETIME present;
  GetSystemTimeAsFileTime(&present);
  if (!SetFileTime(file.get(), nullptr, nullptr, &present)) return failed(error);
  if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    *error = "its times cannot be read back";
    return false;
  }
  // The last-write time as the file system rounded it, or its change time
  // where that came later (none on FAT); never the creation time stamps fall
  // back on.
  *now = std::max(basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart);
  return true;
}

bool canAppendTo(const std::string& path, bool create, std::string* error) {
  OwnedHandle file =
      openHandle(path, FILE_APPEND_DATA, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
  if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) {
    if (!create) return true;
    file = openHandle(path, FILE_APPEND_DATA | DELETE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  }
  return file || failed(error);
}

bool writeNewFile(const std::string& path, const std::string& content, std::string* error) {
  // CREATE_NEW fails on anything there, a link included.
  OwnedHandle file = openHandle(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                          nullptr)) {
    return failed(error);
  }
  if (written != content.size()) {
    *error = "the file system took only part of it";
    return false;
  }
  return CloseHandle(file.release()) || failed(error);
}

void pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) || failed(error);
}

struct FileLock {
  OwnedHandle file;
};

void FileLockReleaser::operator()(FileLock* lock) const { delete lock; }

LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error) {
  // Not inheritable (no security attributes), so no command keeps it. A
  // link is opened as itself, never followed; and a new file is made only
  // where nothing is, which under Wine keeps a Unix link that leads nowhere
  // from being followed to make its target.
  const DWORD access = GENERIC_READ | GENERIC_WRITE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  OwnedHandle file = openHandle(path, access, OPEN_EXISTING, flags);
  if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = openHandle(path, access, CREATE_NEW, flags);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info)) {
    const DWORD code = GetLastError();
    *error = describeError(code);
    if (code == ERROR_ACCESS_DENIED) {
      *error +=
          ": Windows lets only an administrator write in a folder such as Program Files: "
          "run the command prompt as administrator, or install the game elsewhere";
    }
    return LockStatus::Failed;
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "it is a link or a folder, not a file: remove it (a run makes a new one)";
    return LockStatus::Failed;
  }
  // The system releases the lock when the process ends, killed included.
  OVERLAPPED whole = {};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &whole)) {
    DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_SHARING_VIOLATION) return LockStatus::Busy;
    *error = describeError(code);
    return LockStatus::Failed;
  }
  lock->reset(new FileLock{std::move(file)});
  return LockStatus::Held;
}

}  // namespace platform
