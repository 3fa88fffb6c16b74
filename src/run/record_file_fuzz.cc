// Fuzz target: bytes as the record of a --changed run, in the game root. It
// is read without a crash or a read past what it holds; a record that reads
// as valid is exactly what the program writes for what it read, so no
// damaged, reordered or doubled record is taken as one (a record that does
// not read as valid vouches for nothing: the run then packs every file).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "run/record_file.h"
#include "test_support/fuzz_oracles.h"
#include "test_support/temp_dir.h"

namespace {

bool writeBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TempDir folder;
  static const std::string path = folder / "zt-rebuild.record";
  static const std::string rewritten = folder / "rewritten.record";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!writeBytes(path, bytes)) finding("the record could not be written to read", bytes);
  ChangeRecord record;
  if (!readChangeRecord(path, &record)) return 0;
  std::string error;
  if (!writeChangeRecord(rewritten, record, &error)) finding("cannot write back: " + error, bytes);
  const std::string written = readFile(rewritten);
  if (written != bytes) {
    finding("a record read as valid writes back otherwise:\n  " + escapedBytes(written), bytes);
  }
  return 0;
}
