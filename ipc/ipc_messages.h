// The messages of the player -> live filter channel. The same records are stored in ".rec" files, so
// their layout is fixed: packed, little-endian 32- and 64-bit fields.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ipc/little_endian.h"

// Message types (first word of every message).
inline constexpr int32_t IPC_VIDEO_CONFIG = 257;
inline constexpr int32_t IPC_AUDIO_CONFIG = 258;
inline constexpr int32_t IPC_VIDEO_FRAME = 259;
inline constexpr int32_t IPC_AUDIO_FRAME = 260;
inline constexpr int32_t IPC_PING = 263;
inline constexpr int32_t IPC_RECORD = 264;
inline constexpr int32_t IPC_AUDIO_MODE = 265;

// Arguments of IPC_RECORD and IPC_AUDIO_MODE.
inline constexpr int32_t IPC_RECORD_START = 1;
inline constexpr int32_t IPC_RECORD_STOP = 2;
inline constexpr int32_t IPC_AUDIO_MODE_MAIN = 1;
inline constexpr int32_t IPC_AUDIO_MODE_SUB = 2;

// The channel.
inline constexpr char kIpcChannelName[] = "{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}";
inline constexpr uint32_t kIpcPayloadSize = 40001;

// Sizes of the messages as written.
inline constexpr uint32_t kFormatMessageBytes = 1024;
inline constexpr uint32_t kFormatBodyMax = 1016;
inline constexpr uint32_t kVideoFrameMessageBytes = 40000;
inline constexpr uint32_t kAudioFrameMessageBytes = 10280;
inline constexpr uint32_t kFrameHeadBytes = 40;
inline constexpr uint32_t kVideoFramePayloadMax = kVideoFrameMessageBytes - kFrameHeadBytes;  // 39960
inline constexpr uint32_t kAudioFramePayloadMax = kAudioFrameMessageBytes - kFrameHeadBytes;  // 10240
inline constexpr uint32_t kControlMessageBytes = 12;
inline constexpr uint32_t kPingMessageBytes = 1024;

#pragma pack(push, 1)

// The first 8 bytes of every message.
struct IpcMessageHeader {
  int32_t type;
  int32_t length;  // body or payload length (257-260), 12 (264), 0 (263, 265)
};

// 257 / 258: the H.264 parameter sets with start codes, or the first 7-byte ADTS header.
struct StreamFormatMessage {
  int32_t type;
  int32_t length;  // at most 1016
  uint8_t body[kFormatBodyMax];
};

// 259 / 260: one H.264 access unit or one ADTS frame. values[1] is the frame's stamp (-1 none), the
// other three are -1. Video is written as 40000 bytes, audio as 10280, whatever the payload length.
struct StreamFrameMessage {
  int32_t type;
  int32_t length;
  int64_t values[4];
  uint8_t payload[kVideoFramePayloadMax];
};

// 264 / 265: recording start/stop, main/sub audio.
struct ControlMessage {
  int32_t type;
  int32_t length;
  int32_t argument;
};

#pragma pack(pop)

static_assert(sizeof(IpcMessageHeader) == 8);
static_assert(offsetof(IpcMessageHeader, type) == 0 && offsetof(IpcMessageHeader, length) == 4);
static_assert(sizeof(StreamFormatMessage) == kFormatMessageBytes);
static_assert(offsetof(StreamFormatMessage, type) == 0 && offsetof(StreamFormatMessage, length) == 4);
static_assert(offsetof(StreamFormatMessage, body) == 8);
static_assert(sizeof(StreamFrameMessage) == kVideoFrameMessageBytes);
static_assert(offsetof(StreamFrameMessage, type) == 0 && offsetof(StreamFrameMessage, length) == 4);
static_assert(offsetof(StreamFrameMessage, values) == 8);
static_assert(offsetof(StreamFrameMessage, values) + 8 == 16);  // the stamp
static_assert(offsetof(StreamFrameMessage, payload) == kFrameHeadBytes);
static_assert(sizeof(ControlMessage) == kControlMessageBytes);
static_assert(offsetof(ControlMessage, type) == 0 && offsetof(ControlMessage, length) == 4);
static_assert(offsetof(ControlMessage, argument) == 8);
// The records are also used in place (written to the channel and to files as they lie in memory).
static_assert(std::endian::native == std::endian::little, "the message records are little-endian");

