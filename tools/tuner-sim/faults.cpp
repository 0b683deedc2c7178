#include "faults.h"

namespace tunersim {

std::optional<FaultSpec> FaultSet::take(uint8_t command) {
  for (auto it = armed_.begin(); it != armed_.end(); ++it) {
    if (it->spec.cmd >= 0 && it->spec.cmd != command) continue;
    if (it->skip_left > 0) {
      --it->skip_left;
      continue;
    }
    FaultSpec f = it->spec;
    if (it->spec.count > 0 && --it->uses_left == 0) armed_.erase(it);
    return f;
  }
  return std::nullopt;
}

std::vector<FaultSpec> FaultSet::armed() const {
  std::vector<FaultSpec> out;
  for (const auto& a : armed_) out.push_back(a.spec);
  return out;
}

}  // namespace tunersim
