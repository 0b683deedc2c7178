#include "arib_text_decoders.h"

#include "caption_parser.h"
#include "player/pipeline/section_assembler.h"

CAribTextDecoders::CAribTextDecoders(ITextSink* sink) : sink_(sink) { aribtext::ResetScreen(caption_); }

int CAribTextDecoders::ParseCaptionPes(bool pusi, const uint8_t* payload, size_t size) {
  if (!pusi) return 1;
  if (size < 3 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return 0;
  if (size < 9) return 1;
  const size_t header = 9 + size_t(payload[8]);
  if (header >= size) return 1;
  return ParseCaptionDataGroup(payload + header, size - header);
}

int CAribTextDecoders::ParseCaptionDataGroup(const uint8_t* data, size_t size) {
  if (aribtext::ParseCaptionGroup(data, size, caption_) && sink_) sink_->ShowCaption(caption_);
  return 1;
}

void CAribTextDecoders::DecodeServiceName(const uint8_t* section, size_t size) {
  if (size < 3 || section[0] != 0x42) return;  // another stream's SDT, or another table on the PID
  if (auto name = aribtext::ParseServiceName(section, size); name && *name != serviceName_)
    serviceName_ = std::move(*name);
  if (!serviceName_.empty() && sink_) sink_->ShowServiceName(u"チャンネル : " + serviceName_);
}

void CAribTextDecoders::DecodeEventInfo(const uint8_t* section, size_t size) {
  if (tevalo::pipeline::SectionCrc32(section, size) != 0) return;  // damaged in reception
  ParseEitPresentFollowing(section, size);
  std::u16string line = events_.SummaryLine();
  if (line != lastSummary_) {
    lastSummary_ = std::move(line);
    if (sink_) {
      sink_->ShowProgramInfo(lastSummary_);
      sink_->ClearProgramList();
      sink_->BuildProgramList(events_.Table());
    }
  }
}

size_t CAribTextDecoders::ParseEitPresentFollowing(const uint8_t* section, size_t size) {
  return events_.ParseSection(section, size);
}

void CAribTextDecoders::Reset() {
  serviceName_.clear();
  lastSummary_.clear();
  events_.Reset();
  aribtext::ResetScreen(caption_);
  if (sink_) sink_->ClearProgramList();
}
