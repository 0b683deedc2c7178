// The fill steps of the two output pins, free of the media framework: each pops a frame from its
// queue, decodes it and writes the result into the buffer the framework hands over. The playback
// filter builds the same pins with its own options.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "filter/bsac/bsac.h"
#include "filter/source/aac_front.h"
#include "filter/source/adts.h"
#include "filter/source/frame_record.h"
#include "filter/source/video_decoder_front.h"

namespace halvik {

// Where the pins hand copies of their frames while a recording runs.
struct RecordTap {
  std::atomic<bool>* recording = nullptr;
  FrameQueue* queue = nullptr;
  size_t limit = 0;  // copies are dropped once the queue holds this many records
};

inline constexpr int kDefaultWidth = 320;
inline constexpr int kDefaultHeight = 180;
inline constexpr int kVideoBufferCount = 5;
inline constexpr int64_t kAvgTimePerFrame = 666666;

class CHalvikVideoStream {
 public:
  CHalvikVideoStream(FrameQueue& queue, RecordTap tap = {}) : queue_(queue), tap_(tap) {}

  // Receive thread: (re)opens the decoder front with the configuration bytes.
  int OpenVideoDecoder(const uint8_t* config, size_t length);
  void SetDefaultMediaType();

  struct Fill {
    enum Kind { kNothing, kDeliver, kResized } kind = kNothing;
    int64_t time = 0;  // 100 ns
    bool discontinuity = false;
    PictureSize size;
  };
  // Pin thread: pops one frame, decodes it and converts the picture into `dst` (top-down BGRx of
  // `size`, `stride` bytes a row). kResized: the picture has another size; it is held converted
  // until TakeHeldPicture copies it into a buffer of the new size.
  Fill FillBuffer(uint8_t* dst, PictureSize size, ptrdiff_t stride);
  void TakeHeldPicture(uint8_t* dst, ptrdiff_t stride);

  bool empty() const { return empty_.load(); }

 private:
  std::mutex lock_;  // the pin lock: guards the front
  FrameQueue& queue_;
  RecordTap tap_;
  std::unique_ptr<VideoDecoderFront> front_;
  std::vector<uint8_t> held_;
  PictureSize held_size_;
  std::atomic<bool> empty_{true};
  bool first_sample_ = true;
};

struct AudioPinOptions {
  int mute_threshold = 10;       // thousands; the playback pin uses 30
  bool follow_selection = true;  // false: the main programme always (playback)
  // Announces a dual-mono change (0 off, else the selection); called outside the pin lock.
  std::function<void(int32_t)> notify;
};

inline constexpr size_t kAudioBufferSize = 8192;  // 2048 stereo frames of 16 bits
inline constexpr size_t kBsacUnitBytes = 4096;    // one ER-BSAC unit: 1024 stereo frames of 16 bits
inline constexpr int kAudioBufferCount = 32;
inline constexpr int kAudioRate = 48000;

class CHalvikAudioStream {
 public:
  CHalvikAudioStream(FrameQueue& queue, const std::atomic<int32_t>& selection, AudioPinOptions options = {},
                     RecordTap tap = {})
      : queue_(queue), selection_(selection), options_(std::move(options)), tap_(tap) {}

  // Receive thread: chooses and opens the decoder from the 1016-byte, zero-filled configuration.
  int OpenAudioDecoder(const uint8_t* config, size_t length);
  void SetDefaultMediaType();

  // ER-BSAC units carry no ADTS header: the receive step queues them as they come.
  bool accepts_non_adts_frames() const { return mode_.load() == Mode::kBsac; }
  // The sampling rate of the open ER-BSAC stream; 0 in the AAC modes.
  int bsac_rate() const { return bsac_rate_.load(); }

  struct Fill {
    bool deliver = false;
    int64_t time = 0;
    bool discontinuity = false;
    bool muted = false;  // the noise-burst mute silenced it
    // What `dst` holds: kAudioBufferSize bytes of AAC sound at the filter's rate (rate 0), or one
    // ER-BSAC unit of kBsacUnitBytes at its own rate (silence when the unit did not decode).
    size_t bytes = kAudioBufferSize;
    int rate = 0;
  };
  // Pin thread: fills `dst` (kAudioBufferSize bytes) with one decoded frame or silence.
  Fill FillBuffer(uint8_t* dst);

  bool empty() const { return empty_.load(); }
  bool dual_mono() const;

  // How late (100 ns) the decoder's sound comes out against its frames' times: FAAD2's upsampling
  // of the 24 kHz core delays it by 960 samples at 48 kHz. Delivered pictures add it to stay with
  // the sound; frame records and recordings keep the stream's own times.
  int64_t decoder_delay() const { return decoder_delay_.load(); }

 private:
  enum class Mode { kNone = -1, kBsac = 0, kAdts = 1, kAsc = 2 };
  size_t Decode(const FrameRecord& r, uint8_t* dst, bool dual_mono);
  size_t DecodeBsac(const FrameRecord& r, uint8_t* dst);
  // When frames were lost before `r`: decodes a silent frame into dst, which plays the decoder's
  // overlap from the frame before the gap where it belongs instead of mixing it into `r`'s sound.
  bool FillGap(const FrameRecord& r, uint8_t* dst, Fill& f);

  mutable std::mutex lock_;  // the pin lock: guards the decoder and the analysis state
  FrameQueue& queue_;
  const std::atomic<int32_t>& selection_;
  AudioPinOptions options_;
  RecordTap tap_;
  AacFront aac_;
  bsac::BsacContext bsac_;
  std::atomic<int> bsac_rate_{0};
  std::atomic<Mode> mode_{Mode::kNone};
  std::atomic<int64_t> decoder_delay_{0};
  uint8_t channel_config_ = 2;
  uint8_t channel_count_ = 2;
  ChannelAnalyzer analyzer_;
  bool notified_ = false;
  std::atomic<bool> empty_{true};
  bool first_sample_ = true;
  FrameRecordPtr pending_;  // the frame after a gap, held while the gap's silent frame plays
  int64_t next_time_ = -1;  // where the last AAC frame decoded ends (100 ns), -1 after a (re)open
};

}  // namespace halvik
