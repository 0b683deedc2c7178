// Picture size from the H.264 parameter sets sent as the video configuration (Annex B bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace halvik {

struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};

// Splits Annex B bytes at 3- and 4-byte start codes; each unit starts at its NAL header byte.
std::vector<std::pair<const uint8_t*, size_t>> SplitNalUnits(const uint8_t* data, size_t length);

// The unit's payload without its header byte and with emulation prevention bytes removed.
std::vector<uint8_t> UnitToRbsp(const uint8_t* unit, size_t length);

// Walks the sequence and picture parameter sets; the size of the sequence parameter set that the
// last picture parameter set names (the last sequence parameter set when there is none). Nullopt
// when no valid sequence parameter set is found. Every read is bounds-checked.
std::optional<PictureSize> WalkVideoConfiguration(const uint8_t* data, size_t length);

}  // namespace halvik
