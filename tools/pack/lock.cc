#include "lock.h"

#include <chrono>
#include <cstdio>
#include <thread>

bool lockArchive(const std::string& path, bool shared, const std::function<void()>& waiting,
                 FileHandle* lock, std::string* error) {
  const std::string lockPath = path + ".lock";
  bool readOnly = false;
  std::string problem;
  lock->reset(openLockFile(lockPath, &readOnly, &problem));
  if (!*lock) {
    // Nobody can be changing an archive in a folder where no lock file can
    // be made, unless the lock file is there already.
    if (shared && readOnly) return true;
    *error = "cannot open " + lockPath + ": " + problem;
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::milliseconds(lockWaitMilliseconds());
  int pause = 1;
  for (bool told = false;; told = true) {
    LockResult result = tryLock(lock->get(), shared, &problem);
    if (result == LockResult::Locked) return true;
    if (result == LockResult::Failed) {
      *error = "cannot lock " + lockPath + ": " + problem;
      return false;
    }
    if (std::chrono::steady_clock::now() - start >= limit) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", limit.count() / 1000.0);
      *error =
          "gave up after " + std::string(seconds) + " s: another process still holds " + lockPath;
      return false;
    }
    if (!told) waiting();
    // Short pauses: the holder is usually one add of a few milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    pause = pause < 8 ? 2 * pause : 10;
  }
}
