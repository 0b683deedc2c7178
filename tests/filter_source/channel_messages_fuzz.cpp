// Channel messages as the receive thread reads them, then both pins' fill steps: every length,
// type, stamp and payload the writer could put there. Input: chunks of {uint16 LE size, bytes},
// each one message at payload offset 0.
#include <cstring>
#include <memory>
#include <vector>

#include "filter/source/halvik.h"

namespace {

struct Payload {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kIpcPayloadSize, 0);
  bool pending = false;
};

class Channel : public halvik::ChannelReader {
 public:
  explicit Channel(Payload* p) : p_(p) {}
  bool Connect() override { return true; }
  bool Read(void* dst, uint32_t length, uint32_t offset, int mode, uint32_t) override {
    if (mode == 0 && !p_->pending) return false;
    if (uint64_t{offset} + length <= p_->bytes.size() && length)
      std::memcpy(dst, p_->bytes.data() + offset, length);
    if (mode == 2) p_->pending = false;
    return true;
  }

 private:
  Payload* p_;
};

class Host : public halvik::FilterHost {
 public:
  explicit Host(Payload* p) : p_(p) {}
  std::unique_ptr<halvik::FilterEvents> OpenEvents() override { return nullptr; }
  std::unique_ptr<halvik::ChannelReader> CreateChannel() override { return std::make_unique<Channel>(p_); }
  std::u16string ReadRecordingFolder() override { return {}; }
  intptr_t FindPlayerWindow() override { return 0; }
  bool SendCopyData(intptr_t, uint32_t, uint32_t, const uint8_t*, size_t, bool, uint32_t) override {
    return false;
  }
  void PostDualMonoNotify(int32_t) override {}
  uint32_t ProcessId() override { return 1; }

 private:
  Payload* p_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Payload payload;
  halvik::CHalvik filter(std::make_shared<Host>(&payload));
  if (!filter.Load("x-dmb://fuzz")) return 0;
  size_t at = 0;
  while (at + 2 <= size) {
    const size_t n = std::min<size_t>(data[at] | size_t{data[at + 1]} << 8, size - at - 2);
    std::fill(payload.bytes.begin(), payload.bytes.end(), 0);
    std::memcpy(payload.bytes.data(), data + at + 2, std::min(n, payload.bytes.size()));
    payload.pending = true;
    filter.ProcessIpcMessage();
    at += 2 + n;
  }
  std::vector<uint8_t> picture(320 * 180 * 4), sound(halvik::kAudioBufferSize);
  for (int i = 0; i < 64; ++i) {
    const auto v = filter.video_pin().FillBuffer(picture.data(), {320, 180}, 1280);
    if (v.kind == halvik::CHalvikVideoStream::Fill::kResized) {
      std::vector<uint8_t> other(size_t(v.size.width) * v.size.height * 4);
      filter.video_pin().TakeHeldPicture(other.data(), v.size.width * 4);
    }
    filter.audio_pin().FillBuffer(sound.data());
    if (filter.video_pin().empty() && filter.audio_pin().empty()) break;
  }
  return 0;
}
