// Planar YUV 4:2:0 (video range, BT.601) to top-down BGRx, in the 16-bit fixed point of the
// original front end (coefficients scaled by 8192, high half of the signed product).
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  ptrdiff_t y_stride, u_stride, v_stride;
  int width, height;
};

// Writes width x height pixels of 4 bytes (B, G, R, 0), dst_stride bytes per row.
void ConvertYuv420ToBgrx(const YuvPlanes& in, uint8_t* dst, ptrdiff_t dst_stride);

// One pixel, for tests and the odd tail of a row.
void YuvPixelToBgrx(uint8_t y, uint8_t u, uint8_t v, uint8_t out[4]);

}  // namespace halvik
