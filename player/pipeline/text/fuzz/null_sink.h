#pragma once

#include <cstring>

#include "text_sink.h"

// Touches what it is given, so the sanitizers see every byte handed over.
struct CheckingSink : ITextSink {
  size_t sum = 0;
  void ShowCaption(const CaptionScreen& lines) override {
    for (const auto& l : lines) sum += std::char_traits<char16_t>::length(l.text) + size_t(l.lineCount);
  }
  void ShowServiceName(std::u16string text) override { sum += text.size(); }
  void ShowProgramInfo(std::u16string text) override { sum += text.size(); }
  void ClearProgramList() override {}
  void BuildProgramList(const EventTable& events) override {
    for (const auto& e : events)
      sum += std::char_traits<char16_t>::length(e.title) + std::char_traits<char16_t>::length(e.text);
  }
};
