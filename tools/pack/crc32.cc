#include "crc32.h"

#include <zlib.h>

uint32_t crc32Update(uint32_t crc, const void* data, size_t size) {
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const unsigned char*>(data), size));
}
