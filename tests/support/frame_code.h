// Reads the frame counter that the test broadcasts (tests/fixtures) draw into every picture.
//
// The code: two strips across the top of the picture, 16 blocks each (at 320x180: 20x20 pixels,
// strip 0 in rows 0-19, strip 1 in rows 20-39). Strip 0 holds the frame number, bit 15 in the
// leftmost block, white = 1 and black = 0; strip 1 holds the same blocks inverted, so a picture
// that is not a fixture frame, or a damaged one, reads as "no code" instead of a wrong number.
// Positions scale with the picture size, so scaled pictures read as well. Only the middle half
// of each block is looked at, which keeps coding artefacts at the block edges out.
//
// Flash frames (the A/V sync fixture): the whole picture below the code is white.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tevalo::test {

inline constexpr int kFrameCodeBits = 16;

namespace frame_code_detail {

// Mean brightness (0..255) of the rectangle [x0, x1) x [y0, y1) through the sampler.
template <typename Sample>
int Mean(const Sample& sample, int x0, int y0, int x1, int y1) {
  std::int64_t sum = 0;
  std::int64_t n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      sum += sample(x, y);
      ++n;
    }
  }
  return n ? static_cast<int>(sum / n) : 0;
}

template <typename Sample>
int Read(const Sample& sample, int width, int height, int threshold) {
  if (width < kFrameCodeBits * 2 || height < 18) return -1;
  const int strip = height * 20 / 180;
  int value = 0;
  for (int b = 0; b < kFrameCodeBits; ++b) {
    const int bx0 = b * width / kFrameCodeBits;
    const int bx1 = (b + 1) * width / kFrameCodeBits;
    const int qx = (bx1 - bx0) / 4;
    const int qy = strip / 4;
    const int top = Mean(sample, bx0 + qx, qy, bx1 - qx, strip - qy);
    const int bottom = Mean(sample, bx0 + qx, strip + qy, bx1 - qx, 2 * strip - qy);
    const bool bit = top > threshold;
    if (bit == (bottom > threshold)) return -1;
    // A clear code: both halves well away from the threshold.
    if (top - bottom < 64 && bottom - top < 64) return -1;
    value = (value << 1) | (bit ? 1 : 0);
  }
  return value;
}

template <typename Sample>
bool Flash(const Sample& sample, int width, int height, int threshold) {
  if (width <= 0 || height < 18) return false;
  return Mean(sample, 0, height * 100 / 180, width, height) > threshold;
}

inline int Luma(const std::uint8_t* p) {
  // B, G, R, x: BT.601 weights on full-range RGB.
  return (29 * p[0] + 150 * p[1] + 77 * p[2]) >> 8;
}

}  // namespace frame_code_detail

// Frame number from an 8-bit luma plane (video range), or -1 when no code is readable.
inline int ReadFrameCodeY(const std::uint8_t* plane, int width, int height, std::ptrdiff_t stride) {
  auto sample = [&](int x, int y) { return static_cast<int>(plane[y * stride + x]); };
  return frame_code_detail::Read(sample, width, height, 125);
}

// Frame number from 32-bit BGRx pixels (bytes B, G, R, unused); bottom_up when the first row in
// memory is the bottom row of the picture. -1 when no code is readable.
inline int ReadFrameCodeBgrx(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride,
                             bool bottom_up = false) {
  auto sample = [&](int x, int y) {
    const int row = bottom_up ? height - 1 - y : y;
    return frame_code_detail::Luma(pixels + row * stride + x * 4);
  };
  return frame_code_detail::Read(sample, width, height, 128);
}

// True for a flash frame (white below the code), from a luma plane.
inline bool IsFlashFrameY(const std::uint8_t* plane, int width, int height, std::ptrdiff_t stride) {
  auto sample = [&](int x, int y) { return static_cast<int>(plane[y * stride + x]); };
  return frame_code_detail::Flash(sample, width, height, 190);
}

// True for a flash frame, from BGRx pixels.
inline bool IsFlashFrameBgrx(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t stride,
                             bool bottom_up = false) {
  auto sample = [&](int x, int y) {
    const int row = bottom_up ? height - 1 - y : y;
    return frame_code_detail::Luma(pixels + row * stride + x * 4);
  };
  return frame_code_detail::Flash(sample, width, height, 200);
}

}  // namespace tevalo::test
