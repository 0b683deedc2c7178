#pragma once
// Reads a .rec recording: validates the header and information blocks, reads records in order
// (skipping damaged stretches up to the next record marker) and positions the file for a time.
#include "filter/source/rec_format.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace rec {

struct Record {
  RecordHead head;
  std::vector<uint8_t> payload;
  uint64_t offset = 0;  // where the record starts in the file
};

class CRecReader {
 public:
  // NotAFile: a FIFO, socket, device or folder under a recording's name (never opened blocking).
  enum class OpenResult { Ok, NotRecPath, CannotOpen, NotAFile, BadHeader, BadVideoInfo, BadAudioInfo };
  enum class ReadResult { Record, Skipped, End };

  CRecReader() = default;
  ~CRecReader();
  CRecReader(const CRecReader&) = delete;
  CRecReader& operator=(const CRecReader&) = delete;

  // A path that does not begin "x-dmb" and ends ".rec" in any case.
  static bool IsRecPath(const std::string& path);

  // Opens a recording (releasing one opened before) and leaves it at its first record.
  OpenResult Open(const std::string& path);
  void Close();
  bool IsOpen() const;

  const FileHeader& Header() const { return m_header; }
  uint32_t DurationMs() const { return m_durationMs; }
  int64_t Duration() const { return int64_t(m_durationMs) * 10000; }  // 100 ns
  uint64_t FileSize() const { return m_size; }
  const InfoBlock& VideoInfo() const { return m_video; }
  const InfoBlock& AudioInfo() const { return m_audio; }

  // Reads the next record. Skipped: nothing this time, call again (a record of a type no recording
  // holds, or a damaged stretch not yet passed over: a call reads at most kScanBudget bytes looking
  // for the next record, and holes cost nothing). End: the file ends here (perhaps in a record
  // still being written); the position stays so a later call retries.
  ReadResult ReadRecord(Record& out);
  // Positions at the last record written at or before ms after the start (the first record for 0 or
  // a time before it; the last record for a time after it). False when no record can be found or
  // the seek was interrupted (the position then stays).
  bool SeekToTime(uint64_t ms);
  // Ends the scans running now (in ReadRecord or SeekToTime) at their next block; calls begun later
  // are not affected. Any thread, without the reader's lock.
  void Interrupt() { m_interrupts.fetch_add(1, std::memory_order_relaxed); }

  uint64_t Position() const;
  // Positions at the record starting at `offset` (one that ReadRecord returned); false when no
  // whole record starts there.
  bool SeekToRecord(uint64_t offset);
  // Damaged stretches passed over so far.
  uint64_t Resyncs() const { return m_resyncs; }
  // Bytes read from the file since it was opened.
  uint64_t BytesRead() const { return m_bytesRead.load(std::memory_order_relaxed); }

  static constexpr uint64_t kScanBudget = 1 << 20;

 private:
  enum class Scan { Found, None, Paused };

  size_t ReadAt(uint64_t offset, uint8_t* data, size_t size) const;
  // A plausible record head at offset (marker, known type, payload within bounds and the file).
  bool HeadAt(uint64_t offset, RecordHead& head) const;
  // Where a run of zeros ending at `end` begins (a crash can leave the tail written as zeros).
  uint64_t ZeroTailStart(uint64_t from, uint64_t end) const;
  // Looks for the first plausible record starting in [from, limit), reading at most `budget` bytes;
  // Paused (budget spent or interrupted): `at` is where to go on.
  Scan ScanFor(uint64_t from, uint64_t limit, uint64_t budget, uint32_t interrupts, uint64_t& at) const;
  bool Interrupted(uint32_t since) const { return m_interrupts.load(std::memory_order_relaxed) != since; }
  uint32_t TicksSinceStart(uint32_t tick) const { return tick - m_header.startTick; }

  mutable std::mutex m_lock;  // the read thread and seeking share the file position
  int m_fd = -1;
  uint64_t m_size = 0;
  uint64_t m_dataEnd = 0;  // where the last stretch of data ends: a tail of hole is left out
  uint64_t m_pos = 0;
  FileHeader m_header;
  uint32_t m_durationMs = 0;
  InfoBlock m_video{};
  InfoBlock m_audio{};
  uint64_t m_resyncs = 0;
  bool m_inDamage = false;  // a scan paused in a damaged stretch
  mutable std::atomic<uint64_t> m_bytesRead{0};
  std::atomic<uint32_t> m_interrupts{0};
};

}  // namespace rec
