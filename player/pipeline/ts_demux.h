// The demultiplexer: walks 188-byte packets in a linear buffer fed block by block, reassembles the
// video and audio PES, hands the caption PES packets and the whole SDT and EIT sections to the text
// decoders and the programme map's packets to its recheck.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/pipeline/pes_assembler.h"
#include "player/pipeline/programme_map.h"
#include "player/pipeline/section_assembler.h"
#include "player/pipeline/text_decoders.h"

namespace tevalo::pipeline {

class CTsDemux {
 public:
  static constexpr size_t kCapacity = 100 * 1128 + 188;
  static constexpr size_t kKeepOnOverflow = kCapacity - 1128;

  CTsDemux(StreamPids& pids, CProgramMap& map, IStreamPacketSink& sink, ITextDecoders& text);
  CTsDemux(const CTsDemux&) = delete;
  CTsDemux& operator=(const CTsDemux&) = delete;

  // Appends one block and parses every complete packet; a packet whose successor's sync byte has not
  // arrived yet waits for the next block.
  void PushBlock(const uint8_t* block, size_t size);

  // Parses packets in bytes [0, n); returns the offset of the first byte not parsed. A packet is
  // taken where its successor's sync byte is in place, or, in step with the packets before it, where
  // the one after that is (a flipped sync byte loses one packet, not two).
  size_t RunPacketLoop(const uint8_t* buffer, size_t n);

  // Forget the buffer and everything being assembled.
  void Reset();
  void ResetAssemblers();

  void SetTextDecoders(ITextDecoders& text) { m_text = &text; }

  struct Counters {
    uint64_t packets = 0;  // packets with a sync byte at both ends
    uint64_t scrambled = 0;
    uint64_t malformed = 0;  // adaptation field longer than the packet
    uint64_t continuityGaps = 0;
    uint64_t refused = 0;  // payloads the PES assembler refused
  };
  const Counters& Stats() const { return m_counters; }

 private:
  void Packet(const uint8_t* pkt);
  void ToPes(const uint8_t* pkt, const uint8_t* payload, size_t size, bool discontinuity, PesAssembler& a);

  StreamPids& m_pids;
  CProgramMap& m_map;
  IStreamPacketSink& m_sink;
  ITextDecoders* m_text;
  CSectionAssembler m_sections;  // SDT and EIT
  PesAssembler m_video;
  PesAssembler m_audio;
  std::vector<uint8_t> m_buffer;
  size_t m_fill = 0;
  bool m_locked = false;  // the last packet taken ended where the loop stopped
  Counters m_counters;
};

}  // namespace tevalo::pipeline
