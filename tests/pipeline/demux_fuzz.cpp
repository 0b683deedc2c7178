// Arbitrary bytes through the programme-map search, the demultiplexer and the framer, as the
// engine's threads run them, block by block.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "player/pipeline/es_framer.h"
#include "player/pipeline/programme_map.h"
#include "player/pipeline/ts_demux.h"

using namespace tevalo::pipeline;

namespace {

struct NullOutput : IFramerOutput {
  void WriteFrame(const uint8_t* m, size_t size) override {
    volatile uint8_t sink = size ? m[size - 1] : 0;
    (void)sink;
  }
  void SendStreamFormats(int, const StreamFormatMessage&, const StreamFormatMessage&) override {}
};

struct ToFramer : IStreamPacketSink {
  CEsFramer* framer;
  void PushPacket(std::unique_ptr<StreamPacket> p) override {
    if (p->kind == 1)
      framer->FrameVideo(p->data.data(), p->data.size(), p->stamp);
    else
      framer->FrameAudio(p->data.data(), p->data.size(), p->stamp, p->cut);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StreamPids pids;
  CProgramMap map(pids);
  CPmtSearchBuffer search(map);
  NullOutput out;
  CEsFramer framer(out);
  ToFramer sink;
  sink.framer = &framer;
  CNullTextDecoders text;
  CTsDemux demux(pids, map, sink, text);
  bool found = false;
  // Odd block sizes too: the buffers must cope with any cut.
  const size_t step = size ? 1 + data[0] % 1128 : 1128;
  for (size_t pos = 0; pos < size; pos += step) {
    const size_t n = size - pos < step ? size - pos : step;
    if (!found) {
      found = search.PushBlock(data + pos, n);
      if (found) framer.ResetState();
    } else {
      demux.PushBlock(data + pos, n);
    }
  }
  // And once more with the usual PIDs whatever the search found.
  pids.video = 0x0181;
  pids.audio = 0x0183;
  demux.Reset();
  for (size_t pos = 0; pos < size; pos += 1128)
    demux.PushBlock(data + pos, size - pos < 1128 ? size - pos : 1128);
  return 0;
}
