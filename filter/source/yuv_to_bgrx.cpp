#include "filter/source/yuv_to_bgrx.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
// Eight pixels in packed 16-bit arithmetic; the same results as Pixel().
inline void Pixels8(const uint8_t* Y, const uint8_t* U, const uint8_t* V, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y8 = _mm_subs_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Y)), _mm_set1_epi8(16));
  const __m128i y = _mm_mulhi_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(y8, zero), 3), _mm_set1_epi16(kY));
  int32_t u4, v4;
  std::memcpy(&u4, U, 4);
  std::memcpy(&v4, V, 4);
  const __m128i c128 = _mm_set1_epi16(128);
  __m128i u = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), zero), c128), 3);
  __m128i v = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v4), zero), c128), 3);
  u = _mm_unpacklo_epi16(u, u);  // each chroma sample serves two pixels
  v = _mm_unpacklo_epi16(v, v);
  const __m128i r = _mm_adds_epi16(y, _mm_mulhi_epi16(v, _mm_set1_epi16(kVR)));
  const __m128i g = _mm_adds_epi16(
      y, _mm_adds_epi16(_mm_mulhi_epi16(u, _mm_set1_epi16(kUG)), _mm_mulhi_epi16(v, _mm_set1_epi16(kVG))));
  const __m128i b = _mm_adds_epi16(y, _mm_mulhi_epi16(u, _mm_set1_epi16(kUB)));
  const __m128i bg = _mm_unpacklo_epi8(_mm_packus_epi16(b, zero), _mm_packus_epi16(g, zero));
  const __m128i r0 = _mm_unpacklo_epi8(_mm_packus_epi16(r, zero), zero);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, r0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg, r0));
}
#endif

void ConvertYuv420ToBgrx(const YuvPlanes& in, uint8_t* dst, ptrdiff_t dst_stride) {
  for (int row = 0; row < in.height; ++row) {
    const uint8_t* y = in.y + row * in.y_stride;
    const uint8_t* u = in.u + (row / 2) * in.u_stride;
    const uint8_t* v = in.v + (row / 2) * in.v_stride;
    uint8_t* out = dst + row * dst_stride;
    int x = 0;
#ifdef __SSE2__
    for (; x + 8 <= in.width; x += 8) Pixels8(y + x, u + x / 2, v + x / 2, out + 4 * x);
#endif
    for (; x < in.width; ++x) Pixel(y[x], u[x / 2], v[x / 2], out + 4 * x);
  }
}

}  // namespace halvik
