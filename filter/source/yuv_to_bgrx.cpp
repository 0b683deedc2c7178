#include "filter/source/yuv_to_bgrx.h"

#include <algorithm>

namespace halvik {
namespace {

inline int16_t Sat16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }
inline int16_t MulHi(int16_t a, int16_t k) { return static_cast<int16_t>((int32_t{a} * k) >> 16); }
inline uint8_t Clamp8(int16_t v) { return static_cast<uint8_t>(std::clamp<int16_t>(v, 0, 255)); }

constexpr int16_t kY = 0x2568;
constexpr int16_t kVR = 0x3343;
constexpr int16_t kUG = static_cast<int16_t>(0xF36E);
constexpr int16_t kVG = static_cast<int16_t>(0xE5E2);
constexpr int16_t kUB = 0x40CF;

inline void Pixel(uint8_t Y, uint8_t U, uint8_t V, uint8_t* out) {
  const int16_t y = MulHi(static_cast<int16_t>(std::max(Y - 16, 0) * 8), kY);
  const int16_t u = static_cast<int16_t>((U - 128) * 8);
  const int16_t v = static_cast<int16_t>((V - 128) * 8);
  out[0] = Clamp8(Sat16(y + MulHi(u, kUB)));
  out[1] = Clamp8(Sat16(y + Sat16(MulHi(u, kUG) + MulHi(v, kVG))));
  out[2] = Clamp8(Sat16(y + MulHi(v, kVR)));
  out[3] = 0;
}

}  // namespace

void YuvPixelToBgrx(uint8_t y, uint8_t u, uint8_t v, uint8_t out[4]) { Pixel(y, u, v, out); }

void ConvertYuv420ToBgrx(const YuvPlanes& in, uint8_t* dst, ptrdiff_t dst_stride) {
  for (int row = 0; row < in.height; ++row) {
    const uint8_t* y = in.y + row * in.y_stride;
    const uint8_t* u = in.u + (row / 2) * in.u_stride;
    const uint8_t* v = in.v + (row / 2) * in.v_stride;
    uint8_t* out = dst + row * dst_stride;
    for (int x = 0; x < in.width; ++x) Pixel(y[x], u[x / 2], v[x / 2], out + 4 * x);
  }
}

}  // namespace halvik
