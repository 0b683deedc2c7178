#include "player/pipeline/pes_assembler.h"

#include <algorithm>
#include <cstring>

#include "player/pipeline/ts_constants.h"

namespace tevalo::pipeline {

namespace {
constexpr int32_t kMaxPes = 65536;

// Payload bytes of a packet without an adaptation field: only a PES's last packet is padded.
constexpr int32_t kWholePayload = int32_t(kTsPacketSize) - 4;

// Hands on the piece collected since pieceStart; lostAfter: the PES went on, but that was lost.
void Emit(PesAssembler& a, IStreamPacketSink& sink, int* queued, bool lostAfter = false) {
  auto packet = std::make_unique<StreamPacket>();
  a.buffer.resize(size_t(a.collected - a.pieceStart));
  packet->data = std::move(a.buffer);
  a.buffer = {};
  packet->stamp = a.stamp;
  packet->kind = a.kind;
  packet->cut = {a.headerLost ? -1 : a.pieceStart, a.afterLoss, lostAfter, a.headerLost && a.moreLost};
  sink.PushPacket(std::move(packet));
  if (queued) ++*queued;
}
// Collects a sound PES's rest up to the next start, as a piece whose header (and stamp) is gone;
// moreLost: the loss may have taken more than its header.
void CollectHeaderless(PesAssembler& a, bool moreLost = false) {
  a.Reset();
  a.expected = kMaxPes;  // ends at the next start
  a.afterLoss = a.headerLost = true;
  a.moreLost = moreLost;
  a.buffer.resize(size_t(kMaxPes));
}
}  // namespace

int64_t ReadPts(const uint8_t* p) {
  return (int64_t(p[0] & 0x0E) << 29) | (int64_t(p[1]) << 22) | (int64_t(p[2] & 0xFE) << 14) |
         (int64_t(p[3]) << 7) | (int64_t(p[4]) >> 1);
}

int CutAtLoss(PesAssembler& a, IStreamPacketSink& sink, int lost) {
  int queued = 0;
  if (a.expected != 0 && a.collected > a.pieceStart) Emit(a, sink, &queued, a.kind == 0);
  const int64_t next = int64_t(a.collected) + int64_t(std::max(lost, 1)) * kWholePayload;
  if (a.kind == 0 && (a.expected == 0 || next >= a.expected)) {
    // What follows may be the rest of a sound PES whose header went with the loss: its frames that
    // reach the next start are whole.
    CollectHeaderless(a, a.expected != 0 || lost > 1);
    return queued;
  }
  if (a.kind == 1 || a.expected == 0 || next >= a.expected) {
    a.Reset();
    return queued;
  }
  // Sound frames after the loss are still whole: collect the rest of the PES as a piece of its own.
  a.collected = a.pieceStart = int32_t(next);
  a.afterLoss = true;
  a.buffer.clear();
  a.buffer.resize(size_t(a.expected - a.pieceStart));
  return queued;
}

int AssemblePes(bool payloadStart, const uint8_t* payload, size_t size, PesAssembler& a,
                IStreamPacketSink& sink, int* queued) {
  if (queued) *queued = 0;
  size_t pos = 0;
  if (payloadStart) {
    // A video PES of unbounded length ends at the next start. Sound that falls short of its length
    // lost something unseen at its end; a piece after a loss ends exactly here.
    if (a.expected != 0 && a.collected > a.pieceStart) Emit(a, sink, queued, a.kind == 0 && !a.afterLoss);
    a.Reset();
    // A sound PES whose header a flipped bit spoilt still brings whole frames in its later packets:
    // they go on as a piece without header, as if its first packet had been lost.
    const auto refuse = [&a] {
      if (a.kind != 0) return 0;
      CollectHeaderless(a);
      return 1;
    };
    if (size < 9) return refuse();
    if (payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return refuse();
    const uint8_t id = payload[3];
    const bool audioId = id >= 0xC0 && id <= 0xDF;
    const bool videoId = id >= 0xE0 && id <= 0xEF;
    if (!audioId && !videoId && id != 0xBD) return refuse();
    int32_t length = (payload[4] << 8) | payload[5];
    if (length == 0 && a.kind == 1) length = kMaxPes;
    const int32_t headerData = payload[8];
    const int32_t expected = length - headerData - 3;
    // Any payload byte counts: a PES may hold a single short frame (a silent ADTS frame is 15 bytes).
    if (expected < 1 || expected > kMaxPes) return refuse();
    const size_t header = 9 + size_t(headerData);
    if (header > size) return refuse();  // header runs past the packet
    int64_t stamp = -1;
    if ((payload[7] & 0x80) && headerData >= 5) stamp = ReadPts(payload + 9) * kPtsToTicks;
    a.expected = expected;
    a.stamp = stamp;
    a.buffer.resize(size_t(expected));
    pos = header;  // a header that exactly fills the packet is legal: nothing collected yet
  } else if (a.expected == 0) {
    return 0;
  }
  const size_t room = size_t(a.expected - a.collected);
  const size_t take = std::min(size - pos, room);
  if (take) std::memcpy(a.buffer.data() + (a.collected - a.pieceStart), payload + pos, take);
  a.collected += int32_t(take);
  if (a.collected == a.expected) {
    Emit(a, sink, queued);
    a.Reset();
  }
  return 1;
}

}  // namespace tevalo::pipeline
