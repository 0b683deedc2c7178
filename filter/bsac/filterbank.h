// The inverse filterbank: IMDCT over a quarter-length complex FFT, sine and KBD windows,
// overlap-add.
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "filter/bsac/tables.h"

namespace bsac {

// The rising half of a window: shape 0 sine, 1 KBD (alpha 4 long, 6 short); n = 2048 or 256.
std::span<const float> WindowRise(int shape, int n);

class Transform {
 public:
  // x[n] = 2/N sum_k X[k] cos(2 pi / N (n + n0)(k + 1/2)), n0 = (N/2 + 1) / 2, for N = 2048 or 256:
  // N outputs from N/2 inputs. False for another N.
  bool bsac_imdct(const float* spectrum, int n, float* out);

 private:
  void bsac_fft(std::complex<float>* z, int q);
  std::vector<std::complex<float>> scratch_;  // kept between calls, grown for longer transforms
};

struct ChannelState {
  float spectrum[kFrameLength] = {};
  float overlap[kFrameLength] = {};
  float output[kFrameLength] = {};
  int previous_shape = 0;
};

// One frame of time samples into `ch.output`; -1 on a size that this filterbank cannot take.
int bsac_inverse_filterbank(Transform& t, ChannelState& ch, int window_sequence, int window_shape,
                            int frame_length, int half_length, int short_length);

}  // namespace bsac
