// Deterministic test bytes and their CRC-32 (the zlib polynomial, so that
// python's zlib.crc32 checks them).
#pragma once
#include <cstddef>
#include <cstdint>

namespace wire_tools {

inline uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  const unsigned char* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// Fills `length` bytes of a pseudo-random stream starting at `*state`.
inline void FillBytes(uint64_t* state, char* out, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    *state = *state * 6364136223846793005ull + 1442695040888963407ull;
    out[i] = static_cast<char>(*state >> 56);
  }
}

}  // namespace wire_tools
