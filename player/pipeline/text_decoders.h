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
  // One packet payload of PID 0x11 (SDT). Returns 1 when a service name was decoded.
  virtual int DecodeServiceName(bool pusi, const uint8_t* payload, size_t size) = 0;
  // One packet payload of PID 0x27 (EIT), every packet whatever its start indicator.
  virtual int ReassembleEit(bool pusi, const uint8_t* payload, size_t size) = 0;
  // Forget every partial section and PES and the event table: the stream engine was reset (a new
  // channel), so nothing of the old station may show for the new one.
  virtual void Reset() = 0;

  enum class Stream { kCaption, kServiceName, kEvents };
  // A damaged or scrambled packet of that stream: drop what is being assembled for it.
  virtual void ResetStream(Stream) {}
};

// Used until the real decoders are plugged in: takes everything, shows nothing.
class CNullTextDecoders final : public ITextDecoders {
 public:
  int ParseCaptionPes(bool, const uint8_t*, size_t) override { return 1; }
  int DecodeServiceName(bool, const uint8_t*, size_t) override { return 0; }
  int ReassembleEit(bool, const uint8_t*, size_t) override { return 0; }
  void Reset() override {}
};

}  // namespace tevalo::pipeline
