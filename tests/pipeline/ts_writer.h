// Builds small transport streams for the stream-engine tests: PES headers, sections, packets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "player/pipeline/section_assembler.h"

namespace tevalo::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// A long-form section: table_id, section_length (with the syntax indicator), the body, the CRC.
inline Bytes PsiSection(uint8_t tableId, const Bytes& body) {
  const size_t sectionLength = body.size() + 4;
  Bytes s = {tableId, uint8_t(0xB0 | (sectionLength >> 8)), uint8_t(sectionLength)};
  Append(s, body);
  const uint32_t crc = pipeline::SectionCrc32(s.data(), s.size());
  for (int i = 3; i >= 0; --i) s.push_back(uint8_t(crc >> (8 * i)));
  return s;
}

struct PmtEntry {
  uint8_t type;
  uint16_t pid;
  Bytes descriptors;
};

// A complete PMT section (table_id 2) with its CRC.
inline Bytes PmtSection(const std::vector<PmtEntry>& entries, const Bytes& programInfo = {},
                        uint16_t pcrPid = 0x1FFF) {
  Bytes s = {0x00,
             0x01,
             0xC1,
             0x00,
             0x00,
             uint8_t(0xE0 | (pcrPid >> 8)),
             uint8_t(pcrPid),
             uint8_t(0xF0 | (programInfo.size() >> 8)),
             uint8_t(programInfo.size())};
  Append(s, programInfo);
  for (const auto& e : entries) {
    s.push_back(e.type);
    s.push_back(uint8_t(0xE0 | (e.pid >> 8)));
    s.push_back(uint8_t(e.pid));
    s.push_back(uint8_t(0xF0 | (e.descriptors.size() >> 8)));
    s.push_back(uint8_t(e.descriptors.size()));
    Append(s, e.descriptors);
  }
  return PsiSection(0x02, s);
}

inline void PutPts(uint8_t* p, uint8_t prefix, int64_t pts) {
  p[0] = uint8_t(prefix << 4 | ((pts >> 29) & 0x0E) | 1);
  p[1] = uint8_t(pts >> 22);
  p[2] = uint8_t(((pts >> 14) & 0xFE) | 1);
  p[3] = uint8_t(pts >> 7);
  p[4] = uint8_t(((pts << 1) & 0xFE) | 1);
}

// A PES packet: header (with PTS when pts >= 0) and payload. length0 writes PES_packet_length 0.
inline Bytes Pes(uint8_t streamId, const Bytes& payload, int64_t pts, bool length0 = false,
                 size_t stuffing = 0) {
  const size_t headerData = (pts >= 0 ? 5 : 0) + stuffing;
  Bytes p = {0, 0, 1, streamId, 0, 0, 0x80, uint8_t(pts >= 0 ? 0x80 : 0x00), uint8_t(headerData)};
  if (pts >= 0) {
    p.resize(14);
    PutPts(p.data() + 9, 0x2, pts);
  }
  p.insert(p.end(), stuffing, 0xFF);
  Append(p, payload);
  const size_t length = length0 ? 0 : p.size() - 6;
  p[4] = uint8_t(length >> 8);
  p[5] = uint8_t(length);
  return p;
}

// Cuts payloads into 188-byte packets, one continuity counter per PID.
class TsWriter {
 public:
  struct Options {
    uint8_t scrambling = 0;  // 0..3
    bool pcr = false;        // an adaptation field with a PCR in the first packet
  };

  // data: a PES or a section (a pointer field 0 is put before sections when psi is set).
  Bytes Packets(uint16_t pid, const Bytes& data, bool psi = false) {
    return Packets(pid, data, psi, Options{0, false});
  }
  Bytes Packets(uint16_t pid, const Bytes& data, bool psi, Options o) {
    Bytes in;
    if (psi) in.push_back(0);
    Append(in, data);
    Bytes out;
    size_t pos = 0;
    bool first = true;
    while (pos < in.size() || first) {
      uint8_t pkt[188];
      size_t room = 184;
      size_t af = 0;
      if (first && o.pcr) af = 8;  // length byte + flags + 6 PCR bytes
      const size_t left = in.size() - pos;
      // PES stuffing goes in the adaptation field; sections are followed by 0xFF bytes.
      if (left < room - af && !psi) af = room - left;
      pkt[0] = 0x47;
      pkt[1] = uint8_t((first ? 0x40 : 0) | (pid >> 8));
      pkt[2] = uint8_t(pid);
      pkt[3] = uint8_t(o.scrambling << 6 | (af ? 0x30 : 0x10) | (m_cc[pid]++ & 0x0F));
      size_t w = 4;
      if (af) {
        pkt[w++] = uint8_t(af - 1);
        if (af > 1) {
          const bool withPcr = first && o.pcr && af >= 8;
          pkt[w++] = withPcr ? 0x10 : 0x00;
          for (size_t k = 2; k < af; ++k) pkt[w++] = withPcr && k < 8 ? 0 : 0xFF;
        }
      }
      const size_t take = std::min(left, 188 - w);
      std::copy(in.begin() + pos, in.begin() + pos + take, pkt + w);
      std::fill(pkt + w + take, pkt + 188, 0xFF);
      pos += take;
      first = false;
      out.insert(out.end(), pkt, pkt + 188);
    }
    return out;
  }

