#include "euc_jp.h"

#include "jis_table.h"

namespace aribtext {
namespace {

constexpr char16_t kUnknown = u'\u30FB';

bool IsGr(uint8_t b) { return b >= 0xA1 && b <= 0xFE; }

}  // namespace

std::u16string DecodeEucJp(const uint8_t* data, size_t size, size_t maxChars) {
  std::u16string out;
  size_t i = 0;
  while (i < size && out.size() < maxChars) {
    const uint8_t b = data[i];
    const size_t left = size - i;
    if (b == 0x8E && left >= 2 && data[i + 1] >= 0xA1 && data[i + 1] <= 0xDF) {
      out.push_back(static_cast<char16_t>(0xFF61 + (data[i + 1] - 0xA1)));
      i += 2;
    } else if (b == 0x8F && left >= 3 && IsGr(data[i + 1]) && IsGr(data[i + 2])) {
      const char16_t c =
          JisX0212ToUnicode(static_cast<uint16_t>(((data[i + 1] & 0x7F) << 8) | (data[i + 2] & 0x7F)));
      out.push_back(c ? c : kUnknown);
      i += 3;
    } else if ((b == 0x8E || b == 0x8F) && left < (b == 0x8E ? 2u : 3u)) {
      break;  // sequence cut off at the end
    } else if (b <= 0xA0) {
      out.push_back(b);
      ++i;
    } else if (b == 0xFF) {
      out.push_back(kUnknown);
      ++i;
    } else if (left < 2) {
      break;
    } else if (!IsGr(data[i + 1])) {
      out.push_back(kUnknown);  // the next byte is read on its own
      ++i;
    } else {
      const uint8_t row = b & 0x7F, cell = data[i + 1] & 0x7F;
      if (b >= 0xF5) {
        out.push_back(static_cast<char16_t>(0xE000 + (b - 0xF5) * 94 + (cell - 0x21)));
      } else {
        const char16_t c = JisX0208ToUnicode(static_cast<uint16_t>((row << 8) | cell));
        out.push_back(c ? c : kUnknown);
      }
      i += 2;
    }
  }
  return out;
}

}  // namespace aribtext
