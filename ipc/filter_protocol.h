// The contract between the player and the live filter: the names of the channel and the named
// objects around it, the message types and records the channel carries (the same records are stored
// in ".rec" files, so their layout is fixed: packed, little-endian 32- and 64-bit fields), the
// WM_COPYDATA codes the filter and the player's own windows send to the player's window with the
// filter's connect data, and the codecs of both. The filter, the player, the playback filter and the
// tests all use this header; no other file names these values.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/little_endian.h"

// ---- names ----

// The channel and its payload size; the race mutex that serialises both sides' construction.
inline constexpr char kIpcChannelName[] = "{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}";
inline constexpr uint32_t kIpcPayloadSize = 40001;
inline constexpr char kIpcRaceMutexName[] = "IPC_RACE_MUTEX{DF9F578A-D4F8-45f3-8229-674094C60ECE}";
// The filter's two events: the player sets the wake event before each stream message and pulses
// the quit event when it closes the filter's channel for good.
inline constexpr char kFilterWakeEventName[] = "{BD8438A5-FE8F-4e26-9718-AD19887A24D9}";
inline constexpr char kFilterQuitEventName[] = "{BB466D8B-D2E5-420a-BEE8-B6B69837F2BF}";
// The registered window message the filter broadcasts with the dual-mono state (0, 1 main, 2 sub).
inline constexpr char16_t kDualMonoMessageName[] = u"C3F3B4AB-8C35-47ff-B75E-D7242E81D58E";
// The title of the player's window, which receives the WM_COPYDATA codes below.
inline constexpr char16_t kPlayerWindowTitle[] = u"Tevalo";

// Read modes of the filter's side of the channel.
inline constexpr int kIpcReadWait = 0;     // wait for a message, take the data mutex, copy
inline constexpr int kIpcReadCopy = 1;     // copy only (the data mutex stays held)
inline constexpr int kIpcReadRelease = 2;  // copy, release the data mutex, acknowledge

// ---- messages ----

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

// ---- reading one message (the filter's side) ----

// One message as read from the channel.
struct IpcIncoming {
  IpcMessageHeader header{};     // type and second word
  StreamFormatMessage format{};  // 257/258: type, length, the body and zeros after it
  int64_t values[4]{};           // 259/260: the four values of the head; [1] is the stamp
  std::vector<uint8_t> payload;  // 259/260: the frame
  int32_t argument = 0;          // 264: the low byte of the argument; 265: all 32 bits
};

enum class IpcReadResult {
  None,     // no message within the wait
  Message,  // the message is read
  Refused,  // a length out of range: nothing taken, the message was still released and acknowledged
};

// Reads one message: the header (waiting up to waitMs for one), then the body by its type, ending
// with the release and acknowledgement the writer waits for. Channel is the filter's end: anything
// with Read(destination, length, payload offset, mode, wait ms) returning nonzero on success.
template <class Channel>
IpcReadResult ReadIpcMessage(Channel& channel, IpcIncoming& msg, uint32_t waitMs = 1) {
  uint8_t head[kFrameHeadBytes];
  if (!channel.Read(head, 8, 0, kIpcReadWait, waitMs)) return IpcReadResult::None;
  msg.header = DecodeMessageHeader(head);
  const int32_t type = msg.header.type;
  const auto length = static_cast<uint32_t>(msg.header.length);
  auto refuse = [&] {
    channel.Read(nullptr, 0, 8, kIpcReadRelease, 0);
    return IpcReadResult::Refused;
  };
  switch (type) {
    case IPC_VIDEO_CONFIG:
    case IPC_AUDIO_CONFIG:
      if (msg.header.length < 0 || length > kFormatBodyMax) return refuse();
      if (!channel.Read(msg.format.body, length, 8, kIpcReadRelease, 0)) return IpcReadResult::Refused;
      std::memset(msg.format.body + length, 0, kFormatBodyMax - length);
      msg.format.type = type;
      msg.format.length = msg.header.length;
      return IpcReadResult::Message;
    case IPC_VIDEO_FRAME:
    case IPC_AUDIO_FRAME:
      if (msg.header.length < 0 || length > FramePayloadMax(type)) return refuse();
      channel.Read(head + 8, 32, 8, kIpcReadCopy, 0);
      for (int i = 0; i < 4; ++i) msg.values[i] = ipcle::GetI64(head + 8 + 8 * i);
      msg.payload.resize(length);
      if (!channel.Read(length ? msg.payload.data() : head, length, kFrameHeadBytes, kIpcReadRelease, 0)) {
        msg.payload.clear();
        return IpcReadResult::Refused;
      }
      return IpcReadResult::Message;
    case IPC_RECORD: {
      uint8_t byte = 0;
      channel.Read(&byte, 1, 8, kIpcReadRelease, 0);
      msg.argument = byte;
      return IpcReadResult::Message;
    }
    case IPC_AUDIO_MODE: {
      uint8_t word[4] = {};
      channel.Read(word, 4, 8, kIpcReadRelease, 0);
      msg.argument = ipcle::GetI32(word);
      return IpcReadResult::Message;
    }
    default:  // 263 and anything unknown: consumed and acknowledged
      channel.Read(nullptr, 0, 8, kIpcReadRelease, 0);
      return IpcReadResult::Message;
  }
}

