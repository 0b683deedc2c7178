#include "player/pipeline/ts_demux.h"

#include <algorithm>
#include <cstring>

namespace tevalo::pipeline {

CTsDemux::CTsDemux(StreamPids& pids, CProgramMap& map, IStreamPacketSink& sink, ITextDecoders& text)
    : m_pids(pids), m_map(map), m_sink(sink), m_text(&text), m_buffer(kCapacity) {
  m_video.kind = 1;
  m_audio.kind = 0;
  m_sections.SetHandler(kSdtPid, [this](const uint8_t* s, size_t n) { m_text->DecodeServiceName(s, n); });
  m_sections.SetHandler(kEitPid, [this](const uint8_t* s, size_t n) { m_text->DecodeEventInfo(s, n); });
}

void CTsDemux::ResetAssemblers() {
  m_video.Reset();
  m_video.lastCc = -1;
  m_audio.Reset();
  m_audio.lastCc = -1;
  m_sections.Reset();
  m_text->ResetCaption();
}

void CTsDemux::Reset() {
  m_fill = 0;
  m_locked = false;
  ResetAssemblers();
}

void CTsDemux::PushBlock(const uint8_t* block, size_t size) {
  size = std::min(size, kCapacity);
  if (m_fill + size > kCapacity) {
    const size_t keep = std::min(m_fill, kCapacity - size);
    std::memmove(m_buffer.data(), m_buffer.data() + m_fill - keep, keep);
    m_fill = keep;
    m_locked = false;
    ResetAssemblers();
  }
  std::memcpy(m_buffer.data() + m_fill, block, size);
  m_fill += size;
  const size_t used = RunPacketLoop(m_buffer.data(), m_fill);
  std::memmove(m_buffer.data(), m_buffer.data() + used, m_fill - used);
  m_fill -= used;
}

size_t CTsDemux::RunPacketLoop(const uint8_t* buffer, size_t n) {
  constexpr size_t kTwo = 2 * kTsPacketSize;
  size_t i = 0;
  bool locked = m_locked;
  while (i < n) {
    if (n - i < kTsPacketSize + 1) break;
    const bool here = buffer[i] == kTsSync, next = buffer[i + kTsPacketSize] == kTsSync;
    if (locked && !(here && next)) {
      // In step, a packet with a damaged sync byte is one packet, not a reason to search again.
      if (n - i < kTwo + 1) break;
      if (buffer[i + kTwo] == kTsSync && (here || next)) {
        if (here) Packet(buffer + i);
        i += kTsPacketSize;
        continue;
      }
    }
    if (!here || !next) {
      locked = false;
      ++i;
      continue;
    }
    Packet(buffer + i);
    i += kTsPacketSize;
    locked = true;
  }
  m_locked = locked;
  return i;
}

void CTsDemux::Packet(const uint8_t* pkt) {
  ++m_counters.packets;
  const uint16_t pid = TsPid(pkt);
  PesAssembler* pes = nullptr;
  bool sections = false;  // SDT or EIT; else the caption PID
  if (pid == m_pids.video.load(std::memory_order_relaxed)) {
    pes = &m_video;
  } else if (pid == m_pids.audio.load(std::memory_order_relaxed)) {
    pes = &m_audio;
  } else if (pid == kPmtPid) {
    m_map.RecheckPmt(pkt);
    return;
  } else if (pid == kSdtPid || pid == kEitPid) {
    sections = true;
  } else if (pid != m_pids.caption.load(std::memory_order_relaxed) || pid == kNoPid) {
    return;
  }

  auto reset = [&] {
    if (pes)
      pes->Reset();
    else if (sections)
      m_sections.Reset(pid);
    else
      m_text->ResetCaption();
  };
  if (TsScrambled(pkt)) {
    ++m_counters.scrambled;
    reset();
    return;
  }
  const uint8_t* payload = pkt + 4;
  size_t size = kTsPacketSize - 4;
  bool discontinuity = false;
  const int afc = TsAdaptationControl(pkt);
  if (afc == 0) return;  // reserved: nothing carried
  if (afc & 0x02) {
    const size_t af = 1 + size_t(pkt[4]);
    if (af > size) {
      ++m_counters.malformed;
      reset();
      return;
    }
    discontinuity = pkt[4] > 0 && (pkt[5] & 0x80) != 0;
    payload += af;
    size -= af;
    // An adaptation-only packet (a PCR) carries nothing and leaves the PES alone.
    if (afc == 2 || size == 0) return;
  }
  const bool pusi = TsPayloadStart(pkt);
  if (pes) {
    ToPes(pkt, payload, size, discontinuity, *pes);
    return;
  }
  if (sections)
    m_sections.Feed(pid, pusi, TsContinuity(pkt), payload, size);
  else if (m_text->ParseCaptionPes(pusi, payload, size) == 0)
    m_text->ResetCaption();
}

void CTsDemux::ToPes(const uint8_t* pkt, const uint8_t* payload, size_t size, bool discontinuity,
                     PesAssembler& a) {
  const int cc = TsContinuity(pkt);
  if (a.lastCc >= 0 && !discontinuity) {
    if (cc == a.lastCc) return;  // a repeated packet
    if (cc != ((a.lastCc + 1) & 0x0F)) {
      ++m_counters.continuityGaps;
      CutAtLoss(a, m_sink, (cc - a.lastCc - 1) & 0x0F);
    }
  }
  a.lastCc = cc;
  const bool pusi = TsPayloadStart(pkt);
  if (!pusi && a.expected == 0) {
    a.Reset();
    return;
  }
  if (AssemblePes(pusi, payload, size, a, m_sink) == 0) {
    ++m_counters.refused;
    a.Reset();
  }
}

}  // namespace tevalo::pipeline
