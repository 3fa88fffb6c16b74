// Fuzz target: bytes as the record of a --changed run, in the game root. It
// is read without a crash or a read past what it holds; a record that reads
// as valid is exactly what the program writes for what it read, so no
// damaged, reordered or doubled record is taken as one (a record that does
// not read as valid vouches for nothing: the run then packs every file).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "run/record_file.h"
#include "test_support/fuzz_oracles.h"

namespace {

std::string scratchFolder() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zt-fuzz-record-XXXXXX";
  if (!mkdtemp(&pattern[0])) finding("no scratch folder", pattern);
  return pattern;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string readBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = scratchFolder();
  static const std::string path = folder + "/zt-rebuild.record";
  static const std::string rewritten = folder + "/rewritten.record";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!writeBytes(path, bytes)) finding("the record could not be written to read", bytes);
  ChangeRecord record;
  if (!readChangeRecord(path, &record)) return 0;
  std::string error;
  if (!writeChangeRecord(rewritten, record, &error)) finding("cannot write back: " + error, bytes);
  const std::string written = readBytes(rewritten);
  if (written != bytes) {
    finding("a record read as valid writes back otherwise:\n  " + escapedBytes(written), bytes);
  }
  return 0;
}
