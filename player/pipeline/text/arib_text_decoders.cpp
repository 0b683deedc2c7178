#include "arib_text_decoders.h"

#include "caption_parser.h"

CAribTextDecoders::CAribTextDecoders(ITextSink* sink)
    : sink_(sink),
      sdtCollector_([this](const uint8_t* s, size_t n) { OnSdtSection(s, n); }),
      eitCollector_([this](const uint8_t* s, size_t n) { OnEitSection(s, n); }) {
  aribtext::ResetScreen(caption_);
}

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

int CAribTextDecoders::DecodeServiceName(bool pusi, const uint8_t* payload, size_t size) {
  sdtCollector_.Feed(pusi, payload, size);
  return 1;
}

void CAribTextDecoders::OnSdtSection(const uint8_t* section, size_t size) {
  if (section[0] != 0x42) return;  // another stream's SDT, or another table on the PID
  if (auto name = aribtext::ParseServiceName(section, size); name && *name != serviceName_)
    serviceName_ = std::move(*name);
  if (!serviceName_.empty() && sink_) sink_->ShowServiceName(u"チャンネル : " + serviceName_);
}

int CAribTextDecoders::ReassembleEit(bool pusi, const uint8_t* payload, size_t size) {
  eitCollector_.Feed(pusi, payload, size);
  std::u16string line = events_.SummaryLine();
  if (line != lastSummary_) {
    lastSummary_ = std::move(line);
    if (sink_) {
      sink_->ShowProgramInfo(lastSummary_);
      sink_->ClearProgramList();
      sink_->BuildProgramList(events_.Table());
    }
  }
  return 1;
}

size_t CAribTextDecoders::ParseEitPresentFollowing(const uint8_t* section, size_t size) {
  return events_.ParseSection(section, size);
}

void CAribTextDecoders::OnEitSection(const uint8_t* section, size_t size) {
  if (aribtext::SectionCrc(section, size) != 0) return;  // damaged in reception
  ParseEitPresentFollowing(section, size);
}

void CAribTextDecoders::Reset() {
  serviceName_.clear();
  lastSummary_.clear();
  events_.Reset();
  sdtCollector_.Reset();
  eitCollector_.Reset();
  aribtext::ResetScreen(caption_);
  if (sink_) sink_->ClearProgramList();
}

void CAribTextDecoders::ResetStream(Stream stream) {
  switch (stream) {
    case Stream::kServiceName:
      sdtCollector_.Reset();
      break;
    case Stream::kEvents:
      eitCollector_.Reset();
      break;
    case Stream::kCaption:
      break;  // each caption packet is read on its own
  }
}
