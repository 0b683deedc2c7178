#include "player/pipeline/programme_map.h"

#include <algorithm>
#include <cstring>

namespace tevalo::pipeline {

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

CProgramMap::CProgramMap(StreamPids& pids) : m_pids(pids) {
  m_search.SetHandler(kPmtPid, [this](const uint8_t* s, size_t n) { TakeSection(s, n); });
  m_recheck.SetHandler(kPmtPid, [this](const uint8_t* s, size_t n) {
    if (TakeSection(s, n)) m_recheckFound = true;
  });
}

bool CProgramMap::TakeSection(const uint8_t* section, size_t size) {
  PmtEntries e;
  if (!ParsePmtSection(section, size, e)) return false;
  if (e.video != kNoPid) m_pids.video = e.video;
  if (e.audio != kNoPid) m_pids.audio = e.audio;
  if (e.caption != kNoPid) m_pids.caption = e.caption;
  return e.video != kNoPid && e.audio != kNoPid;
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
    // The PIDs change only when a section is whole, so both set means one was parsed just now.
    m_search.FeedPacket(pkt);
    if (m_pids.video != kNoPid && m_pids.audio != kNoPid) {
      found = 1;
      break;
    }
  }
  n = total - i;
  return found;
}

int CProgramMap::RecheckPmt(const uint8_t* packet) {
  m_recheckFound = false;
  m_recheck.FeedPacket(packet);
  return m_recheckFound ? 1 : 0;
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
