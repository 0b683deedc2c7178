#include "filter/source/yuv_to_bgrx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Independent reference: ITU-R BT.601 video range in floating point.
void Reference(int y, int u, int v, double out[3]) {
  const double c = 1.164 * (y - 16);
  out[0] = std::clamp(c + 2.018 * (u - 128), 0.0, 255.0);
  out[1] = std::clamp(c - 0.391 * (u - 128) - 0.813 * (v - 128), 0.0, 255.0);
  out[2] = std::clamp(c + 1.596 * (v - 128), 0.0, 255.0);
}

TEST(YuvToBgrx, BlackAndWhite) {
  uint8_t px[4];
  halvik::YuvPixelToBgrx(16, 128, 128, px);
  EXPECT_EQ((std::vector<int>{px[0], px[1], px[2], px[3]}), (std::vector<int>{0, 0, 0, 0}));
  halvik::YuvPixelToBgrx(235, 128, 128, px);
  EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{255, 255, 255}));
  halvik::YuvPixelToBgrx(0, 0, 255, px);  // below video range: clamped, no wrap
  EXPECT_EQ(px[1], 0);
}

// Over video range (luma below 16 is taken as black before scaling, unlike the reference).
TEST(YuvToBgrx, CloseToFloatBt601OverVideoRange) {
  double sum[3] = {}, worst = 0;
  long n = 0;
  for (int y = 16; y <= 235; y += 3)
    for (int u = 16; u <= 240; u += 4)
      for (int v = 16; v <= 240; v += 4) {
        uint8_t px[4];
        double ref[3];
        halvik::YuvPixelToBgrx(uint8_t(y), uint8_t(u), uint8_t(v), px);
        Reference(y, u, v, ref);
        for (int c = 0; c < 3; ++c) {
          const double d = std::abs(px[c] - ref[c]);
          sum[c] += d;
          worst = std::max(worst, d);
        }
        ++n;
      }
  for (double s : sum) EXPECT_LT(s / double(n), 1.0);
  EXPECT_LE(worst, 3.5);
}

TEST(YuvToBgrx, PlanesWithPaddedStridesAndOddSizes) {
  // 29 x 5: eight-pixel groups and an odd tail, an odd height, strides wider than the picture.
  const int w = 29, h = 5, ys = 48, cs = 24, ds = w * 4 + 12;
  std::vector<uint8_t> Y(ys * h), U(cs * 3), V(cs * 3), out(ds * h, 0xEE);
  for (size_t i = 0; i < Y.size(); ++i) Y[i] = uint8_t(16 + i * 7 % 220);
  // Extremes included: they exercise every saturation of the packed arithmetic.
  for (size_t i = 0; i < U.size(); ++i) U[i] = uint8_t(i * 37), V[i] = uint8_t(255 - i * 11);
  Y[0] = 0, Y[1] = 255, U[0] = 0, V[0] = 255, U[1] = 255, V[1] = 0, Y[2] = 255, Y[3] = 255;
  halvik::ConvertYuv420ToBgrx({Y.data(), U.data(), V.data(), ys, cs, cs, w, h}, out.data(), ds);
  for (int r = 0; r < h; ++r) {
    for (int x = 0; x < w; ++x) {
      uint8_t px[4];
      halvik::YuvPixelToBgrx(Y[r * ys + x], U[(r / 2) * cs + x / 2], V[(r / 2) * cs + x / 2], px);
      ASSERT_TRUE(std::equal(px, px + 4, &out[r * ds + x * 4])) << r << "," << x;
    }
    EXPECT_EQ(out[r * ds + w * 4], 0xEE);  // nothing written past the row
  }
}

}  // namespace
