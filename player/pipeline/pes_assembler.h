// PES reassembly of the video and audio PIDs into complete elementary-stream packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tevalo::pipeline {

// One complete PES payload, the record of the packet queue; its consumer deletes it.
struct StreamPacket {
  virtual ~StreamPacket() = default;
  std::vector<uint8_t> data;
  int64_t stamp = -1;  // PTS x 300 (27 MHz ticks), -1 when the PES had none
  int32_t kind = 0;    // 1 video, 0 audio
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
  int32_t collected = 0;
  int32_t kind = 1;  // 1 video, 0 audio
  int lastCc = -1;   // continuity of the PID, -1 unknown

  void Reset() {
    stamp = -1;
    buffer.clear();
    buffer.shrink_to_fit();
    expected = 0;
    collected = 0;
  }
};

// Feeds one packet payload. Returns 1 when it was accepted, 0 when refused (the caller then resets
// the assembler). queued counts the StreamPackets handed to sink by this call.
int AssemblePes(bool payloadStart, const uint8_t* payload, size_t size, PesAssembler& assembler,
                IStreamPacketSink& sink, int* queued = nullptr);

// Packets of the PES in progress were lost: a video PES hands on what arrived before the loss (the
// decoder conceals the rest, and a key picture's first part is worth more than none); an audio PES
// is dropped. The assembler is reset either way. Returns the StreamPackets handed to sink.
int CutAtLoss(PesAssembler& assembler, IStreamPacketSink& sink);

// 33-bit PTS from the five bytes at p (PES header bytes 9 to 13).
int64_t ReadPts(const uint8_t* p);

}  // namespace tevalo::pipeline
