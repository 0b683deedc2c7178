#include "filter/bsac/bsac.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

#include "filter/bsac/bit_layer.h"
#include "filter/bsac/bit_reader.h"
#include "filter/bsac/filterbank.h"
#include "filter/bsac/frame.h"
#include "filter/bsac/tables.h"

namespace bsac {
namespace {

constexpr uint32_t kInputBits = 256000;
constexpr uint32_t kUnitBits = 65536;

}  // namespace

struct BsacContext::Stream {
  StreamTables tables;
  BitBuffer input = bitbuffer_alloc(kInputBits);
  std::deque<uint32_t> queued_bits;  // lengths of the units waiting in `input`
  BitBuffer unit = bitbuffer_alloc(kUnitBits);
  BitBuffer work = bitbuffer_alloc(kInputBits);
  SideInfo si;
  ChannelState channel[kMaxChannels];
  Transform transform;
  int16_t pcm[kMaxChannels * kFrameLength] = {};
};

std::optional<AudioConfig> ParseAudioSpecificConfig(const uint8_t* b, size_t n) {
  if (!b || n < 2) return std::nullopt;
  AudioConfig c;
  c.object_type = b[0] >> 3;
  c.sampling_index = ((b[0] & 7) << 1) | (b[1] >> 7);
  c.channels = (b[1] >> 3) & 0x0F;
  c.frame_length_flag = (b[1] >> 2) & 1;
  c.depends_on_core_coder = (b[1] >> 1) & 1;
  c.extension_flag = b[1] & 1;
  c.sample_rate = RateOfIndex(c.sampling_index);
  if (c.object_type != 22 || c.sample_rate == 0) return std::nullopt;
  if (c.channels < 1 || c.channels > kMaxChannels) return std::nullopt;
  if (c.frame_length_flag || c.depends_on_core_coder) return std::nullopt;
  return c;
}

int16_t PcmSample(float x) {
  if (std::isnan(x)) return 0;
  const double v = std::clamp(double(x), -32768.0, 32767.0);
  return int16_t(std::floor(v + 0.5));
}

BsacContext::BsacContext(const Models& models) : models_(models) {}
BsacContext::~BsacContext() = default;

int BsacContext::Open(const uint8_t* config, size_t length) {
  Close();
  std::memset(store_, 0, sizeof store_);
  if (config) std::memcpy(store_, config, std::min(length, sizeof store_));
  auto parsed = ParseAudioSpecificConfig(store_, config ? length : 0);
  used_fallback_ = !parsed;
  if (!parsed) {
    std::memcpy(store_, kFallbackConfig, sizeof kFallbackConfig);
    parsed = ParseAudioSpecificConfig(store_, sizeof kFallbackConfig);
    if (!parsed) return 0;
  }
  config_ = *parsed;
  auto s = std::make_unique<Stream>();
  bsac_init_tables(s->tables, config_.sample_rate, kFrameLength, config_.channels);
  for (ChannelState& ch : s->channel) ch.previous_shape = 0;
  stream_ = std::move(s);
  return kFrameLength;
}

void BsacContext::Close() {
  stream_.reset();
  config_ = AudioConfig{};
  used_fallback_ = false;
}

// Takes the oldest queued unit out of the input buffer and decodes its frame into the channels'
// spectra. False when nothing is queued or the frame is invalid.
bool BsacContext::DecodeOldestUnit() {
  Stream& s = *stream_;
  if (s.queued_bits.empty()) return false;
  const uint32_t bits = s.queued_bits.front();
  s.queued_bits.pop_front();
  s.work.valid_bits = 0;
  BitStream in = bitstream_open(s.input);
  const bool moved = bitstream_append(in, s.work, bits);
  bitstream_close(in, true);
  if (!moved) return false;

  BitStream work = bitstream_open(s.work);
  BitReader reader;
  reader.Attach(work);
  const int channels = config_.channels;
  const bool ok = bsac_parse_header(reader, 0, s.si, channels, s.tables, models_) >= 0;
  bitstream_close(work, false);
  if (!ok) return false;

  const RateEntry& e = *s.tables.rate_entry;
  float* spec[kMaxChannels] = {s.channel[0].spectrum, s.channel[1].spectrum};
  for (int ch = 0; ch < channels; ++ch)
    if (bsac_dequantise(s.si, e, ch, spec[ch]) < 0) return false;
  if (channels == 2 && s.si.stereo_mode != 0) bsac_ms_stereo(s.si, e, spec[0], spec[1]);
  bool noise = false;
  for (int ch = 0; ch < channels; ++ch)
    for (const auto& group : s.si.noise_flag[ch])
      noise = noise || std::any_of(std::begin(group), std::end(group), [](uint8_t f) { return f != 0; });
  if (noise)
    for (int ch = 0; ch < channels; ++ch) bsac_noise_substitution(s.si, e, ch, spec[ch], noise_);
  if (channels == 2 && s.si.stereo_mode == 3) bsac_intensity_stereo(s.si, e, spec[0], spec[1]);
  for (int ch = 0; ch < channels; ++ch) bsac_tns(s.si, e, ch, spec[ch]);
  return true;
}

size_t BsacContext::Decode(const uint8_t* unit, size_t length, uint8_t* out, size_t capacity) {
  if (!stream_ || !unit || length < 2) return 0;
  Stream& s = *stream_;
  const int channels = config_.channels;
  const size_t bytes = size_t(channels) * kFrameLength * 2;
  if (!out || capacity < bytes) return 0;
  const uint32_t frame_bytes = (uint32_t(unit[0]) << 3) | (unit[1] >> 5);
  if (frame_bytes < 3 || frame_bytes > length) return 0;

  // Through the input queue: a unit that does not fit is dropped and the oldest one decoded.
  const uint32_t unit_bits = frame_bytes * 8;
  s.unit.valid_bits = 0;
  std::memcpy(s.unit.bytes.data(), unit, frame_bytes);
  s.unit.valid_bits = unit_bits;
  BitStream from = bitstream_open(s.unit);
  if (s.input.capacity_bits - s.input.valid_bits > unit_bits && bitstream_append(from, s.input, unit_bits))
    s.queued_bits.push_back(unit_bits);
  bitstream_close(from, false);

  if (config_.object_type != 22 || !DecodeOldestUnit()) return 0;
  for (int ch = 0; ch < channels; ++ch) {
    ChannelState& c = s.channel[ch];
    if (bsac_inverse_filterbank(s.transform, c, s.si.window_sequence, s.si.window_shape, kFrameLength,
                                kFrameLength / 2, kShortLength) < 0)
      return 0;
    c.previous_shape = s.si.window_shape;
  }
  for (int i = 0; i < channels * kFrameLength; ++i)
    s.pcm[i] = PcmSample(s.channel[i % channels].output[i / channels]);
  for (int i = 0; i < channels * kFrameLength; ++i) {
    const uint16_t v = uint16_t(s.pcm[i]);
    out[2 * i] = uint8_t(v & 0xFF);
    out[2 * i + 1] = uint8_t(v >> 8);
  }
  return bytes;
}

int bsac_open(BsacContext& c, const uint8_t* config, size_t length) { return c.Open(config, length); }

size_t bsac_decode(BsacContext& c, const uint8_t* unit, size_t length, uint8_t* out, size_t capacity) {
  return c.Decode(unit, length, out, capacity);
}

void bsac_close(BsacContext& c) { c.Close(); }

}  // namespace bsac
