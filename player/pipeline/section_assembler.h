// Collects the PSI/SI sections of chosen PIDs from their packets and hands every whole section to
// that PID's handler: the programme map (PMT), the service description (SDT) and the event
// information (EIT) are handlers of whole sections, and each checks the CRC with SectionCrc32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tevalo::pipeline {

// MPEG-2 CRC-32 (polynomial 0x04C11DB7, no reflection, initial all ones); over a whole section with
// its CRC it is 0.
uint32_t SectionCrc32(const uint8_t* p, size_t n);

class CSectionAssembler {
 public:
  // Longest section collected (section_length + 3); longer ones are passed over.
  static constexpr size_t kMaxSection = 4096;
  using Handler = std::function<void(const uint8_t* section, size_t size)>;

  CSectionAssembler() = default;
  CSectionAssembler(const CSectionAssembler&) = delete;
  CSectionAssembler& operator=(const CSectionAssembler&) = delete;

  // Sections of `pid` go to `handler` (replacing an earlier one). Handlers run inside Feed.
  void SetHandler(uint16_t pid, Handler handler);

  // The payload of one packet of `pid` (after its adaptation field) with the packet's payload-unit
  // start indicator and continuity counter. A section may span packets and a packet may hold
  // several; stuffing (0xFF) ends a packet's sections. A counter that does not follow the previous
  // packet's, or a unit start that comes before the section's end, drops the section being collected.
  // PIDs without a handler are ignored.
  void Feed(uint16_t pid, bool unitStart, int continuity, const uint8_t* payload, size_t size);
  // A whole 188-byte packet: scrambled packets and adaptation fields longer than the packet drop
  // the PID's section, packets without payload leave it alone.
  void FeedPacket(const uint8_t* packet);

  // Drops what is being collected for `pid` (a damaged packet) or for every PID.
  void Reset(uint16_t pid);
  void Reset();

 private:
  struct Stream {
    uint16_t pid;
    Handler handler;
    std::unique_ptr<uint8_t[]> section;  // kMaxSection bytes
    size_t fill = 0;                     // 0: no section in progress
    int lastContinuity = -1;
  };
  Stream* Find(uint16_t pid);
  // Appends up to n bytes to the section in progress and delivers it when whole.
  void Append(Stream& s, const uint8_t* p, size_t n);

  std::vector<Stream> m_streams;  // a handful of PIDs: a linear search
};

}  // namespace tevalo::pipeline
