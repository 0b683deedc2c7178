#include "filter/source/rec_writer.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <vector>

namespace rec {
namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// An end tick must never read as "no end yet".
uint32_t EndTick(uint32_t tick) { return tick == kNoEndTick ? tick - 1 : tick; }

}  // namespace

std::optional<uint64_t> CRecWriter::FileSystemFreeSpace(int fd) {
  struct statvfs st {};
  if (::fstatvfs(fd, &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

CRecWriter::CRecWriter(FreeSpaceFn freeSpace) : m_freeSpace(std::move(freeSpace)) {}

CRecWriter::~CRecWriter() { Close(); }

bool CRecWriter::Start(const std::string& path, const InfoBlock& video, const InfoBlock& audio,
                       uint32_t tick) {
  if (IsOpen()) Stop(tick);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  m_fd = fd;
  m_path = path;
  m_header = FileHeader{tick, kNoEndTick};
  m_written = m_skipped = 0;
  m_skipping = false;
  if (!WriteHeader() || !WriteAll(m_fd, video.data(), video.size(), kHeaderSize) ||
      !WriteAll(m_fd, audio.data(), audio.size(), kHeaderSize + kInfoBlockSize)) {
    Close();
    ::unlink(path.c_str());
    return false;
  }
  m_end = kFirstRecordOffset;
  return true;
}

bool CRecWriter::WriteHeader() {
  uint8_t bytes[kHeaderSize];
  PutU32(bytes, m_header.startTick);
  PutU32(bytes + 4, m_header.endTick);
  return WriteAll(m_fd, bytes, sizeof bytes, 0);
}

void CRecWriter::Stop(uint32_t tick) {
  if (!IsOpen()) return;
  // Records skipped up to the stop are not in the file: its duration ends with what was written.
  if (!m_skipping)
    m_header.endTick = EndTick(tick);
  else if (m_written == 0)
    m_header.endTick = m_header.startTick;
  WriteHeader();
  Close();
}

void CRecWriter::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

CRecWriter::WriteResult CRecWriter::WriteRecord(uint32_t type, int64_t time, std::span<const uint8_t> payload,
                                                uint32_t tick) {
  if (!IsOpen()) return WriteResult::NotOpen;
  const uint32_t max = MaxPayload(type);
  if (max == 0 || payload.size() > max) return WriteResult::Refused;
  const std::optional<uint64_t> free = m_freeSpace ? m_freeSpace(m_fd) : std::nullopt;
  if (!free || *free <= kMinFreeBytes) {
    ++m_skipped;
    m_skipping = true;
    return WriteResult::LowSpace;
  }
  std::vector<uint8_t> record(kRecordOverhead + payload.size());
  const auto head = EncodeRecordHead({tick, type, static_cast<uint32_t>(payload.size()), time});
  std::copy(head.begin(), head.end(), record.begin());
  std::copy(payload.begin(), payload.end(), record.begin() + kRecordOverhead);
  if (!WriteAll(m_fd, record.data(), record.size(), m_end)) {
    // Keep the file ending on a whole record.
    if (::ftruncate(m_fd, static_cast<off_t>(m_end)) != 0) {
      Close();
    }
    ++m_skipped;
    m_skipping = true;
    return WriteResult::Failed;
  }
  m_end += record.size();
  m_header.endTick = EndTick(tick);
  WriteHeader();
  ++m_written;
  m_skipping = false;
  return WriteResult::Written;
}

}  // namespace rec
