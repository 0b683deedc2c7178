#include "player/pipeline/programme_map.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tevalo::pipeline {

void CPmtSectionAssembler::Reset() {
  m_collected = 0;
  m_total = 0;
  m_inProgress = false;
  m_lastCc = -1;
}

CPmtSectionAssembler::Result CPmtSectionAssembler::Feed(const uint8_t* packet) {
  size_t pos = 4;
  const int afc = TsAdaptationControl(packet);
  if (afc == 0 || afc == 2) return Result::kNone;  // no payload
  if (afc == 3) {
    pos += 1 + packet[4];
    if (pos >= kTsPacketSize) return Result::kNone;
  }
  const int cc = TsContinuity(packet);
  if (TsPayloadStart(packet)) {
    const size_t pointer = packet[pos];
    pos += 1 + pointer;
    // The table_id and the two length bytes must lie in this packet.
    if (pos + 3 > kTsPacketSize) return Result::kNone;
    if (packet[pos] == 0x02) {
      m_collected = 0;
      m_total = ((size_t(packet[pos + 1] & 0x0F) << 8) | packet[pos + 2]) + 3;
      m_inProgress = true;
    } else {
      m_inProgress = false;
      m_lastCc = -1;
      m_collected = 0;
      return Result::kNone;
    }
  } else {
    if (!m_inProgress) return Result::kNone;
    if (cc != ((m_lastCc + 1) & 0x0F)) {
      m_inProgress = false;
      m_lastCc = -1;
      m_collected = 0;
      return Result::kNone;
    }
  }
  m_lastCc = cc;
  const size_t take = std::min(kTsPacketSize - pos, m_total - m_collected);
  std::memcpy(m_section + m_collected, packet + pos, take);
  m_collected += take;
  if (m_collected < m_total) return Result::kNone;
  m_inProgress = false;
  m_lastCc = -1;
  m_collected = 0;
  return Result::kComplete;
}

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

bool ParsePmtSection(const uint8_t* s, size_t length, PmtEntries& out) {
  // table_id .. program_info_length is 12 bytes; the CRC takes the last 4.
  if (length < 16 || s[0] != 0x02) return false;
  // A bit error in a PID would send the streams elsewhere: only an intact section counts.
  if (SectionCrc32(s, length) != 0) return false;
  const size_t programInfo = (size_t(s[10] & 0x0F) << 8) | s[11];
  if (length < programInfo + 5) return false;
  const size_t end = length - 4;
  size_t p = 12 + programInfo;
  while (p + 5 <= end) {
    const uint8_t type = s[p];
    const uint16_t pid = static_cast<uint16_t>(((s[p + 1] & 0x1F) << 8) | s[p + 2]);
    const size_t infoLength = (size_t(s[p + 3] & 0x0F) << 8) | s[p + 4];
    if (type == kStreamTypeH264 && out.video == kNoPid)
      out.video = pid;
    else if (type == kStreamTypeAac && out.audio == kNoPid)
      out.audio = pid;
    else if (type == kStreamTypeCaption && out.caption == kNoPid)
      out.caption = pid;
    p += 5 + infoLength;
  }
  return true;
}

int CProgramMap::FindPmt(const uint8_t* buffer, size_t& n) {
  m_pids.Clear();
  const size_t total = n;
  if (total <= kTsPacketSize) return 0;  // n stays: nothing could be parsed
  size_t i = 0;
  while (i + kTsPacketSize < total && !(buffer[i] == kTsSync && buffer[i + kTsPacketSize] == kTsSync)) ++i;
  if (i + kTsPacketSize >= total) {
    n = kTsPacketSize;
    return 0;
  }
  int found = 0;
  while (i + kTsPacketSize < total) {
    const uint8_t* pkt = buffer + i;
    if (pkt[0] != kTsSync || pkt[kTsPacketSize] != kTsSync) {
      ++i;  // lost sync: look for it again
      continue;
    }
    i += kTsPacketSize;
    if (TsPid(pkt) != kPmtPid) continue;
    if (m_search.Feed(pkt) != CPmtSectionAssembler::Result::kComplete) continue;
    PmtEntries e;
    if (!ParsePmtSection(m_search.Section(), m_search.SectionLength(), e)) continue;
    if (e.video != kNoPid) m_pids.video = e.video;
    if (e.audio != kNoPid) m_pids.audio = e.audio;
    if (e.caption != kNoPid) m_pids.caption = e.caption;
    if (m_pids.video != kNoPid && m_pids.audio != kNoPid) {
      found = 1;
      break;
    }
  }
  n = total - i;
  return found;
}

int CProgramMap::RecheckPmt(const uint8_t* packet) {
  if (m_recheck.Feed(packet) != CPmtSectionAssembler::Result::kComplete) return 0;
  PmtEntries e;
  if (!ParsePmtSection(m_recheck.Section(), m_recheck.SectionLength(), e)) return 0;
  // A section that lacks an entry keeps the last good PID.
  if (e.video != kNoPid) m_pids.video = e.video;
  if (e.audio != kNoPid) m_pids.audio = e.audio;
  if (e.caption != kNoPid) m_pids.caption = e.caption;
  return (e.video != kNoPid && e.audio != kNoPid) ? 1 : 0;
}

bool CPmtSearchBuffer::PushBlock(const uint8_t* block, size_t size, bool search, bool* searched) {
  if (searched) *searched = false;
  size = std::min(size, kCapacity);
  if (m_fill + size > kCapacity) {
    const size_t keep =
        std::min(m_fill, kCapacity - size < kKeepOnOverflow ? kCapacity - size : kKeepOnOverflow);
    std::memmove(m_buffer, m_buffer + m_fill - keep, keep);
    m_fill = keep;
  }
  std::memcpy(m_buffer + m_fill, block, size);
  m_fill += size;
  if (m_fill < kMinToSearch || !search) return false;
  size_t left = m_fill;
  const int found = m_map.FindPmt(m_buffer, left);
  if (searched) *searched = true;
  left = std::min(left, m_fill);
  std::memmove(m_buffer, m_buffer + m_fill - left, left);
  m_fill = left;
  return found == 1;
}

}  // namespace tevalo::pipeline
