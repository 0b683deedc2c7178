// The demultiplexer's route to the caption, service-name and event-text decoders. They run on the
// demultiplexing thread; what they produce for the screen is handed to the host as copies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tevalo::pipeline {

class ITextDecoders {
 public:
  virtual ~ITextDecoders() = default;

  // One packet payload of the caption PID. Returns 0 when the caption assembler must be reset.
  virtual int ParseCaptionPes(bool pusi, const uint8_t* payload, size_t size) = 0;
  // One whole section of PID 0x11 (SDT); its CRC is the decoder's to check.
  virtual void DecodeServiceName(const uint8_t* section, size_t size) = 0;
  // One whole section of PID 0x27 (EIT); likewise.
  virtual void DecodeEventInfo(const uint8_t* section, size_t size) = 0;
  // Forget the station and the event table: the stream engine was reset (a new channel), so nothing
  // of the old station may show for the new one. (The demultiplexer drops its partial sections.)
  virtual void Reset() = 0;
  // A damaged or scrambled caption packet: drop what is being assembled for it.
  virtual void ResetCaption() {}
};

// Used until the real decoders are plugged in: takes everything, shows nothing.
class CNullTextDecoders final : public ITextDecoders {
 public:
  int ParseCaptionPes(bool, const uint8_t*, size_t) override { return 1; }
  void DecodeServiceName(const uint8_t*, size_t) override {}
  void DecodeEventInfo(const uint8_t*, size_t) override {}
  void Reset() override {}
};

}  // namespace tevalo::pipeline
