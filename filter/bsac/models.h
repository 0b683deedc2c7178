// The probability models of the bit-sliced coding. The decoder is driven by this set; a frame
// whose decoding needs a model the set lacks is invalid.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "filter/bsac/arith.h"

namespace bsac {

inline constexpr int kCbandSiTypes = 32;
inline constexpr int kScfModels = 8;
inline constexpr int kMaxCbandSi = 31;
inline constexpr int kSignificanceDistances = 16;
inline constexpr int kSignificanceContexts = 4;
inline constexpr int kRefinementStates = 16;

struct Models {
  // cband_si by cband_si_type, with the largest value that type allows.
  std::array<const CumulativeModel*, kCbandSiTypes> cband_si{};
  std::array<int, kCbandSiTypes> cband_si_max{};
  // Differences from max_scalefactor, by base_scf_model / enh_scf_model; also the intensity
  // positions of the second channel.
  std::array<const CumulativeModel*, kScfModels> scf{};
  // Stereo information: the per-band M/S flag (stereo_mode 1), the four-way stereo_info of
  // stereo_mode 3 (0 none, 1 M/S, 2 intensity in phase, 3 out of phase), the noise flag.
  std::optional<uint16_t> ms_used;
  const CumulativeModel* stereo_info = nullptr;
  std::optional<uint16_t> noise_flag;
  // Noise energies: the symbol less 256.
  const CumulativeModel* noise_energy = nullptr;
  // Significance: [cband_si][planes below the band's top plane][context]; refinement: by the
  // line's magnitude so far (saturated at 15).
  const uint16_t* significance =
      nullptr;                           // (kMaxCbandSi + 1) x kSignificanceDistances x kSignificanceContexts
  const uint16_t* refinement = nullptr;  // kRefinementStates
};

// The set this decoder carries.
const Models& StandardModels();

// The 512-symbol table of equal frequencies: 16352 down to 0 in steps of 32.
const CumulativeModel& UniformModel512();

}  // namespace bsac
