// Small elementary-stream helpers for the filter tests: access units split at their delimiters,
// the parameter sets of an access unit, ADTS frames and their CRC-carrying form.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ipc/stream_headers.h"

namespace testes {

using Bytes = std::vector<uint8_t>;

inline std::string DataPath(const std::string& name) {
  const char* src = std::getenv("TEVALO_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/filter_source/data/" + name;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Offsets of every start code (3- or 4-byte; the offset is of its first byte) with the NAL type.
struct Nal {
  size_t start;    // first byte of the start code
  size_t payload;  // the NAL header byte
  int type;
};
inline std::vector<Nal> FindNals(const Bytes& b) {
  std::vector<Nal> out;
  for (size_t i = 0; i + 3 < b.size(); ++i) {
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
      const size_t s = (i > 0 && b[i - 1] == 0) ? i - 1 : i;
      out.push_back({s, i + 3, b[i + 3] & 0x1F});
      i += 2;
    }
  }
  return out;
}

inline std::vector<Bytes> SplitAccessUnits(const Bytes& b) {
  std::vector<Bytes> aus;
  std::vector<size_t> cuts;
  for (const Nal& n : FindNals(b))
    if (n.type == 9) cuts.push_back(n.start);
  cuts.push_back(b.size());
  for (size_t i = 0; i + 1 < cuts.size(); ++i)
    aus.emplace_back(b.begin() + long(cuts[i]), b.begin() + long(cuts[i + 1]));
  return aus;
}

// The sequence and picture parameter sets of an access unit, each with a 4-byte start code.
inline Bytes ParameterSets(const Bytes& au) {
  Bytes out;
  const auto nals = FindNals(au);
  for (size_t i = 0; i < nals.size(); ++i) {
    if (nals[i].type != 7 && nals[i].type != 8) continue;
    const size_t end = i + 1 < nals.size() ? nals[i + 1].start : au.size();
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), au.begin() + long(nals[i].payload), au.begin() + long(end));
  }
  return out;
}

inline std::vector<Bytes> SplitAdts(const Bytes& b) {
  std::vector<Bytes> frames;
  size_t i = 0;
  while (i < b.size()) {
    const auto h = streamhdr::ReadAdtsHeader(b.data() + i, b.size() - i);
    const size_t len = h ? h->frame_length : 0;
    if (len < 7 || i + len > b.size()) break;
    frames.emplace_back(b.begin() + long(i), b.begin() + long(i + len));
    i += len;
  }
  return frames;
}

// The frame as the broadcast carries it: sync FF F8 (MPEG-2 identifier, CRC present).
inline Bytes WithCrc(const Bytes& f) {
  if (f.size() < 7 || (f[1] & 1) == 0) return f;
  Bytes out(f.begin(), f.begin() + 7);
  out[1] = 0xF8;
  const size_t len = f.size() + 2;
  out[3] = uint8_t((out[3] & 0xFC) | (len >> 11));
  out[4] = uint8_t(len >> 3);
  out[5] = uint8_t((out[5] & 0x1F) | ((len & 7) << 5));
  out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), f.begin() + 7, f.end());
  return out;
}

}  // namespace testes
