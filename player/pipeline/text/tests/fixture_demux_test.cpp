// The test broadcasts' texts through the demultiplexer: 1128-byte blocks, the programme-map search,
// then the packet loop routing the text PIDs to the decoders.
#include <memory>

#include "fixture_check.h"
#include "player/pipeline/programme_map.h"
#include "player/pipeline/ts_demux.h"

namespace {

using namespace tevalo::pipeline;

struct DropPackets : IStreamPacketSink {
  void PushPacket(std::unique_ptr<StreamPacket>) override {}
};

void FeedBlocks(const std::vector<uint8_t>& ts, const std::set<int>&, CAribTextDecoders& dec) {
  StreamPids pids;
  CProgramMap map(pids);
  auto search = std::make_unique<CPmtSearchBuffer>(map);
  DropPackets packets;
  CTsDemux demux(pids, map, packets, dec);
  bool found = false;
  for (size_t i = 0; i + 1128 <= ts.size(); i += 1128) {
    const uint8_t* block = ts.data() + i;
    if (found) {
      demux.PushBlock(block, 1128);
    } else if (search->PushBlock(block, 1128)) {
      found = true;  // the unparsed rest goes on to the demultiplexer
      demux.PushBlock(search->Data(), search->Fill());
    }
  }
}

TEST(FixturesThroughDemux, TextsAsTheManifestSays) {
  const bool any = fixture_check::ForEachFixture(
      [](const auto& dir) { fixture_check::CheckFixture(dir, FeedBlocks, false); });
  if (!any) GTEST_SKIP() << "no fixtures";
}

}  // namespace
