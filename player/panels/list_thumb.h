// The skinned list bar's thumb as plain arithmetic: 26 pixels of the bar are not travel (the thumb
// and its margin), the rest maps the list's scroll range.
#pragma once

#include <algorithm>

namespace tevalo::panels {

inline constexpr int kListThumbReserve = 26;

// Pixels per scroll step; 0 when the list cannot scroll or the bar has no travel.
inline double ListPixelsPerStep(int barHeight, int scrollLimit) {
  const int travel = barHeight - kListThumbReserve;
  return scrollLimit > 0 && travel > 0 ? static_cast<double>(travel) / scrollLimit : 0.0;
}

// The thumb's top for a scroll position, kept inside the bar.
inline int ListThumbTop(int barHeight, int scrollLimit, int scrollValue) {
  const int top = static_cast<int>(ListPixelsPerStep(barHeight, scrollLimit) * scrollValue);
  return std::clamp(top, 0, std::max(0, barHeight - kListThumbReserve));
}

// The scroll position a thumb top stands for (truncated), inside 0..limit.
inline int ListScrollForThumb(int barHeight, int scrollLimit, int thumbTop) {
  const double step = ListPixelsPerStep(barHeight, scrollLimit);
  if (step <= 0) return 0;
  return std::clamp(static_cast<int>(thumbTop / step), 0, scrollLimit);
}

}  // namespace tevalo::panels
