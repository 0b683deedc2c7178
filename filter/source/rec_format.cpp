#include "filter/source/rec_format.h"

#include <algorithm>
#include <cstring>

namespace rec {

std::optional<uint32_t> DurationMs(const FileHeader& header) {
  if (header.endTick == kNoEndTick || header.endTick == header.startTick) return std::nullopt;
  return header.endTick - header.startTick;  // modular: a recording may span the tick's wrap
}

uint32_t MaxPayload(uint32_t type) {
  if (type == kVideoType) return kMaxVideoPayload;
  if (type == kAudioType) return kMaxAudioPayload;
  return 0;
}

InfoBlock MakeInfoBlock(uint32_t type, std::span<const uint8_t> body) {
  InfoBlock block{};
  const size_t n = std::min(body.size(), kInfoBodyMax);
  PutU32(block.data(), type);
  PutU32(block.data() + 4, static_cast<uint32_t>(n));
  if (n) std::memcpy(block.data() + 8, body.data(), n);
  return block;
}

std::optional<std::vector<uint8_t>> InfoBody(const InfoBlock& block, uint32_t expectedType) {
  if (GetU32(block.data()) != expectedType) return std::nullopt;
  const uint32_t n = GetU32(block.data() + 4);
  if (n > kInfoBodyMax) return std::nullopt;
  return std::vector<uint8_t>(block.begin() + 8, block.begin() + 8 + n);
}

std::array<uint8_t, kRecordOverhead> EncodeRecordHead(const RecordHead& head) {
  std::array<uint8_t, kRecordOverhead> out{};
  std::copy(kMarker.begin(), kMarker.end(), out.begin());
  PutU32(out.data() + 4, head.tick);
  PutU32(out.data() + 8, head.type);
  PutU32(out.data() + 12, head.length);
  PutI64(out.data() + 16, -1);
  PutI64(out.data() + 24, head.time);
  PutI64(out.data() + 32, -1);
  PutI64(out.data() + 40, -1);
  return out;
}

std::optional<RecordHead> DecodeRecordHead(std::span<const uint8_t, kRecordOverhead> bytes) {
  if (!std::equal(kMarker.begin(), kMarker.end(), bytes.begin())) return std::nullopt;
  RecordHead head;
  head.tick = GetU32(bytes.data() + 4);
  head.type = GetU32(bytes.data() + 8);
  head.length = GetU32(bytes.data() + 12);
  head.time = GetI64(bytes.data() + 24);
  return head;
}

}  // namespace rec
