#include "player/pipeline/section_assembler.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "player/pipeline/ts_constants.h"

namespace tevalo::pipeline {
namespace {

constexpr size_t kSectionHeader = 3;  // table_id and section_length

size_t SectionLength(const uint8_t* p) { return kSectionHeader + ((size_t(p[1] & 0x0F) << 8) | p[2]); }

}  // namespace

uint32_t SectionCrc32(const uint8_t* p, size_t n) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ p[i]) & 0xFF];
  return crc;
}

void CSectionAssembler::SetHandler(uint16_t pid, Handler handler) {
  if (Stream* s = Find(pid)) {
    s->handler = std::move(handler);
    return;
  }
  m_streams.push_back({pid, std::move(handler), std::make_unique<uint8_t[]>(kMaxSection)});
}

CSectionAssembler::Stream* CSectionAssembler::Find(uint16_t pid) {
  for (Stream& s : m_streams)
    if (s.pid == pid) return &s;
  return nullptr;
}

void CSectionAssembler::Reset(uint16_t pid) {
  if (Stream* s = Find(pid)) {
    s->fill = 0;
    s->lastContinuity = -1;
  }
}

void CSectionAssembler::Reset() {
  for (Stream& s : m_streams) {
    s.fill = 0;
    s.lastContinuity = -1;
  }
}

void CSectionAssembler::Append(Stream& s, const uint8_t* p, size_t n) {
  if (s.fill < kSectionHeader) {
    const size_t take = std::min(n, kSectionHeader - s.fill);
    std::memcpy(s.section.get() + s.fill, p, take);
    s.fill += take, p += take, n -= take;
    if (s.fill < kSectionHeader) return;
  }
  const size_t total = SectionLength(s.section.get());
  if (total > kMaxSection) {
    s.fill = 0;  // too long to collect
    return;
  }
  const size_t take = std::min(n, total - s.fill);  // what follows the section is stuffing
  std::memcpy(s.section.get() + s.fill, p, take);
  s.fill += take;
  if (s.fill == total) {
    s.fill = 0;
    s.handler(s.section.get(), total);
  }
}

void CSectionAssembler::Feed(uint16_t pid, bool unitStart, int continuity, const uint8_t* p, size_t n) {
  Stream* s = Find(pid);
  if (!s) return;
  // A packet lost or repeated between two parts of a section leaves a hole or a seam in it.
  if (s->lastContinuity >= 0 && continuity != ((s->lastContinuity + 1) & 0x0F)) s->fill = 0;
  s->lastContinuity = continuity;
  if (!unitStart) {
    if (s->fill) Append(*s, p, n);
    return;
  }
  if (n == 0 || size_t(p[0]) + 1 > n) {
    s->fill = 0;
    return;
  }
  const size_t pointer = p[0];
  if (s->fill) Append(*s, p + 1, pointer);
  s->fill = 0;  // a section still incomplete here has lost bytes
  for (size_t i = 1 + pointer; i < n && p[i] != 0xFF;) {
    const size_t rem = n - i;
    if (rem >= kSectionHeader) {
      const size_t total = SectionLength(p + i);
      if (total > kMaxSection) return;
      if (rem >= total) {
        s->handler(p + i, total);
        i += total;
        continue;
      }
    }
    Append(*s, p + i, rem);  // the section goes on in the next packet
    return;
  }
}

void CSectionAssembler::FeedPacket(const uint8_t* pkt) {
  const uint16_t pid = TsPid(pkt);
  if (!Find(pid)) return;
  if (TsScrambled(pkt)) {
    Reset(pid);
    return;
  }
  const int afc = TsAdaptationControl(pkt);
  if (!(afc & 0x01)) return;  // no payload: the counter does not move either
  size_t pos = 4;
  if (afc & 0x02) {
    pos += 1 + size_t(pkt[4]);
    if (pos >= kTsPacketSize) {
      Reset(pid);
      return;
    }
  }
  Feed(pid, TsPayloadStart(pkt), TsContinuity(pkt), pkt + pos, kTsPacketSize - pos);
}

}  // namespace tevalo::pipeline
