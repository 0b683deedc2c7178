// Transport-stream sizes and identifiers shared by the stream engine's stages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tevalo::pipeline {

inline constexpr size_t kTsPacketSize = 188;
inline constexpr size_t kTsBlockSize = 1128;  // six packets: the tuner's unit
inline constexpr uint8_t kTsSync = 0x47;

inline constexpr uint16_t kPmtPid = 0x1FC8;
inline constexpr uint16_t kSdtPid = 0x11;
inline constexpr uint16_t kEitPid = 0x27;
inline constexpr uint16_t kNoPid = 0xFFFF;

inline constexpr uint8_t kStreamTypeH264 = 0x1B;
inline constexpr uint8_t kStreamTypeAac = 0x0F;
inline constexpr uint8_t kStreamTypeCaption = 0x06;

// 90 kHz PTS to the 27 MHz ticks carried on the channel.
inline constexpr int64_t kPtsToTicks = 300;
inline constexpr int64_t kTicksPerSecond = 27000000;

inline uint16_t TsPid(const uint8_t* p) { return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]); }
inline bool TsPayloadStart(const uint8_t* p) { return (p[1] & 0x40) != 0; }
inline int TsAdaptationControl(const uint8_t* p) { return (p[3] >> 4) & 0x03; }
inline int TsContinuity(const uint8_t* p) { return p[3] & 0x0F; }
inline bool TsScrambled(const uint8_t* p) { return p[3] > 63; }

}  // namespace tevalo::pipeline
