// CRC-32 (the common polynomial 0xEDB88320), computed in pieces by zlib.
#ifndef ZT_PACK_CRC32_H_
#define ZT_PACK_CRC32_H_

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over `size` bytes.
uint32_t crc32Update(uint32_t crc, const void* data, size_t size);

#endif  // ZT_PACK_CRC32_H_
