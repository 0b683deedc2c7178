// ER-BSAC audio decoding (MPEG-4 audio object type 22): an AudioSpecificConfig opens the decoder,
// each access unit then decodes to 1024 interleaved 16-bit samples per channel.
//
// A context holds one decoder; the pin that owns it serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "filter/bsac/models.h"
#include "filter/bsac/spectral.h"

namespace bsac {

struct AudioConfig {
  int object_type = 0;
  int sampling_index = 0;
  int channels = 0;
  int frame_length_flag = 0;
  int depends_on_core_coder = 0;
  int extension_flag = 0;
  uint32_t sample_rate = 0;
};

// The first bytes of an AudioSpecificConfig, when they describe a stream this decoder takes:
// object type 22, a tabled sampling rate, one or two channels, 1024-sample frames, no core coder.
std::optional<AudioConfig> ParseAudioSpecificConfig(const uint8_t* data, size_t length);

// Used in place of a configuration that is refused: 44100 Hz stereo.
inline constexpr uint8_t kFallbackConfig[5] = {0xB2, 0x11, 0xFF, 0x00, 0x00};

// Round half up after clamping to the 16-bit range; NaN gives 0.
int16_t PcmSample(float x);

class BsacContext {
 public:
  explicit BsacContext(const Models& models = StandardModels());
  ~BsacContext();
  BsacContext(const BsacContext&) = delete;
  BsacContext& operator=(const BsacContext&) = delete;

  // Closes what is open, then opens for the configuration (or the fallback). Returns the frame
  // length in samples, 0 on failure.
  int Open(const uint8_t* config, size_t length);
  // Decodes one access unit of `length` bytes into `out`; returns the bytes written (channels x
  // 2048), 0 when nothing was decoded (nothing open, a unit that is not whole, an invalid frame or
  // an output shorter than channels x 2048).
  size_t Decode(const uint8_t* unit, size_t length, uint8_t* out, size_t capacity);
  void Close();

  bool is_open() const { return stream_ != nullptr; }
  bool used_fallback() const { return used_fallback_; }
  const AudioConfig& config() const { return config_; }

 private:
  struct Stream;
  bool DecodeOldestUnit();

  const Models& models_;
  std::unique_ptr<Stream> stream_;
  uint8_t store_[16] = {};
  AudioConfig config_;
  bool used_fallback_ = false;
  NoiseState noise_;  // its seed runs on across streams
};

int bsac_open(BsacContext& context, const uint8_t* config, size_t length);
size_t bsac_decode(BsacContext& context, const uint8_t* unit, size_t length, uint8_t* out, size_t capacity);
void bsac_close(BsacContext& context);

}  // namespace bsac
