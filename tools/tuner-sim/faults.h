// Faults armed on the stick, matched against each command in the order they were armed.
#pragma once

#include "config.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tunersim {

class FaultSet {
 public:
  void arm(const FaultSpec& f) { armed_.push_back({f, f.skip, f.count}); }
  void clear() { armed_.clear(); }
  // The fault that takes this command, if any; spends one of its uses.
  std::optional<FaultSpec> take(uint8_t command);
  std::vector<FaultSpec> armed() const;

 private:
  struct Armed {
    FaultSpec spec;
    int skip_left;
    int uses_left;
  };
  std::vector<Armed> armed_;
};

}  // namespace tunersim
