// Explicit little-endian reads and writes of fixed-width fields, for every byte layout that travels
// between the player and the filters or is stored in a file.
#pragma once

#include <cstdint>

namespace ipcle {

inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
inline uint64_t GetU64(const uint8_t* p) { return uint64_t(GetU32(p)) | uint64_t(GetU32(p + 4)) << 32; }
inline int64_t GetI64(const uint8_t* p) { return static_cast<int64_t>(GetU64(p)); }
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, uint32_t(v));
  PutU32(p + 4, uint32_t(v >> 32));
}
inline void PutI64(uint8_t* p, int64_t v) { PutU64(p, static_cast<uint64_t>(v)); }

}  // namespace ipcle
