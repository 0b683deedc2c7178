// Programme-map (PMT) search and recheck on PID 0x1FC8: finds the PIDs of the H.264 video, the AAC
// audio and the captions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "player/pipeline/section_assembler.h"
#include "player/pipeline/ts_constants.h"

namespace tevalo::pipeline {

// The routed PIDs. Written by the search and the recheck, read by the demultiplexer; atomic because
// a reset hands the search back to another thread while the demultiplexer may still run.
struct StreamPids {
  std::atomic<uint16_t> video{kNoPid};
  std::atomic<uint16_t> audio{kNoPid};
  std::atomic<uint16_t> caption{kNoPid};

  void Clear() {
    video = kNoPid;
    audio = kNoPid;
    caption = kNoPid;
  }
};

// Entries of one complete PMT section.
struct PmtEntries {
  uint16_t video = kNoPid;
  uint16_t audio = kNoPid;
  uint16_t caption = kNoPid;
};

// Walks the elementary-stream loop of a complete section; false when it is no usable PMT.
bool ParsePmtSection(const uint8_t* section, size_t length, PmtEntries& out);

class CProgramMap {
 public:
  explicit CProgramMap(StreamPids& pids);
  CProgramMap(const CProgramMap&) = delete;
  CProgramMap& operator=(const CProgramMap&) = delete;

  // Searches n gathered bytes. Returns 1 when a programme map with both video and audio was parsed
  // in this call; n comes back as the count of bytes at the end not yet parsed.
  int FindPmt(const uint8_t* buffer, size_t& n);

  // One packet of the PMT PID met while demultiplexing; PIDs the packet does not set keep their value.
  // Returns 1 when a complete programme map with video and audio was parsed from it.
  int RecheckPmt(const uint8_t* packet);

  void ResetSearch() { m_search.Reset(); }
  void ResetRecheck() { m_recheck.Reset(); }

 private:
  // A whole PMT section: the PIDs it names are taken, those it lacks keep their value. True when
  // it named both video and audio.
  bool TakeSection(const uint8_t* section, size_t size);

  StreamPids& m_pids;
  // The search and the recheck run on different threads; each has its own assembler and result.
  CSectionAssembler m_search;
  CSectionAssembler m_recheck;
  bool m_recheckFound = false;
};

// The programme-map search thread's gathering buffer: ten blocks, search from four on.
class CPmtSearchBuffer {
 public:
  static constexpr size_t kCapacity = 10 * kTsBlockSize;
  static constexpr size_t kKeepOnOverflow = 9 * kTsBlockSize;
  static constexpr size_t kMinToSearch = 4 * kTsBlockSize;

  explicit CPmtSearchBuffer(CProgramMap& map) : m_map(map) {}

  // Appends one block and, with enough bytes gathered and search set, searches. Returns true when
  // the programme map was found (the caller hands the feed over). searched tells whether one ran.
  bool PushBlock(const uint8_t* block, size_t size, bool search = true, bool* searched = nullptr);
  void Reset() { m_fill = 0; }
  size_t Fill() const { return m_fill; }
  const uint8_t* Data() const { return m_buffer; }

 private:
  CProgramMap& m_map;
  uint8_t m_buffer[kCapacity] = {};
  size_t m_fill = 0;
};

}  // namespace tevalo::pipeline
