// AAC decoding through FAAD2, one decoder instance per front.
//
// Implicit SBR is upsampled: a 24 kHz HE-AAC frame (1024 core samples) decodes to 2048 samples per
// channel at 48 kHz, so one stereo frame fills the pin's 8192-byte sample. Without upsampling FAAD2
// gives 1024 samples per channel at 24 kHz and every frame would be refused as the wrong length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

class AacFront {
 public:
  AacFront() = default;
  ~AacFront() { aac_close(); }
  AacFront(const AacFront&) = delete;
  AacFront& operator=(const AacFront&) = delete;

  struct OpenResult {
    int32_t rc = -1;  // the initialisation's result; negative on failure
    uint32_t sample_rate = 44100;
    uint8_t channels = 2;
    uint8_t object_type = 0;
    uint8_t bits = 16;
  };
  // kind 0: the stream start (an ADTS header); kind 1: an AudioSpecificConfig.
  OpenResult aac_open(int kind, const uint8_t* data, size_t length);

  struct DecodeResult {
    int32_t consumed = -1;  // bytes taken from the input; -1 on a decoder error
    size_t out_bytes = 0;   // bytes of interleaved 16-bit PCM written
    uint8_t channels = 0;   // as FAAD2 reports them for the frame
    uint32_t sample_rate = 0;
  };
  // Writes at most `capacity` bytes; a frame that decodes to more is refused (consumed -1).
  DecodeResult aac_decode(uint8_t* dst, size_t capacity, const uint8_t* data, size_t length);

  void aac_close();
  bool is_open() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace halvik
