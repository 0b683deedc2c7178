#pragma once
// The .rec recording file: an 8-byte header {start tick, end tick}, the video and audio information
// blocks (1024 bytes each: type, length, configuration bytes), then records back to back. Every
// integer is little-endian.
#include "ipc/filter_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rec {

constexpr uint32_t kNoEndTick = 0xFFFFFFFFu;
constexpr size_t kHeaderSize = 8;
constexpr size_t kInfoBlockSize = kFormatMessageBytes;
constexpr size_t kInfoBodyMax = kFormatBodyMax;
constexpr uint64_t kFirstRecordOffset = kHeaderSize + 2 * kInfoBlockSize;  // 2056
constexpr size_t kPrefixSize = 8;                                          // marker + tick
constexpr size_t kHeadSize = 40;                                           // type, length, four int64
constexpr size_t kRecordOverhead = kPrefixSize + kHeadSize;
constexpr std::array<uint8_t, 4> kMarker = {0x00, 0x00, 0x01, 0xFA};
constexpr uint32_t kVideoType = IPC_VIDEO_FRAME;
constexpr uint32_t kAudioType = IPC_AUDIO_FRAME;
constexpr uint32_t kVideoInfoType = IPC_VIDEO_CONFIG;
constexpr uint32_t kAudioInfoType = IPC_AUDIO_CONFIG;
constexpr uint32_t kMaxVideoPayload = kVideoFramePayloadMax;
constexpr uint32_t kMaxAudioPayload = kAudioFramePayloadMax;

using ipcle::GetI64;
using ipcle::GetU32;
using ipcle::PutI64;
using ipcle::PutU32;

struct FileHeader {
  uint32_t startTick = 0;
  uint32_t endTick = kNoEndTick;
};

// Milliseconds from start to end across a wrap of the 32-bit tick; nullopt while the recording has no
// end yet or is empty.
std::optional<uint32_t> DurationMs(const FileHeader& header);

// Largest payload a record of this type may carry (0 for a type no recording holds).
uint32_t MaxPayload(uint32_t type);

using InfoBlock = std::array<uint8_t, kInfoBlockSize>;
// An information block: type, body length, body, zeros.
InfoBlock MakeInfoBlock(uint32_t type, std::span<const uint8_t> body);
// The body of a stored block when its type matches and its length fits the block.
std::optional<std::vector<uint8_t>> InfoBody(const InfoBlock& block, uint32_t expectedType);

struct RecordHead {
  uint32_t tick = 0;  // wall-clock tick when written
  uint32_t type = 0;
  uint32_t length = 0;
  int64_t time = -1;  // presentation time, 100 ns
};

// Prefix and head of a record as stored.
std::array<uint8_t, kRecordOverhead> EncodeRecordHead(const RecordHead& head);
// Parses a stored prefix + head; nullopt when the marker is wrong.
std::optional<RecordHead> DecodeRecordHead(std::span<const uint8_t, kRecordOverhead> bytes);

}  // namespace rec
