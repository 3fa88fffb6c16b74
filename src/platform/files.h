// The file system as the program sees it: folder listings, what is at a
// path, file stamps, locks, new and replaced files, and the working directory.
// One implementation per platform (files-posix.cc, files-win32.cc).
#ifndef ZT_PLATFORM_FILES_H_
#define ZT_PLATFORM_FILES_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// What tells one state of a file from another: which file it is (device and
// inode, or volume serial and file index), its size, its last-write time, and
// a change time that whoever writes the file cannot set back (on FAT, which
// keeps none, the creation time). Times are in the platform's units
// (nanoseconds, or 100-nanosecond ticks), only as fine as the file system
// keeps them; a file whose times these cannot hold has no stamp.
struct FileStamp {
  unsigned long long size = 0;
  long long writeTime = 0;
  long long changeTime = 0;
  unsigned long long volume = 0;
  unsigned long long index = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && writeTime == other.writeTime && changeTime == other.changeTime &&
           volume == other.volume && index == other.index;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

struct DirEntry {
  std::string name;
  bool isFolder = false;
  // Why no program can open this entry by its path (Windows only: a name
  // outside the code page, a character or ending Windows drops or forbids, a
  // device's name, a path too long); empty when it can. A refused entry's
  // name shows each character it cannot write as <U+XXXX>.
  std::string refusal;
  // The stamp of a regular file (of what a link leads to); none otherwise.
  std::optional<FileStamp> stamp = std::nullopt;
};

enum class ListingStatus {
  Listed,      // the folder's entries were read
  Missing,     // nothing is there, or it is not a folder
  Unreadable,  // a folder is there but cannot be read; the error says why
};

// Reads the whole listing of `folder` at once, in the order a Windows file
// system gives it: "." and ".." first, then the rest. Read once, so that what
// is counted and what is packed are the same entries. Kinds and stamps come
// with the listing, a status query at most per entry, so that a listing of
// many files costs little more than reading it.
ListingStatus listFolder(const std::string& folder, std::vector<DirEntry>* entries,
                         std::string* error);

// What a path leads to. The null device (on Windows any character device)
// is NullDevice; a link that leads nowhere is BrokenLink; Unknown is a path
// that cannot be followed (the error says why).
enum class EntryKind { Nothing, BrokenLink, File, Folder, NullDevice, Pipe, Other, Unknown };

// What a path leads to, every link on the way followed as a command would.
struct Destination {
  EntryKind kind = EntryKind::Nothing;
  std::string path;                // absolute, as the file system names it
  unsigned long long names = 0;    // a file's names: more than 1 for a hard link
  std::optional<FileStamp> stamp;  // a regular file's, unless its times do not fit one
};

// The one question asked about a path: resolves (on Windows, opens) `path`
// and says what it leads to, with its stamp. On Windows the path is the
// final one of what was opened, so that a Unix link under Wine counts too.
// Kind Unknown, with the reason in `error` where one is given, when that
// cannot be told: a loop of links, a resolved path too long, no permission.
Destination whereItLeads(const std::string& path, std::string* error = nullptr);

// Whether a write could append to the file at `path`: it is opened to
// append (never through a link, never waiting on a pipe) and closed, nothing
// written. Where nothing is there and `create` is set, a file is made there
// and removed again. On failure the reason is in `error`.
bool canAppendTo(const std::string& path, bool create, std::string* error);

// Whether a folder is at `path` (links followed), asked by name alone: for
// what the user typed, where a folder whose final path cannot be had (which
// whereItLeads answers as Unknown) is still the folder meant.
bool isFolder(const std::string& path);

// Whether `path` is `folder` or lies below it, both as whereItLeads gives
// them; on Windows in any case, as its file systems compare names.
bool liesWithin(const std::string& path, const std::string& folder);

// The longest path that the file calls of the program and of the archive
// tool accept, in bytes; 0 where the system reports a path too long itself.
size_t longestPath();

// Sets `absolute` to `path` made absolute against the current directory; an
// absolute path comes back unchanged. False, with the reason in `error`, when
// the current directory cannot be read or (on Windows) the result is too long
// or does not fit the system's code page.
bool absolutePath(const std::string& path, std::string* absolute, std::string* error);

bool changeDirectory(const std::string& path, std::string* error);

// Sets the last-write time of the regular file at `path` (never through a
// link) to the present, and `now` to the file system's clock as the file then
// shows it: whatever is written there afterwards is stamped `now` or later.
bool touchFile(const std::string& path, long long* now, std::string* error);

// Creates the file `path` holding `content`: always a new file, never
// through a link or over anything that is there.
bool writeNewFile(const std::string& path, const std::string& content, std::string* error);

void pause(int milliseconds);

// Puts `from` in the place of `to` in one step, replacing what is there.
bool replaceFile(const std::string& from, const std::string& to, std::string* error);

// An exclusive lock on a file, held until the lock is destroyed or the
// process ends, however it ends.
struct FileLock;
struct FileLockReleaser {
  void operator()(FileLock* lock) const;
};
using HeldLock = std::unique_ptr<FileLock, FileLockReleaser>;

enum class LockStatus {
  Held,
  Busy,    // another process holds it
  Failed,  // the error says why, and what would give the rights a user lacks
};

// Opens `path`, creating it if it is not there, and takes an exclusive lock
// on it without waiting. No command the program runs inherits it.
LockStatus lockFile(const std::string& path, HeldLock* lock, std::string* error);

}  // namespace platform

#endif  // ZT_PLATFORM_FILES_H_