// ---- WM_COPYDATA codes to the player's window ----

inline constexpr uint32_t COPYDATA_FILTER_OPEN = 2;     // the filter loaded: FilterConnectData
inline constexpr uint32_t COPYDATA_FILTER_RUN = 3;      // the filter's first pause; cbData = process id
inline constexpr uint32_t COPYDATA_FILTER_STOP = 4;     // the filter stopped; cbData = process id
inline constexpr uint32_t COPYDATA_RECORD_TOGGLE = 10;  // the player's own record request
inline constexpr uint32_t COPYDATA_GRAPH_CLOSE = 14;    // the player's own report of a failed live build
inline constexpr uint32_t COPYDATA_IEPG_FILE = 16;      // a second instance's argument, UTF-16LE
// The recorder stopped writing records (cbData 0: low space or a failed write) or writes again (1).
inline constexpr uint32_t COPYDATA_RECORD_WRITING = 17;

// ---- the filter's connect data (code 2) ----

// offset 0: uint32 process id; offset 4: the URL the filter was loaded with, UTF-16LE, zero-ended.
inline constexpr uint32_t kFilterConnectDataBytes = 524;
inline constexpr size_t kFilterConnectUrlUnits = 260;  // with the terminator

struct FilterConnectData {
  uint32_t processId = 0;
  std::u16string url;
};

// At most 259 units of the URL, so that the terminator always fits; a surrogate pair is never cut.
inline std::array<uint8_t, kFilterConnectDataBytes> EncodeFilterConnectData(uint32_t processId,
                                                                            std::u16string_view url) {
  std::array<uint8_t, kFilterConnectDataBytes> d{};
  ipcle::PutU32(d.data(), processId);
  size_t n = std::min(url.size(), kFilterConnectUrlUnits - 1);
  if (n > 0 && n < url.size() && (url[n - 1] & 0xFC00) == 0xD800) --n;
  for (size_t i = 0; i < n; ++i) {
    d[4 + 2 * i] = static_cast<uint8_t>(url[i] & 0xFF);
    d[5 + 2 * i] = static_cast<uint8_t>(url[i] >> 8);
  }
  return d;
}

// The filter's URL is UTF-8; invalid bytes become U+FFFD.
inline std::array<uint8_t, kFilterConnectDataBytes> EncodeFilterConnectData(uint32_t processId,
                                                                            std::string_view utf8Url) {
  std::u16string url;
  for (size_t i = 0; i < utf8Url.size() && url.size() < kFilterConnectUrlUnits;) {
    uint32_t cp = static_cast<uint8_t>(utf8Url[i]);
    size_t n = cp < 0x80 ? 1 : (cp >> 5) == 6 ? 2 : (cp >> 4) == 14 ? 3 : (cp >> 3) == 30 ? 4 : 1;
    if (n > 1 && i + n <= utf8Url.size()) {
      cp &= 0xFF >> (n + 1);
      for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<uint8_t>(utf8Url[i + k]) & 0x3F);
    } else if (n > 1 || cp >= 0x80) {
      cp = 0xFFFD;
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      url.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      url.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      url.push_back(static_cast<char16_t>(cp));
    }
  }
  return EncodeFilterConnectData(processId, std::u16string_view(url));
}

// Nothing for missing or short data; the URL ends at its first zero or after 260 units.
inline std::optional<FilterConnectData> DecodeFilterConnectData(const void* data, size_t size) {
  if (!data || size < kFilterConnectDataBytes) return std::nullopt;
  const auto* bytes = static_cast<const uint8_t*>(data);
  FilterConnectData d;
  d.processId = ipcle::GetU32(bytes);
  for (size_t i = 0; i < kFilterConnectUrlUnits; ++i) {
    const auto c = static_cast<char16_t>(bytes[4 + 2 * i] | bytes[5 + 2 * i] << 8);
    if (!c) break;
    d.url.push_back(c);
  }
  return d;
}

// A UTF-16LE text of cbData bytes (code 16), up to its first zero.
inline std::u16string DecodeCopyDataText(const void* data, size_t size) {
  std::u16string text;
  if (!data || size < 2) return text;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const auto c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (!c) break;
    text.push_back(c);
  }
  return text;
}
