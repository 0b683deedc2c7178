// Test messages whose content can be checked on the other side.
#pragma once

#include <cstdint>
#include <vector>

#include "ipc/filter_protocol.h"

namespace ipc_test {

inline uint8_t PatternByte(int32_t type, uint32_t i) { return uint8_t(i * 31u + uint32_t(type)); }

// The bytes a side writes for a message of this type. `value` is the body or payload length
// (257-260) or the argument (264, 265).
inline std::vector<uint8_t> BuildMessage(int32_t type, int64_t value, int64_t stamp) {
  if (type == IPC_VIDEO_CONFIG || type == IPC_AUDIO_CONFIG) {
    std::vector<uint8_t> body(static_cast<size_t>(value));
    for (uint32_t i = 0; i < body.size(); ++i) body[i] = PatternByte(type, i);
    StreamFormatMessage m;
    MakeFormatMessage(m, type, body.data(), static_cast<uint32_t>(body.size()));
    auto* p = reinterpret_cast<const uint8_t*>(&m);
    return {p, p + sizeof m};
  }
  if (type == IPC_VIDEO_FRAME || type == IPC_AUDIO_FRAME) {
    std::vector<uint8_t> bytes(FrameMessageBytes(type));
    const auto length = static_cast<uint32_t>(value);
    const int64_t values[4] = {-1, stamp, -1, -1};
    EncodeFrameHead(type, length, values, bytes.data());
    for (uint32_t i = 0; i < length && kFrameHeadBytes + i < bytes.size(); ++i)
      bytes[kFrameHeadBytes + i] = PatternByte(type, i);
    return bytes;
  }
  if (type == IPC_RECORD || type == IPC_AUDIO_MODE) {
    std::vector<uint8_t> bytes(kControlMessageBytes);
    EncodeControlMessage(MakeControlMessage(type, static_cast<int32_t>(value)), bytes.data());
    return bytes;
  }
  std::vector<uint8_t> bytes(kPingMessageBytes);
  EncodeMessageHeader({type, 0}, bytes.data());
  return bytes;
}

// Whether the body or payload of a received message is the one BuildMessage made.
inline bool Intact(const IpcIncoming& m) {
  const int32_t type = m.header.type;
  if (type == IPC_VIDEO_CONFIG || type == IPC_AUDIO_CONFIG) {
    for (int32_t i = 0; i < m.format.length; ++i)
      if (m.format.body[i] != PatternByte(type, uint32_t(i))) return false;
    return m.format.type == type;
  }
  if (type == IPC_VIDEO_FRAME || type == IPC_AUDIO_FRAME) {
    if (m.payload.size() != static_cast<size_t>(m.header.length)) return false;
    for (uint32_t i = 0; i < m.payload.size(); ++i)
      if (m.payload[i] != PatternByte(type, i)) return false;
    return m.values[0] == -1 && m.values[2] == -1 && m.values[3] == -1;
  }
  return true;
}

}  // namespace ipc_test
