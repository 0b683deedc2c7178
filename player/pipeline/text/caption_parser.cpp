#include "caption_parser.h"

#include <algorithm>
#include <string>

#include "euc_jp.h"

namespace aribtext {
namespace {

constexpr size_t kMaxStatement = 511;  // bytes of statement text read from one group
constexpr size_t kMaxChars = 512;
constexpr size_t kLineChars = 511;  // plus the terminating zero

char16_t Replace(char16_t c) {
  switch (c) {
    case u'\uE292':
      return u'\u21E8';
    case u'\uE33D':
      return u'\u203C';
    case u'\uE347':
      return u'\u300B';
    case u'\uE348':
      return u'\u300A';
    case u'\uE349':
      return u'\u266C';
    default:
      return c;
  }
}

void FinishLine(CaptionLine& line) {
  size_t len = std::char_traits<char16_t>::length(line.text);
  while (len > 0 && line.text[len - 1] < 0x100) line.text[--len] = 0;
  for (size_t k = 0; k < len; ++k) {
    char16_t& c = line.text[k];
    if (c >= 0xFF01 && c <= 0xFF5E)
      c = static_cast<char16_t>(c - 0xFF01 + 0x21);
    else if (c == 0xFFFC)
      c = u' ';
    else if (c == 0x3001)
      c = 0xFF64;
  }
}

void Walk(const std::u16string& text, CaptionScreen& screen) {
  int line = -1;  // none started yet
  size_t pos = 0;
  for (size_t k = 0; k < text.size(); ++k) {
    const char16_t c = text[k];
    CaptionLine* cur = (line >= 0 && line < 8) ? &screen[static_cast<size_t>(line)] : nullptr;
    if (c >= 0x08 && c <= 0x0D) {
      if (line < 8) ++line;  // stops counting past the eighth: later text is dropped
      pos = 0;
      if (line < 8) {
        if (c == 0x0C) screen[static_cast<size_t>(line)].clearFlag = 1;
        if (c == 0x0D) screen[static_cast<size_t>(line)].crFlag = 2;
      }
    } else if (c >= 0x80 && c <= 0x87) {
      if (cur) cur->colour = c - 0x7F;
    } else if (c == 0x9D && k + 1 < text.size() && text[k + 1] == 0x20) {
      if (k + 2 < text.size() && cur) cur->timeValue = text[k + 2] & 0x3F;
      k += 2;
    } else if (c <= 0x1F || (c >= 0x80 && c <= 0xA0)) {
      // other controls
    } else if (cur && pos < kLineChars) {
      cur->text[pos++] = Replace(c);
    }
  }
  const int last = std::min(line, 7);
  for (int i = 0; i <= last; ++i) {
    FinishLine(screen[static_cast<size_t>(i)]);
    screen[static_cast<size_t>(i)].lineCount = last + 1;
  }
}

// CRC-16/CCITT (polynomial 0x1021, initial 0) of a data group; 0 over a group with its CRC.
uint16_t GroupCrc(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint16_t(p[i] << 8);
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
  }
  return crc;
}

uint32_t Be24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }

}  // namespace

void ResetScreen(CaptionScreen& screen) {
  for (CaptionLine& l : screen) {
    l = CaptionLine{};
    l.crFlag = 1;
    l.colour = 8;
  }
}

bool ParseCaptionGroup(const uint8_t* data, size_t size, CaptionScreen& screen) {
  // data identifier, private stream id, then a header of PES_data_packet_header_length bytes
  if (size < 3) return false;
  const size_t skip = size_t(data[2] & 0x0F);
  if (size < skip + 9) return false;
  const uint8_t* d = data + skip;  // offsets below as without that header
  size_t n = size - skip;
  const uint8_t group = d[3] >> 2;
  if (group != 0x01 && group != 0x21) return false;  // statement, first language, group A or B
  // A group that ends within this packet must be intact; a longer one is read as far as it goes.
  const size_t groupEnd = 3 + 5 + ((size_t(d[6]) << 8) | d[7]) + 2;
  if (groupEnd <= n && GroupCrc(d + 3, groupEnd - 3) != 0) return false;
  n = std::min(n, groupEnd - 2);  // the units end where the CRC begins
  const uint8_t tmd = d[8] >> 6;
  const size_t x = (tmd == 1 || tmd == 2) ? 14 : 9;  // a 5-byte STM follows in the timed modes
  if (n < x + 3) return false;
  const size_t loopEnd = std::min(n, x + 3 + Be24(d + x));

  uint8_t statement[kMaxStatement];
  size_t have = 0;
  bool found = false;
  for (size_t u = x + 3; u + 5 <= loopEnd;) {
    if (d[u] != 0x1F) break;  // not a data unit
    const uint8_t parameter = d[u + 1];
    const size_t size = Be24(d + u + 2);
    const size_t start = u + 5;
    const size_t avail = std::min(size, n - start);  // cut at the packet's end
    if (parameter == 0x20 && size >= 1 && size <= kMaxStatement) {
      found = true;
      const size_t take = std::min(avail, kMaxStatement - have);
      std::copy(d + start, d + start + take, statement + have);
      have += take;
    }
    if (size > n - start) break;
    u = start + size;
  }
  if (!found) return false;

  ResetScreen(screen);
  Walk(DecodeEucJp(statement, have, kMaxChars), screen);
  return true;
}

}  // namespace aribtext
