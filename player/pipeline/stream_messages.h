// Byte layouts of the stream messages the engine writes to the channel. Little-endian, fixed sizes:
// a frame message is always written whole whatever its payload length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tevalo::pipeline {

inline constexpr int32_t kMsgVideoConfig = 257;
inline constexpr int32_t kMsgAudioConfig = 258;
inline constexpr int32_t kMsgVideoFrame = 259;
inline constexpr int32_t kMsgAudioFrame = 260;

inline constexpr size_t kFormatMessageSize = 1024;
inline constexpr size_t kFormatBodyMax = 1016;
inline constexpr size_t kVideoHeaderMax = 128;  // longest SPS/PPS capture the player sends

inline constexpr size_t kFrameHeadSize = 40;
inline constexpr size_t kVideoFrameMessageSize = 40000;
inline constexpr size_t kAudioFrameMessageSize = 10280;
inline constexpr size_t kVideoPayloadMax = 39960;
inline constexpr size_t kAudioPayloadMax = 10240;

inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t GetLe32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline uint64_t GetLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// A 1024-byte stream-format message: {type, body length, body, zeros}.
struct StreamFormatBlock {
  uint8_t bytes[kFormatMessageSize] = {};

  void Set(int32_t type, const uint8_t* body, size_t length) {
    std::memset(bytes, 0, sizeof bytes);
    if (length > kFormatBodyMax) length = kFormatBodyMax;
    PutLe32(bytes, static_cast<uint32_t>(type));
    PutLe32(bytes + 4, static_cast<uint32_t>(length));
    if (length) std::memcpy(bytes + 8, body, length);
  }
  int32_t Type() const { return static_cast<int32_t>(GetLe32(bytes)); }
  size_t BodyLength() const { return GetLe32(bytes + 4); }
  const uint8_t* Body() const { return bytes + 8; }
};

// Head of a frame message: type, payload length, -1, stamp, -1, -1; the payload follows at 40.
inline void WriteFrameHead(uint8_t* msg, int32_t type, uint32_t payloadLength, int64_t stamp) {
  PutLe32(msg, static_cast<uint32_t>(type));
  PutLe32(msg + 4, payloadLength);
  PutLe64(msg + 8, static_cast<uint64_t>(int64_t{-1}));
  PutLe64(msg + 16, static_cast<uint64_t>(stamp));
  PutLe64(msg + 24, static_cast<uint64_t>(int64_t{-1}));
  PutLe64(msg + 32, static_cast<uint64_t>(int64_t{-1}));
}

}  // namespace tevalo::pipeline
