// Splits an H.264 access unit into its NAL units for comparing units by content: a unit may begin
// with a start code or (carried over a PES boundary) with its delimiter's header byte, and may end
// with the zero byte of the next 4-byte start code.
#pragma once

#include <cstdint>
#include <vector>

namespace tevalo::test {

inline std::vector<std::vector<uint8_t>> NalUnits(const std::vector<uint8_t>& au) {
  std::vector<std::vector<uint8_t>> out;
  size_t start = 0;
  auto close = [&](size_t end) {
    while (end > start && au[end - 1] == 0) --end;  // zeros before a start code belong to it
    if (end > start) out.emplace_back(au.begin() + start, au.begin() + end);
  };
  size_t i = 0;
  while (i + 3 <= au.size()) {
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) {
      close(i);
      i += 3;
      start = i;
    } else {
      ++i;
    }
  }
  close(au.size());
  return out;
}

}  // namespace tevalo::test
