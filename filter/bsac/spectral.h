// The spectral tools: from quantised values and scale factors to the spectra the filterbank takes.
#pragma once

#include <cstdint>

#include "filter/bsac/frame.h"
#include "filter/bsac/tables.h"

namespace bsac {

// The noise generator's state: the seed runs on across frames and streams of one decoder; the
// seeds saved per window and band let the second channel repeat the first one's noise.
struct NoiseState {
  uint32_t seed = 0;
  uint32_t saved[8][kMaxBands] = {};
};

// sign(q) x |q|^(4/3) x 2^((sf - 100) / 4) for every band below max_sfb; 0 for a scale factor of 0
// and for the second channel's intensity bands. -1 for a band that cannot exist.
int bsac_dequantise(const SideInfo& si, const RateEntry& e, int ch, float* out);
float DequantisedValue(int32_t q, int sf);

// Per band with the M/S flag: left + right, left - right.
void bsac_ms_stereo(const SideInfo& si, const RateEntry& e, float* left, float* right);

// Bands with the noise flag become noise of the energy 2^(0.5 x the band's stored value).
void bsac_noise_substitution(const SideInfo& si, const RateEntry& e, int ch, float* spec, NoiseState& noise);

// The second channel's intensity bands: left x 0.5^(position / 4), negated for out-of-phase bands.
void bsac_intensity_stereo(const SideInfo& si, const RateEntry& e, const float* left, float* right);

// Temporal noise shaping of one channel that carries TNS data.
void bsac_tns(const SideInfo& si, const RateEntry& e, int ch, float* spec);

// A transmitted TNS value q of `bits` bits as a reflection coefficient.
float TnsCoefficient(int q, int bits);

}  // namespace bsac
