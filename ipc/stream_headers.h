// The two stream headers the format messages carry, read where the player and the filters both need
// them: the H.264 parameter sets (picture size and frame period from the one walk of a sequence
// parameter set) and the ADTS header of the AAC frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace streamhdr {

struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};

// Splits Annex B bytes at 3- and 4-byte start codes; each unit starts at its NAL header byte.
std::vector<std::pair<const uint8_t*, size_t>> SplitNalUnits(const uint8_t* data, size_t length);

// The unit's payload without its header byte and with emulation prevention bytes removed.
std::vector<uint8_t> UnitToRbsp(const uint8_t* unit, size_t length);

struct SpsInfo {
  uint32_t id = 0;
  PictureSize size;          // 0x0 when the cropping leaves nothing or the size is beyond 16384
  int64_t frame_period = 0;  // 27 MHz ticks from the timing information; 0 without usable timing
};

// Walks one sequence parameter set: `nal` from its header byte on, emulation prevention still in.
// Nullopt for another unit type or a set damaged before its cropping. Every read is bounds-checked.
std::optional<SpsInfo> ReadSps(const uint8_t* nal, size_t size);

// The frame period of ReadSps (0 when there is none).
int64_t SpsFramePeriodTicks(const uint8_t* nal, size_t size);

// Walks the sequence and picture parameter sets of a video configuration (Annex B bytes): the size
// of the sequence parameter set that the last picture parameter set names (the last sequence
// parameter set when there is none). Nullopt when no valid sequence parameter set is found.
std::optional<PictureSize> WalkVideoConfiguration(const uint8_t* data, size_t length);

// ADTS (the fixed and variable header, 7 bytes).
inline constexpr size_t kAdtsHeaderBytes = 7;

// Sampling frequency of an AAC sampling-frequency index (ADTS and AudioSpecificConfig share the
// table); 0 for the reserved ones and the escape.
uint32_t AacSampleRate(unsigned index);

inline unsigned AdtsSamplingIndex(const uint8_t* h) { return (h[2] >> 2) & 0x0F; }
inline uint8_t AdtsChannelConfig(const uint8_t* h) {
  return static_cast<uint8_t>(((h[2] & 1) << 2) | (h[3] >> 6));
}
// aac_frame_length: the whole frame with its header.
inline uint32_t AdtsFrameLength(const uint8_t* h) {
  return (uint32_t(h[3] & 0x03) << 11) | (uint32_t(h[4]) << 3) | (h[5] >> 5);
}

// The sync the broadcasts' ADTS frames begin with: FF F8 (MPEG-2 identifier, layer 0, CRC present).
inline bool HasBroadcastAdtsSync(const uint8_t* h, size_t length) {
  return length >= 2 && h[0] == 0xFF && h[1] == 0xF8;
}

struct AdtsHeader {
  uint32_t sample_rate = 0;  // 0 for a reserved index
  uint32_t frame_length = 0;
  uint8_t channel_config = 0;
};

// Nullopt without the 12-bit sync and layer 0, or with fewer than 7 bytes.
std::optional<AdtsHeader> ReadAdtsHeader(const uint8_t* h, size_t length);

}  // namespace streamhdr
