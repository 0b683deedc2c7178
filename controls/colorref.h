#pragma once
// COLORREF values as the skins and settings store them: 0x00BBGGRR.
#include <QColor>
#include <cstdint>

using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

QColor ColorFromColorRef(COLORREF c);
COLORREF ColorRefFromColor(const QColor& c);
