// The test build's file layer and lock wait (see test_build.h). Writes go to
// the disk at once, so that every file call sees them; each unflushed write
// is logged with the bytes it replaced, so that a power cut can undo it.
#include "test_build.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "file_platform.h"
#include "lock.h"

namespace {

struct Write {
  File* file;
  uint64_t offset;
  uint64_t sizeBefore;  // the file's length before it
  std::string before;   // the bytes it replaced within that length
  std::string after;    // what it wrote
  bool cut;             // a truncation to `offset` rather than a write
};

// The power cut, the call log and the full disk, as the environment sets them.
struct TestState {
  long crashAt = 0;  // the call the power cut falls on; 0 when it is not simulated
  long calls = 0;
  unsigned long long keep = 0;
  std::vector<Write> unflushed;  // in the order written
  bool powerFailed = false;
  std::FILE* log = nullptr;
  std::map<File*, std::string> paths;  // of the open files, as opened or renamed
  long long diskFree = -1;             // -1 when the disk is not full
};

void failPower();

TestState& state() {
  // Never destroyed: the exit handler needs it after main has returned.
  static TestState* state = [] {
    auto* created = new TestState;
    if (const char* at = std::getenv("PACK_TEST_CRASH_AT_WRITE")) created->crashAt = std::atol(at);
    if (const char* keep = std::getenv("PACK_TEST_CRASH_KEEP")) {
      created->keep = std::strtoull(keep, nullptr, 0);
    }
    if (const char* log = std::getenv("PACK_TEST_CALL_LOG")) created->log = std::fopen(log, "a");
    if (const char* free = std::getenv("PACK_TEST_DISK_FREE")) created->diskFree = std::atoll(free);
    if (created->crashAt > 0) std::atexit(failPower);
    return created;
  }();
  return *state;
}

bool powerFailsNow() {
  TestState& test = state();
  return test.crashAt > 0 && ++test.calls == test.crashAt;
}

// Takes the disk back to each file's last flush, then puts back the writes
// that the mask keeps, in their order.
void failPower() {
  TestState& test = state();
  if (test.powerFailed) return;
  test.powerFailed = true;
  std::string ignored;
  for (auto w = test.unflushed.rbegin(); w != test.unflushed.rend(); ++w) {
    platformWriteAt(w->file, w->offset, w->before.data(), w->before.size(), &ignored);
    if (!w->cut) platformTruncateFile(w->file, w->sizeBefore, &ignored);
  }
  const size_t n = test.unflushed.size();
  for (size_t i = 0; i < n; ++i) {
    const Write& w = test.unflushed[i];
    const size_t age = n - 1 - i;
    if (age >= 64 || !(test.keep >> age & 1)) continue;
    if (w.cut) {
      platformTruncateFile(w.file, w.offset, &ignored);
    } else {
      platformWriteAt(w.file, w.offset, w.after.data(), w.after.size(), &ignored);
    }
  }
}

[[noreturn]] void crash() {
  failPower();
  std::_Exit(kCrashExitStatus);
}

// Logs a write of `size` bytes at `offset` (a cut to `offset` when `data` is
// null) with what it is about to replace.
bool logWrite(File* file, uint64_t offset, const void* data, size_t size, std::string* error) {
  TestState& test = state();
  Write w{file, offset, 0, "", "", data == nullptr};
  if (!fileSize(file, &w.sizeBefore, error)) return false;
  uint64_t end = w.cut ? w.sizeBefore : std::min<uint64_t>(offset + size, w.sizeBefore);
  if (offset < end) {
    w.before.resize(static_cast<size_t>(end - offset));
    if (!readAt(file, offset, &w.before[0], w.before.size(), error)) return false;
  }
  if (data) w.after.assign(static_cast<const char*>(data), size);
  test.unflushed.push_back(std::move(w));
  return true;
}

void logCall(const std::string& line) {
  if (!state().log) return;
  std::fprintf(state().log, "%s\n", line.c_str());
  std::fflush(state().log);
}

std::string pathOf(File* file) { return state().paths[file]; }

File* opened(File* file, const std::string& path) {
  if (file) state().paths[file] = path;
  return file;
}

// Fails as a full disk does, before anything is written, when the write
// needs more new space than is left.
bool takeSpace(File* file, uint64_t offset, size_t size, std::string* error) {
  long long& free = state().diskFree;
  if (free < 0) return true;
  const uint64_t need = platformNewSpace(file, offset, size);
  if (need > static_cast<uint64_t>(free)) {
    *error = std::strerror(ENOSPC);
    return false;
  }
  free -= static_cast<long long>(need);
  return true;
}

}  // namespace

File* openFile(const std::string& path, OpenMode mode, std::string* error) {
  return opened(platformOpenFile(path, mode, error), path);
}

File* createFile(const std::string& path, const std::string& model, std::string* error) {
  File* file = opened(platformCreateFile(path, model, error), path);
  if (!file) return nullptr;
  char mode[16];
  std::snprintf(mode, sizeof mode, "%o", platformPermissions(path));
  logCall("create " + path + " " + mode);
  if (!platformMatchPermissions(file, model, error)) {
    closeFile(file);
    removeFile(path);
    return nullptr;
  }
  return file;
}

void closeFile(File* file) {
  // A file with unflushed writes stays open, so that a power cut can still
  // reach it, under whatever name it has by then.
  auto& unflushed = state().unflushed;
  if (std::any_of(unflushed.begin(), unflushed.end(),
                  [&](const Write& w) { return w.file == file; })) {
    return;
  }
  state().paths.erase(file);
  platformCloseFile(file);
}

bool writeAt(File* file, uint64_t offset, const void* data, size_t size, std::string* error) {
  if (!takeSpace(file, offset, size, error)) return false;
  logCall("write " + pathOf(file));
  if (state().crashAt == 0) return platformWriteAt(file, offset, data, size, error);
  const bool fails = powerFailsNow();
  if (fails) size /= 2;
  if (!logWrite(file, offset, data, size, error)) return false;
  bool ok = platformWriteAt(file, offset, data, size, error);
  if (fails) crash();
  return ok;
}

bool syncFile(File* file, std::string* error) {
  if (powerFailsNow()) crash();
  if (!platformSyncFile(file, error)) return false;
  logCall("flush " + pathOf(file));
  auto& unflushed = state().unflushed;
  unflushed.erase(std::remove_if(unflushed.begin(), unflushed.end(),
                                 [&](const Write& w) { return w.file == file; }),
                  unflushed.end());
  return true;
}

bool truncateFile(File* file, uint64_t size, std::string* error) {
  logCall("cut " + pathOf(file));
  if (state().crashAt > 0 && !logWrite(file, size, nullptr, 0, error)) return false;
  return platformTruncateFile(file, size, error);
}

bool replaceFile(const std::string& from, const std::string& to, std::string* error) {
  bool ok = platformReplaceFile(from, to, error);
  if (ok) {
    logCall("rename " + from + " " + to);
    for (auto& [file, path] : state().paths) {
      if (path == from) path = to;
    }
  }
  if (powerFailsNow()) crash();
  return ok;
}

void syncFolder(const std::string& path) {
  if (powerFailsNow()) crash();
  platformSyncFolder(path);
  logCall("flush-folder " + path);
}

int lockWaitMilliseconds() {
  const char* setting = std::getenv("PACK_TEST_LOCK_WAIT_MS");
  return setting ? std::atoi(setting) : kLockWaitMilliseconds;
}
