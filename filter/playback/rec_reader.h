#pragma once
// Reads a .rec recording: validates the header and information blocks, reads records in order
// (skipping damaged stretches up to the next record marker) and positions the file for a time.
#include "filter/source/rec_format.h"

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
  enum class OpenResult { Ok, NotRecPath, CannotOpen, BadHeader, BadVideoInfo, BadAudioInfo };
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

  // Reads the next record. Skipped: a record of a type no recording holds. End: the file ends
  // here (perhaps in a record still being written); the position stays so a later call retries.
  ReadResult ReadRecord(Record& out);
  // Positions at the last record written at or before ms after the start (the first record for 0 or
  // a time before it; the last record for a time after it). False when no record can be found.
  bool SeekToTime(uint64_t ms);

  uint64_t Position() const;
  // Positions at the record starting at `offset` (one that ReadRecord returned); false when no
  // whole record starts there.
  bool SeekToRecord(uint64_t offset);
  // Damaged stretches passed over so far.
  uint64_t Resyncs() const { return m_resyncs; }

 private:
  size_t ReadAt(uint64_t offset, uint8_t* data, size_t size) const;
  // A plausible record head at offset (marker, known type, payload within bounds and the file).
  bool HeadAt(uint64_t offset, RecordHead& head) const;
  // Offset of the first plausible record at or after offset; m_size when none.
  uint64_t NextRecordFrom(uint64_t offset) const;
  uint32_t TicksSinceStart(uint32_t tick) const { return tick - m_header.startTick; }

  mutable std::mutex m_lock;  // the read thread and seeking share the file position
  int m_fd = -1;
  uint64_t m_size = 0;
  uint64_t m_pos = 0;
  FileHeader m_header;
  uint32_t m_durationMs = 0;
  InfoBlock m_video{};
  InfoBlock m_audio{};
  uint64_t m_resyncs = 0;
};

}  // namespace rec
