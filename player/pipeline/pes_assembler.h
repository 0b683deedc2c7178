// PES reassembly of the video and audio PIDs into complete elementary-stream packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tevalo::pipeline {

// Where an audio PES piece lies when packets of its PES were lost around it.
struct PesCut {
  int32_t offset = 0;         // payload position of the piece's first byte (estimated after a loss; -1
                              // when the packet with the PES header was the one lost)
  bool before = false;        // bytes before the piece were lost: it starts mid-frame
  bool after = false;         // the PES went on past the piece but was lost: its last frame may be cut
  bool placedByNext = false;  // with offset -1: whole PES may have been lost before it too, so only
                              // the next PES's stamp can place it
};

// One complete PES payload (or, for sound, the undamaged piece of one), the record of the packet
// queue; its consumer deletes it.
struct StreamPacket {
  virtual ~StreamPacket() = default;
  std::vector<uint8_t> data;
  int64_t stamp = -1;  // PTS x 300 (27 MHz ticks), -1 when the PES had none
  int32_t kind = 0;    // 1 video, 0 audio
  PesCut cut;
};

// Receives each complete PES (the packet queue).
class IStreamPacketSink {
 public:
  virtual ~IStreamPacketSink() = default;
  virtual void PushPacket(std::unique_ptr<StreamPacket> packet) = 0;
};

struct PesAssembler {
  int64_t stamp = -1;
  std::vector<uint8_t> buffer;  // capacity = expected while a PES is in progress
  int32_t expected = 0;         // 0: no PES in progress
  int32_t collected = 0;        // payload position reached, lost bytes included
  int32_t pieceStart = 0;       // payload position of buffer[0]
  bool afterLoss = false;       // the piece in progress follows lost packets
  bool headerLost = false;      // ... and those were just the packet with its PES header
  bool moreLost = false;        // ... or more than that
  int32_t kind = 1;             // 1 video, 0 audio
  int lastCc = -1;              // continuity of the PID, -1 unknown

  void Reset() {
    stamp = -1;
    buffer.clear();
    buffer.shrink_to_fit();
    expected = 0;
    collected = 0;
    pieceStart = 0;
    afterLoss = false;
    headerLost = false;
    moreLost = false;
  }
};

// Feeds one packet payload. Returns 1 when it was accepted, 0 when refused (the caller then resets
// the assembler). queued counts the StreamPackets handed to sink by this call.
int AssemblePes(bool payloadStart, const uint8_t* payload, size_t size, PesAssembler& assembler,
                IStreamPacketSink& sink, int* queued = nullptr);

// `lost` packets of the PES in progress were lost. A video PES hands on what arrived before the loss
// (the decoder conceals the rest, and a key picture's first part is worth more than none) and is
// reset. An audio PES hands on the piece before the loss and goes on collecting the rest as a new
// piece, placed `lost` whole packets further on, so the framer can keep every undamaged frame. When
// no audio PES was in progress and one packet was lost, that was the next PES's first: its rest is
// collected up to the next start as a piece without header. Returns the StreamPackets handed to sink.
int CutAtLoss(PesAssembler& assembler, IStreamPacketSink& sink, int lost);

// 33-bit PTS from the five bytes at p (PES header bytes 9 to 13).
int64_t ReadPts(const uint8_t* p);

}  // namespace tevalo::pipeline
