#pragma once
// Writes a .rec recording: header and information blocks at the start, then one record per frame.
// The header is rewritten after every record, so a recording cut off at any point stays playable.
#include "filter/source/rec_format.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace rec {

class CRecWriter {
 public:
  // Bytes available to us on the file system of the open file; nullopt when unknown.
  using FreeSpaceFn = std::function<std::optional<uint64_t>(int fd)>;
  static std::optional<uint64_t> FileSystemFreeSpace(int fd);
  // Records are skipped while this much or less is free.
  static constexpr uint64_t kMinFreeBytes = 200ull << 20;

  explicit CRecWriter(FreeSpaceFn freeSpace = FileSystemFreeSpace);
  ~CRecWriter();
  CRecWriter(const CRecWriter&) = delete;
  CRecWriter& operator=(const CRecWriter&) = delete;

  // Creates the file (replacing one of that name) and writes the header and both blocks. A file
  // already open is stopped first. False when the file cannot be created or written.
  bool Start(const std::string& path, const InfoBlock& video, const InfoBlock& audio, uint32_t tick);
  // Rewrites the header with the final end tick (the last written record's when records were being
  // skipped at the stop) and closes. Nothing happens when no file is open.
  void Stop(uint32_t tick);

  enum class WriteResult { Written, NotOpen, Refused, LowSpace, Failed };
  // Appends one record; a failed or short write leaves the file as it was before the record.
  WriteResult WriteRecord(uint32_t type, int64_t time, std::span<const uint8_t> payload, uint32_t tick);

  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Path() const { return m_path; }
  uint64_t RecordsWritten() const { return m_written; }
  uint64_t RecordsSkipped() const { return m_skipped; }

 private:
  bool WriteHeader();
  void Close();

  FreeSpaceFn m_freeSpace;
  int m_fd = -1;
  std::string m_path;
  FileHeader m_header;
  uint64_t m_end = 0;
  uint64_t m_written = 0;
  uint64_t m_skipped = 0;
  bool m_skipping = false;  // the last record was skipped (low space or a failed write)
};

}  // namespace rec
