// The tuner wrapper as the stream engine's block source.
#pragma once

#include "player/pipeline/stream_host.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::pipeline {

class CTunerBlockSource final : public ITsBlockSource {
 public:
  explicit CTunerBlockSource(CTDMBDll& tuner) : m_tuner(tuner) {}
  int GetTSStream(uint8_t* buffer, int* count) override { return m_tuner.GetTSStream(buffer, count); }

 private:
  CTDMBDll& m_tuner;
};

}  // namespace tevalo::pipeline
