// The caption, station-name and present/following decoders of the demultiplexing thread. Every call,
// Reset included, comes from the thread that feeds the packets (or while that feed is stopped);
// results go to the sink on the same thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "player/pipeline/text_decoders.h"
#include "service_info.h"
#include "text_sink.h"
#include "text_types.h"

class CAribTextDecoders final : public tevalo::pipeline::ITextDecoders {
 public:
  explicit CAribTextDecoders(ITextSink* sink);

  // Payload of one caption-PID packet. Only section-start packets are read; 0 when such a packet
  // lacks the PES start code (the caller resets its assembler), else 1.
  int ParseCaptionPes(bool pusi, const uint8_t* payload, size_t size) override;
  // The PES data after the header, within one packet. Always 1; shows a screen when a statement
  // body was found.
  int ParseCaptionDataGroup(const uint8_t* data, size_t size);

  // One whole service description section: an intact one updates the stored name; the name, when
  // not empty, is shown as "チャンネル : " + name after every section.
  void DecodeServiceName(const uint8_t* section, size_t size) override;

  // One whole event information section: an intact present/following one is parsed; when the
  // summary line changed it is shown and the programme list rebuilt.
  void DecodeEventInfo(const uint8_t* section, size_t size) override;
  // One complete section; returns the offset after it, 0 when it is not a present/following section.
  size_t ParseEitPresentFollowing(const uint8_t* section, size_t size);

  // Forgets the station: name, events and summary; empties the programme list.
  void Reset() override;

  const std::u16string& ServiceName() const { return serviceName_; }
  const std::u16string& LastSummary() const { return lastSummary_; }
  const EventTable& Events() const { return events_.Table(); }
  const CaptionScreen& Caption() const { return caption_; }

 private:
  ITextSink* sink_;
  CaptionScreen caption_{};
  std::u16string serviceName_;
  std::u16string lastSummary_;
  aribtext::EventInfo events_;
};
