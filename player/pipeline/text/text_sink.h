// Where the caption, station-name and programme decoders send their results. Called on the
// demultiplexing thread; every argument is the receiver's to copy (nothing is kept by reference
// after the call returns).
#pragma once

#include <string>

#include "text_types.h"

class ITextSink {
 public:
  virtual ~ITextSink() = default;
  virtual void ShowCaption(const CaptionScreen& lines) = 0;
  // "チャンネル : " followed by the station name.
  virtual void ShowServiceName(std::u16string text) = 0;
  // The one-line present/following summary.
  virtual void ShowProgramInfo(std::u16string text) = 0;
  virtual void ClearProgramList() = 0;
  virtual void BuildProgramList(const EventTable& events) = 0;
};
