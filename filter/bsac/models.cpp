#include "filter/bsac/models.h"

namespace bsac {
namespace {

struct Uniform512 {
  uint16_t freq[512];
  CumulativeModel model{freq, 512};
  Uniform512() {
    for (int i = 0; i < 512; ++i) freq[i] = uint16_t(16352 - 32 * i);
  }
};

}  // namespace

const CumulativeModel& UniformModel512() {
  static const Uniform512 u;
  return u.model;
}

const Models& StandardModels() {
  // Only the equal-frequency table is carried: the numeric contents of the other models were not
  // available when this decoder was written, so frames that need them decode as invalid.
  static const Models m = [] {
    Models s;
    s.noise_energy = &UniformModel512();
    return s;
  }();
  return m;
}

}  // namespace bsac