  // An adaptation-only packet (a PCR) on pid; does not advance the counter.
  Bytes PcrOnly(uint16_t pid) {
    Bytes pkt(188, 0xFF);
    pkt[0] = 0x47;
    pkt[1] = uint8_t(pid >> 8);
    pkt[2] = uint8_t(pid);
    pkt[3] = uint8_t(0x20 | ((m_cc[pid] - 1) & 0x0F));
    pkt[4] = 183;
    pkt[5] = 0x10;
    for (int k = 6; k < 12; ++k) pkt[k] = 0;
    return pkt;
  }

  Bytes Null() {
    Bytes pkt(188, 0xFF);
    pkt[0] = 0x47;
    pkt[1] = 0x1F;
    pkt[2] = 0xFF;
    pkt[3] = 0x10;
    return pkt;
  }

  uint8_t& Cc(uint16_t pid) { return m_cc[pid]; }

 private:
  std::map<uint16_t, uint8_t> m_cc;
};

// Writes bits MSB first; exp-Golomb for building parameter sets.
class BitWriter {
 public:
  void Bits(uint32_t v, int n) {
    while (n--) Bit((v >> n) & 1);
  }
  void Bit(uint32_t b) {
    if (m_n == 0) m_out.push_back(0);
    if (b) m_out.back() |= uint8_t(0x80 >> m_n);
    m_n = (m_n + 1) & 7;
  }
  void Ue(uint32_t v) {
    const uint32_t x = v + 1;
    int len = 0;
    while ((x >> len) > 1) ++len;
    Bits(0, len);
    Bits(x, len + 1);
  }
  Bytes Finish() {  // rbsp trailing bits
    Bit(1);
    while (m_n) Bit(0);
    return m_out;
  }

 private:
  Bytes m_out;
  int m_n = 0;
};

// A Baseline SPS NAL (header byte on, no start code) for 320x180; timing when timeScale > 0.
inline Bytes Sps(uint32_t unitsInTick = 0, uint32_t timeScale = 0) {
  BitWriter w;
  w.Bits(0x67, 8);
  w.Bits(66, 8);
  w.Bits(0xC0, 8);
  w.Bits(13, 8);
  w.Ue(0);   // sps id
  w.Ue(0);   // log2_max_frame_num - 4
  w.Ue(0);   // poc type
  w.Ue(0);   // log2_max_poc_lsb - 4
  w.Ue(1);   // refs
  w.Bit(0);  // gaps
  w.Ue(19);  // width in MBs - 1
  w.Ue(11);  // height in map units - 1
  w.Bit(1);  // frame_mbs_only
  w.Bit(1);  // direct_8x8
  w.Bit(1);  // cropping
  w.Ue(0);
  w.Ue(0);
  w.Ue(0);
  w.Ue(6);
  const bool vui = timeScale > 0;
  w.Bit(vui);
  if (vui) {
    w.Bit(0);  // aspect
    w.Bit(0);  // overscan
    w.Bit(0);  // signal type
    w.Bit(0);  // chroma loc
    w.Bit(1);  // timing
    w.Bits(unitsInTick, 32);
    w.Bits(timeScale, 32);
    w.Bit(1);  // fixed rate
    w.Bit(0);
    w.Bit(0);
    w.Bit(0);  // pic_struct
    w.Bit(0);  // bitstream restriction
  }
  return w.Finish();
}

// One ADTS frame of total length len (>= 7), AAC-LC, the given sampling index, stereo; body bytes
// filled with fill (not 0xFF, so no false sync inside).
inline Bytes Adts(size_t len, uint8_t fill = 0x11, int samplingIndex = 6) {
  Bytes f(len, fill);
  f[0] = 0xFF;
  f[1] = 0xF8;  // MPEG-4, layer 0, CRC present
  f[2] = uint8_t(0x40 | (samplingIndex << 2) | 0);
  f[3] = uint8_t(0x80 | ((len >> 11) & 0x03));
  f[4] = uint8_t(len >> 3);
  f[5] = uint8_t(((len & 7) << 5) | 0x1F);
  f[6] = 0xFC;
  return f;
}

}  // namespace tevalo::test
