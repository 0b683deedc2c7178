// Hands packet payloads of PIDs 0x11 and 0x27 to the text decoders as the demultiplexer does:
// through its section assembler, whole sections only. Each PID's continuity counter counts on by
// itself unless the caller gives the packet's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "arib_text_decoders.h"
#include "player/pipeline/section_assembler.h"

struct SectionFeed {
  static constexpr uint16_t kSdt = 0x11;
  static constexpr uint16_t kEit = 0x27;

  explicit SectionFeed(CAribTextDecoders& dec) {
    sections.SetHandler(kSdt, [&dec](const uint8_t* s, size_t n) { dec.DecodeServiceName(s, n); });
    sections.SetHandler(kEit, [&dec](const uint8_t* s, size_t n) { dec.DecodeEventInfo(s, n); });
  }
  void Sdt(bool pusi, const uint8_t* p, size_t n) { Feed(kSdt, pusi, p, n, sdtCc++); }
  void Eit(bool pusi, const uint8_t* p, size_t n) { Feed(kEit, pusi, p, n, eitCc++); }
  void Feed(uint16_t pid, bool pusi, const uint8_t* p, size_t n, int cc) {
    sections.Feed(pid, pusi, cc & 0x0F, p, n);
  }

  tevalo::pipeline::CSectionAssembler sections;
  int sdtCc = 0;
  int eitCc = 0;
};
