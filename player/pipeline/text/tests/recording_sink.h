// A text sink that records every call, for the decoder tests.
#pragma once

#include <string>
#include <vector>

#include "text_sink.h"

struct RecordingSink : ITextSink {
  std::vector<CaptionScreen> captions;
  std::vector<std::u16string> names;
  std::vector<std::u16string> infos;
  std::vector<EventTable> lists;
  std::vector<std::string> calls;  // order of the programme calls

  void ShowCaption(const CaptionScreen& lines) override { captions.push_back(lines); }
  void ShowServiceName(std::u16string text) override { names.push_back(std::move(text)); }
  void ShowProgramInfo(std::u16string text) override {
    infos.push_back(std::move(text));
    calls.push_back("info");
  }
  void ClearProgramList() override { calls.push_back("clear"); }
  void BuildProgramList(const EventTable& events) override {
    lists.push_back(events);
    calls.push_back("build");
  }
};

inline std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80)
      out += char(c);
    else if (c < 0x800)
      out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    else if (c < 0x10000)
      out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    else
      out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F)),
          out += char(0x80 | (c & 0x3F));
  }
  return out;
}
