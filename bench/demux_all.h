// The player's programme-map search and demultiplexer over a whole stream in memory, without the
// engine's threads: each complete PES goes straight to `sink`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/pipeline/programme_map.h"
#include "player/pipeline/text_decoders.h"
#include "player/pipeline/ts_demux.h"

namespace tevalo::bench {

inline void DemuxAll(const uint8_t* ts, size_t size, pipeline::IStreamPacketSink& sink) {
  using namespace tevalo::pipeline;
  StreamPids pids;
  CProgramMap map(pids);
  CPmtSearchBuffer search(map);
  for (size_t p = 0; p + kTsBlockSize <= size; p += kTsBlockSize)
    if (search.PushBlock(ts + p, kTsBlockSize)) break;
  CNullTextDecoders text;
  CTsDemux demux(pids, map, sink, text);
  for (size_t p = 0; p + kTsBlockSize <= size; p += kTsBlockSize) demux.PushBlock(ts + p, kTsBlockSize);
}

}  // namespace tevalo::bench
