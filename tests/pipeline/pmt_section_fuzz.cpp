// Arbitrary programme-map sections with a correct CRC (random bytes almost never pass it), parsed
// alone and carried in packets of the map's PID through the search and the recheck.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/pipeline/programme_map.h"
#include "player/pipeline/section_assembler.h"

using namespace tevalo::pipeline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  // The first byte picks the payload bytes per packet, so sections are cut at every place.
  const size_t perPacket = 1 + data[0] % (kTsPacketSize - 5);
  std::vector<uint8_t> section(data + 1, data + size);
  const uint32_t crc = SectionCrc32(section.data(), section.size());
  for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<uint8_t>(crc >> shift));

  PmtEntries entries;
  ParsePmtSection(section.data(), section.size(), entries);

  // Pointer field 0 in the first packet, then continuation packets with counters in order.
  std::vector<uint8_t> stream;
  uint8_t counter = 0;
  for (size_t pos = 0; pos < section.size(); pos += perPacket) {
    uint8_t packet[kTsPacketSize];
    std::fill(packet, packet + kTsPacketSize, uint8_t(0xFF));
    const bool first = pos == 0;
    packet[0] = kTsSync;
    packet[1] = static_cast<uint8_t>((first ? 0x40 : 0) | (kPmtPid >> 8));
    packet[2] = static_cast<uint8_t>(kPmtPid & 0xFF);
    packet[3] = static_cast<uint8_t>(0x10 | (counter++ & 0x0F));
    size_t at = 4;
    if (first) packet[at++] = 0;
    const size_t n = std::min(perPacket, section.size() - pos);
    std::copy(section.begin() + pos, section.begin() + pos + n, packet + at);
    stream.insert(stream.end(), packet, packet + kTsPacketSize);
  }
  StreamPids pids;
  CProgramMap map(pids);
  for (size_t pos = 0; pos < stream.size(); pos += kTsPacketSize) map.RecheckPmt(stream.data() + pos);
  // The search needs a packet's sync after each packet it reads.
  stream.push_back(kTsSync);
  size_t n = stream.size();
  map.FindPmt(stream.data(), n);
  return 0;
}