// The fixed size a frame message of this type is written with (0: not a frame type).
inline uint32_t FrameMessageBytes(int32_t type) {
  return type == IPC_VIDEO_FRAME   ? kVideoFrameMessageBytes
         : type == IPC_AUDIO_FRAME ? kAudioFrameMessageBytes
                                   : 0;
}
// The largest payload a frame message of this type carries (0: not a frame type).
inline uint32_t FramePayloadMax(int32_t type) {
  const uint32_t bytes = FrameMessageBytes(type);
  return bytes ? bytes - kFrameHeadBytes : 0;
}

inline IpcMessageHeader DecodeMessageHeader(const uint8_t* in) {
  return {ipcle::GetI32(in), ipcle::GetI32(in + 4)};
}
inline void EncodeMessageHeader(const IpcMessageHeader& h, uint8_t* out) {
  ipcle::PutI32(out, h.type);
  ipcle::PutI32(out + 4, h.length);
}

// Fills a format message: type, length, body, zeros after it. False (message untouched) when the
// body is longer than 1016 bytes.
inline bool MakeFormatMessage(StreamFormatMessage& m, int32_t type, const uint8_t* body, uint32_t length) {
  if (length > kFormatBodyMax) return false;
  m.type = type;
  m.length = static_cast<int32_t>(length);
  if (length) std::memcpy(m.body, body, length);
  std::memset(m.body + length, 0, kFormatBodyMax - length);
  return true;
}

// Reads a 1024-byte format message from bytes; false when its length word is out of range.
inline bool DecodeFormatMessage(const uint8_t* in, StreamFormatMessage& m) {
  const int32_t length = ipcle::GetI32(in + 4);
  if (length < 0 || static_cast<uint32_t>(length) > kFormatBodyMax) return false;
  m.type = ipcle::GetI32(in);
  m.length = length;
  std::memcpy(m.body, in + 8, kFormatBodyMax);
  return true;
}

// Writes the 40-byte head of a frame message.
inline void EncodeFrameHead(int32_t type, uint32_t length, const int64_t values[4], uint8_t* out) {
  ipcle::PutI32(out, type);
  ipcle::PutU32(out + 4, length);
  for (int i = 0; i < 4; ++i) ipcle::PutI64(out + 8 + 8 * i, values[i]);
}

// Reads the head of a frame message; false when the type is not a frame type or the length does
// not fit its record.
inline bool DecodeFrameHead(const uint8_t* in, int32_t& type, uint32_t& length, int64_t values[4]) {
  type = ipcle::GetI32(in);
  length = ipcle::GetU32(in + 4);
  for (int i = 0; i < 4; ++i) values[i] = ipcle::GetI64(in + 8 + 8 * i);
  return FrameMessageBytes(type) != 0 && length <= FramePayloadMax(type);
}

// Fills a frame message (head with the stamp in values[1], the others -1, and the payload). Returns
// the number of bytes to write (40000 or 10280), or 0 when the type or the length is not allowed.
inline uint32_t MakeFrameMessage(StreamFrameMessage& m, int32_t type, int64_t stamp, const uint8_t* payload,
                                 uint32_t length) {
  if (FrameMessageBytes(type) == 0 || length > FramePayloadMax(type)) return 0;
  m.type = type;
  m.length = static_cast<int32_t>(length);
  m.values[0] = -1;
  m.values[1] = stamp;
  m.values[2] = -1;
  m.values[3] = -1;
  if (length) std::memcpy(m.payload, payload, length);
  return FrameMessageBytes(type);
}

inline ControlMessage MakeControlMessage(int32_t type, int32_t argument) {
  return {type, type == IPC_RECORD ? static_cast<int32_t>(kControlMessageBytes) : 0, argument};
}

inline void EncodeControlMessage(const ControlMessage& m, uint8_t* out) {
  ipcle::PutI32(out, m.type);
  ipcle::PutI32(out + 4, m.length);
  ipcle::PutI32(out + 8, m.argument);
}
inline ControlMessage DecodeControlMessage(const uint8_t* in) {
  return {ipcle::GetI32(in), ipcle::GetI32(in + 4), ipcle::GetI32(in + 8)};
}
