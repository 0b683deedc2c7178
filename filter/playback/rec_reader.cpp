#include "filter/playback/rec_reader.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace rec {
namespace {
constexpr size_t kScanBlock = 65536;
}

CRecReader::~CRecReader() { Close(); }

bool CRecReader::IsRecPath(const std::string& path) {
  if (path.rfind("x-dmb", 0) == 0) return false;
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return ::strcasecmp(path.c_str() + dot, ".rec") == 0;
}

void CRecReader::Close() {
  std::lock_guard lock(m_lock);
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_size = m_pos = 0;
  m_durationMs = 0;
}

bool CRecReader::IsOpen() const {
  std::lock_guard lock(m_lock);
  return m_fd >= 0;
}

uint64_t CRecReader::Position() const {
  std::lock_guard lock(m_lock);
  return m_pos;
}

bool CRecReader::SeekToRecord(uint64_t offset) {
  std::lock_guard lock(m_lock);
  RecordHead head;
  if (m_fd < 0 || offset < kFirstRecordOffset || !HeadAt(offset, head) ||
      offset + kRecordOverhead + head.length > m_size)
    return false;
  m_pos = offset;
  return true;
}

CRecReader::OpenResult CRecReader::Open(const std::string& path) {
  Close();
  if (!IsRecPath(path)) return OpenResult::NotRecPath;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OpenResult::CannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return OpenResult::CannotOpen;
  }
  std::lock_guard lock(m_lock);
  m_fd = fd;
  m_size = static_cast<uint64_t>(st.st_size);
  auto fail = [this](OpenResult r) {
    ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    return r;
  };
  uint8_t header[kHeaderSize];
  if (ReadAt(0, header, sizeof header) != sizeof header) return fail(OpenResult::BadHeader);
  m_header = FileHeader{GetU32(header), GetU32(header + 4)};
  const std::optional<uint32_t> duration = rec::DurationMs(m_header);
  if (!duration) return fail(OpenResult::BadHeader);
  m_durationMs = *duration;
  if (ReadAt(kHeaderSize, m_video.data(), kInfoBlockSize) != kInfoBlockSize ||
      !InfoBody(m_video, kVideoInfoType))
    return fail(OpenResult::BadVideoInfo);
  if (ReadAt(kHeaderSize + kInfoBlockSize, m_audio.data(), kInfoBlockSize) != kInfoBlockSize ||
      !InfoBody(m_audio, kAudioInfoType))
    return fail(OpenResult::BadAudioInfo);
  m_pos = kFirstRecordOffset;
  m_resyncs = 0;
  return OpenResult::Ok;
}

size_t CRecReader::ReadAt(uint64_t offset, uint8_t* data, size_t size) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(m_fd, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool CRecReader::HeadAt(uint64_t offset, RecordHead& head) const {
  std::array<uint8_t, kRecordOverhead> bytes{};
  if (ReadAt(offset, bytes.data(), bytes.size()) != bytes.size()) return false;
  const std::optional<RecordHead> h = DecodeRecordHead(bytes);
  if (!h) return false;
  const uint32_t max = MaxPayload(h->type);
  if (max == 0 || h->length > max) return false;
  head = *h;
  return true;
}

uint64_t CRecReader::NextRecordFrom(uint64_t offset) const {
  std::vector<uint8_t> block(kScanBlock + kMarker.size() - 1);
  offset = std::max(offset, kFirstRecordOffset);
  while (offset < m_size) {
    const size_t got = ReadAt(offset, block.data(), block.size());
    if (got < kMarker.size()) return m_size;
    auto from = block.begin();
    const auto end = block.begin() + static_cast<ptrdiff_t>(got);
    for (;;) {
      const auto it = std::search(from, end, kMarker.begin(), kMarker.end());
      if (it == end) break;
      const uint64_t candidate = offset + static_cast<uint64_t>(it - block.begin());
      RecordHead head;
      if (HeadAt(candidate, head)) return candidate;
      from = it + 1;
    }
    // The last bytes are read again so a marker across the block edge is seen.
    offset += got > kMarker.size() - 1 ? got - (kMarker.size() - 1) : got;
    if (got < block.size()) break;
  }
  return m_size;
}

CRecReader::ReadResult CRecReader::ReadRecord(Record& out) {
  std::lock_guard lock(m_lock);
  if (m_fd < 0) return ReadResult::End;
  for (;;) {
    std::array<uint8_t, kRecordOverhead> bytes{};
    if (ReadAt(m_pos, bytes.data(), bytes.size()) != bytes.size()) return ReadResult::End;
    const std::optional<RecordHead> head = DecodeRecordHead(bytes);
    if (head && MaxPayload(head->type) == 0) {
      m_pos += kRecordOverhead;  // no payload is read for a type we do not know
      return ReadResult::Skipped;
    }
    if (head && head->length <= MaxPayload(head->type)) {
      const uint64_t payloadAt = m_pos + kRecordOverhead;
      if (payloadAt + head->length > m_size) return ReadResult::End;  // not yet whole
      out.head = *head;
      out.offset = m_pos;
      out.payload.resize(head->length);
      if (ReadAt(payloadAt, out.payload.data(), head->length) != head->length) return ReadResult::End;
      m_pos = payloadAt + head->length;
      return ReadResult::Record;
    }
    // Damaged: carry on at the next record marker.
    const uint64_t next = NextRecordFrom(m_pos + 1);
    ++m_resyncs;
    if (next >= m_size) {
      m_pos = m_size;
      return ReadResult::End;
    }
    m_pos = next;
  }
}

bool CRecReader::SeekToTime(uint64_t ms) {
  std::lock_guard lock(m_lock);
  if (m_fd < 0) return false;
  if (ms == 0 || m_durationMs == 0) {
    m_pos = kFirstRecordOffset;
    return true;
  }
  const uint64_t estimate =
      static_cast<uint64_t>((static_cast<unsigned __int128>(m_size) * ms) / m_durationMs);
  uint64_t backoff = 0;
  uint64_t previous = estimate;
  for (bool first = true;; first = false) {
    uint64_t start = first ? estimate : (previous > backoff ? previous - backoff : 0);
    if (start < kFirstRecordOffset) start = 0;
    previous = start;
    uint64_t at = NextRecordFrom(start);
    if (at >= m_size) {
      if (start == 0) return false;  // no record in the whole file
      backoff += kScanBlock;
      continue;
    }
    uint64_t before = 0;
    bool walked = false;
    RecordHead head;
    while (HeadAt(at, head) && at + kRecordOverhead + head.length <= m_size) {
      const uint32_t rel = TicksSinceStart(head.tick);
      if (rel >= ms) break;
      before = at;
      walked = true;
      at += kRecordOverhead + head.length;
    }
    const bool stoppedOnRecord = HeadAt(at, head) && at + kRecordOverhead + head.length <= m_size;
    if (stoppedOnRecord && TicksSinceStart(head.tick) == ms) {
      m_pos = at;
      return true;
    }
    if (walked) {
      // The target lies after `before` (or beyond the last whole record).
      m_pos = before;
      return true;
    }
    if (start == 0) {
      m_pos = kFirstRecordOffset;
      return true;
    }
    backoff += kScanBlock;
  }
}

}  // namespace rec
