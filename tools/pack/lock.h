// The lock that serializes the pack processes using one archive. It is held
// on ARCHIVE.lock, a file beside the archive that is never removed, so that
// it outlives /opt's replacing of the archive itself.
#ifndef ZT_PACK_LOCK_H_
#define ZT_PACK_LOCK_H_

#include <functional>
#include <string>

#include "file.h"

// Locks the archive at `path` (its links followed): shared to read it,
// exclusive to change it, until `lock` is closed. Calls `waiting` once when
// another process holds it, and gives up after lockWaitMilliseconds(). A
// reader that cannot create the lock file in a read-only folder reads
// without it.
bool lockArchive(const std::string& path, bool shared, const std::function<void()>& waiting,
                 FileHandle* lock, std::string* error);

// How long a process waits for the lock: kLockWaitMilliseconds in the tool,
// less when its test build is told so.
int lockWaitMilliseconds();
const int kLockWaitMilliseconds = 60 * 1000;

#endif  // ZT_PACK_LOCK_H_
