// Little-endian reads and writes of the channel's and the messages' fixed-width fields.
#pragma once

#include <cstdint>

namespace halvik {

inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline int64_t GetLe64(const uint8_t* p) {
  return static_cast<int64_t>(uint64_t{GetLe32(p)} | uint64_t{GetLe32(p + 4)} << 32);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, int64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

}  // namespace halvik
