#include "filter/source/pins.h"

#include <algorithm>
#include <cstring>

#include "filter/source/audio_post.h"
#include "filter/source/yuv_to_bgrx.h"
#include "ipc/stream_headers.h"

namespace halvik {
namespace {

constexpr int64_t kUpsamplingDelaySamples = 960;

uint32_t AscSampleRate(const uint8_t* b) {
  return streamhdr::AacSampleRate(((b[0] & 7u) << 1) | (b[1] >> 7));
}

void CopyToRecorder(const RecordTap& tap, const FrameRecord& r) {
  if (!tap.recording || !tap.queue || !tap.recording->load()) return;
  if (tap.queue->Size() >= tap.limit) return;
  auto copy = std::make_unique<FrameRecord>(r);
  copy->values[1] = r.time;  // the recorder stores the presentation time here
  tap.queue->Push(std::move(copy));
}

// An ADTS frame holding silence for the channel layout of `header` (1: one SCE, 2: one CPE), each
// channel a long window with no bands; empty for other layouts.
std::vector<uint8_t> SilentAdtsFrame(const uint8_t* header) {
  const auto h = streamhdr::ReadAdtsHeader(header, 7);
  if (!h || (h->channel_config != 1 && h->channel_config != 2)) return {};
  std::vector<uint8_t> out(header, header + 7);
  uint32_t bits = 0, count = 0;
  auto put = [&](uint32_t value, uint32_t n) {
    for (uint32_t i = n; i-- > 0;) {
      bits = (bits << 1) | ((value >> i) & 1);
      if (++count % 8 == 0) out.push_back(uint8_t(bits));
    }
  };
  const bool stereo = h->channel_config == 2;
  put(stereo ? 1 : 0, 3);  // CPE or SCE
  put(0, 4);               // element tag
  if (stereo) put(0, 1);   // no common window
  for (int c = 0; c < (stereo ? 2 : 1); ++c) {
    put(100, 8);  // global gain
    put(0, 11);   // ics_info: long window, sine shape, max_sfb 0, no prediction
    put(0, 3);    // no pulse, TNS or gain control data
  }
  put(7, 3);  // END
  if (count % 8) put(0, 8 - count % 8);
  const uint32_t length = uint32_t(out.size());
  out[1] |= 1;  // no CRC
  out[3] = uint8_t((out[3] & 0xFC) | (length >> 11));
  out[4] = uint8_t(length >> 3);
  out[5] = uint8_t(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
  out[6] = 0xFC;                                 // ... and one raw data block
  return out;
}

}  // namespace

int CHalvikVideoStream::OpenVideoDecoder(const uint8_t* config, size_t length) {
  std::lock_guard lock(lock_);
  if (!front_) front_ = std::make_unique<VideoDecoderFront>();
  if (!front_->Open(config, length)) front_.reset();
  return 0;
}

void CHalvikVideoStream::SetDefaultMediaType() {
  std::lock_guard lock(lock_);
  first_sample_ = true;
}

CHalvikVideoStream::Fill CHalvikVideoStream::FillBuffer(uint8_t* dst, PictureSize size, ptrdiff_t stride) {
  std::lock_guard lock(lock_);
  Fill f;
  FrameRecordPtr r = queue_.Pop();
  empty_ = !r;
  if (!r) return f;
  if (!front_ || front_->Decode(r->payload.data(), r->payload.size()) != VideoDecoderFront::Result::kPicture)
    return f;
  const YuvPlanes pic = front_->picture();
  f.size = {pic.width, pic.height};
  if (f.size == size) {
    ConvertYuv420ToBgrx(pic, dst, stride);
    f.kind = Fill::kDeliver;
  } else {
    held_.resize(size_t(pic.width) * pic.height * 4);
    ConvertYuv420ToBgrx(pic, held_.data(), ptrdiff_t{pic.width} * 4);
    held_size_ = f.size;
    f.kind = Fill::kResized;
  }
  f.time = r->time;
  f.discontinuity = first_sample_;
  first_sample_ = false;
  CopyToRecorder(tap_, *r);
  return f;
}

void CHalvikVideoStream::TakeHeldPicture(uint8_t* dst, ptrdiff_t stride) {
  std::lock_guard lock(lock_);
  const size_t row = size_t(held_size_.width) * 4;
  for (int y = 0; y < held_size_.height; ++y) std::memcpy(dst + y * stride, held_.data() + y * row, row);
  held_.clear();
}

int CHalvikAudioStream::OpenAudioDecoder(const uint8_t* config, size_t length) {
  uint8_t b[7] = {};
  std::memcpy(b, config, std::min<size_t>(length, 7));
  const AudioSelection sel = SelectAudioDecoder(b);
  std::lock_guard lock(lock_);
  channel_config_ = channel_count_ = sel.channel_config;
  aac_.aac_close();
  bsac::bsac_close(bsac_);
  bsac_rate_ = 0;
  decoder_delay_ = 0;
  next_time_ = -1;
  pending_.reset();
  switch (sel.mode) {
    case AudioMode::kBsac: {
      mode_ = Mode::kBsac;
      if (bsac::bsac_open(bsac_, config, length) == 0) return 1;
      bsac_rate_ = int(bsac_.config().sample_rate);
      return 0;
    }
    case AudioMode::kAdts:
    case AudioMode::kAudioSpecificConfig: {
      const bool adts = sel.mode == AudioMode::kAdts;
      mode_ = adts ? Mode::kAdts : Mode::kAsc;
      const auto open = adts ? aac_.aac_open(0, b, 7) : aac_.aac_open(1, b, 4);
      const uint32_t core =
          adts ? streamhdr::ReadAdtsHeader(b, 7).value_or(streamhdr::AdtsHeader{}).sample_rate
               : AscSampleRate(b);
      if (open.rc >= 0 && core != 0 && open.sample_rate == 2 * core)
        decoder_delay_ = kUpsamplingDelaySamples * 10'000'000LL / open.sample_rate;
      return 0;
    }
  }
  return 0;
}

void CHalvikAudioStream::SetDefaultMediaType() {
  std::lock_guard lock(lock_);
  channel_config_ = channel_count_ = 2;
  first_sample_ = true;
  next_time_ = -1;
  pending_.reset();
}

bool CHalvikAudioStream::dual_mono() const {
  std::lock_guard lock(lock_);
  return analyzer_.dual_mono();
}

size_t CHalvikAudioStream::Decode(const FrameRecord& r, uint8_t* dst, bool dual_mono) {
  const Mode mode = mode_;
  if (mode == Mode::kNone || mode == Mode::kBsac) return 0;
  const auto d = aac_.aac_decode(dst, kAudioBufferSize, r.payload.data(), r.payload.size());
  if (d.consumed < 0) return 0;
  size_t bytes = d.out_bytes;
  auto* pcm = reinterpret_cast<int16_t*>(dst);
  if (!dual_mono && d.channels == 1 && bytes * 2 <= kAudioBufferSize) {
    DoubleMono(pcm, bytes / 2);
    bytes *= 2;
  } else if (mode == Mode::kAdts && dual_mono && d.channels == 2) {
    ApplyDualMonoSelection(pcm, bytes / 4, options_.follow_selection ? selection_.load() : 1);
  }
  return bytes;
}

// One unit: 1024 frames per channel, mono doubled; silence of the same length when it does not
// decode, so the stream's clock goes on.
size_t CHalvikAudioStream::DecodeBsac(const FrameRecord& r, uint8_t* dst) {
  const int channels = bsac_.is_open() ? bsac_.config().channels : 2;
  const size_t bytes = bsac::bsac_decode(bsac_, r.payload.data(), r.payload.size(), dst, kAudioBufferSize);
  if (bytes == 0 || bytes != size_t(channels) * 2048) {
    std::memset(dst, 0, kBsacUnitBytes);
    return 0;
  }
  if (channels == 1) DoubleMono(reinterpret_cast<int16_t*>(dst), bytes / 2);
  return kBsacUnitBytes;
}

bool CHalvikAudioStream::FillGap(const FrameRecord& r, uint8_t* dst, Fill& f) {
  const int64_t last = next_time_;
  next_time_ = -1;
  if (mode_ != Mode::kAdts || last < 0 || r.payload.size() < 7) return false;
  const auto h = streamhdr::ReadAdtsHeader(r.payload.data(), 7);
  if (!h || h->sample_rate == 0) return false;
  const int64_t duration = 1024 * 10'000'000LL / h->sample_rate;
  // Less than a frame missing is the stamps' rounding; a step back is a new stream.
  if (r.time - last < duration / 2) return false;
  const auto silent = SilentAdtsFrame(r.payload.data());
  if (silent.empty()) return false;
  const auto d = aac_.aac_decode(dst, kAudioBufferSize, silent.data(), silent.size());
  if (d.consumed < 0 || d.out_bytes * (d.channels == 1 ? 2 : 1) != kAudioBufferSize) {
    std::memset(dst, 0, kAudioBufferSize);
  } else if (d.channels == 1) {
    DoubleMono(reinterpret_cast<int16_t*>(dst), d.out_bytes / 2);
  }
  f.deliver = true;
  f.time = last;
  f.discontinuity = first_sample_;
  first_sample_ = false;
  return true;
}

CHalvikAudioStream::Fill CHalvikAudioStream::FillBuffer(uint8_t* dst) {
  Fill f;
  bool announce = false;
  int32_t announced = 0;
  {
    std::lock_guard lock(lock_);
    FrameRecordPtr r = pending_ ? std::move(pending_) : queue_.Pop();
    empty_ = !r;
    if (!r) return f;
    if (FillGap(*r, dst, f)) {
      pending_ = std::move(r);
      empty_ = false;
      return f;
    }
    const uint8_t* h = r->payload.data();
    const size_t n = r->payload.size();
    const Mode mode = mode_;
    bool dual = false;
    if (mode == Mode::kAdts || mode == Mode::kAsc) {
      const auto a = analyzer_.Analyze(h, n, channel_count_);
      dual = analyzer_.dual_mono();
      if (mode == Mode::kAdts && n >= 7 && (a.count != channel_count_ || a.config != channel_config_)) {
        aac_.aac_close();
        channel_count_ = a.count;
        channel_config_ = a.config;
        aac_.aac_open(0, h, 7);
      }
      if (dual != notified_) {
        notified_ = dual;
        announce = true;
        announced = dual ? selection_.load() : 0;
      }
    }
    size_t len = 0;
    if (mode == Mode::kBsac) {
      // No ADTS analysis; the burst check looks at the unit's 1024 stereo frames.
      f.bytes = kBsacUnitBytes;
      f.rate = bsac_rate_;
      len = DecodeBsac(*r, dst);
      if (len == kBsacUnitBytes && HasNoiseBurst(reinterpret_cast<int16_t*>(dst), options_.mute_threshold)) {
        std::memset(dst, 0, kBsacUnitBytes);
        f.muted = true;
      }
    } else {
      try {
        len = Decode(*r, dst, dual);
      } catch (...) {
        len = 0;
      }
      if (len == kAudioBufferSize)
        f.muted = MuteNoiseBurst(reinterpret_cast<int16_t*>(dst), options_.mute_threshold);
      else
        std::memset(dst, 0, kAudioBufferSize);
      const auto header = streamhdr::ReadAdtsHeader(h, n);
      next_time_ = mode == Mode::kAdts && header && header->sample_rate
                       ? r->time + 1024 * 10'000'000LL / header->sample_rate
                       : -1;
    }
    f.deliver = true;
    f.time = r->time;
    f.discontinuity = first_sample_;
    first_sample_ = false;
    CopyToRecorder(tap_, *r);
  }
  if (announce && options_.notify) options_.notify(announced);
  return f;
}

}  // namespace halvik
