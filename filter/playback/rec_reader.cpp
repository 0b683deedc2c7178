#include "filter/playback/rec_reader.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rec {
namespace {

constexpr size_t kScanBlock = 65536;

// The end of the file's last stretch of data. A crash can leave a recording followed by a long
// hole on some file systems; keeping it out of a seek's estimate keeps seeks as quick as without.
uint64_t DataEnd(int fd, uint64_t size) {
  off_t pos = 0;
  uint64_t end = 0;
  for (int extents = 0; extents < 64; ++extents) {
    const off_t data = ::lseek(fd, pos, SEEK_DATA);
    if (data < 0) return errno == ENXIO ? end : size;  // no data after pos, or no holes known here
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole < 0 || static_cast<uint64_t>(hole) >= size) return size;
    end = static_cast<uint64_t>(hole);
    pos = hole;
  }
  return size;
}

// The next data at or after offset, skipping a hole; `limit` when there is none before it.
uint64_t NextData(int fd, uint64_t offset, uint64_t limit) {
  const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0) return errno == ENXIO ? limit : offset;
  return std::min(limit, std::max(offset, static_cast<uint64_t>(data)));
}

}  // namespace

CRecReader::~CRecReader() { Close(); }

// Where a run of zeros reaching `end` begins, found by halving with small probes: a crash can
// also leave the tail written as zeros. A zero probe inside the recording only costs seek accuracy.
uint64_t CRecReader::ZeroTailStart(uint64_t from, uint64_t end) const {
  constexpr uint64_t kProbe = 4096;
  std::array<uint8_t, kProbe> probe{};
  uint64_t lo = from, hi = end;
  while (hi - lo > kProbe) {
    const uint64_t mid = lo + (hi - lo) / 2;
    const size_t got = ReadAt(mid, probe.data(), static_cast<size_t>(std::min(kProbe, end - mid)));
    if (std::all_of(probe.begin(), probe.begin() + static_cast<ptrdiff_t>(got),
                    [](uint8_t b) { return b == 0; }))
      hi = mid;
    else
      lo = mid + got;
  }
  return hi;
}

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
  m_inDamage = false;
  return true;
}

CRecReader::OpenResult CRecReader::Open(const std::string& path) {
  Close();
  if (!IsRecPath(path)) return OpenResult::NotRecPath;
  // A FIFO, socket or device under a recording's name would block the open or a read for good, or
  // be disturbed by it: refused by its type first, and the open itself cannot wait (the file may be
  // swapped in between, hence the second look at what was opened).
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return OpenResult::CannotOpen;
  if (!S_ISREG(st.st_mode)) return OpenResult::NotAFile;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return OpenResult::CannotOpen;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return OpenResult::NotAFile;
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
  m_dataEnd = std::max(kFirstRecordOffset, ZeroTailStart(kFirstRecordOffset, DataEnd(m_fd, m_size)));
  m_pos = kFirstRecordOffset;
  m_resyncs = 0;
  m_inDamage = false;
  m_bytesRead = 0;
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
  m_bytesRead.fetch_add(done, std::memory_order_relaxed);
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

CRecReader::Scan CRecReader::ScanFor(uint64_t from, uint64_t limit, uint64_t budget, uint32_t interrupts,
                                     uint64_t& at) const {
  std::vector<uint8_t> block(kScanBlock + kMarker.size() - 1);
  limit = std::min(limit, m_size);
  uint64_t offset = std::max(from, kFirstRecordOffset);
  const uint64_t readBefore = BytesRead();
  for (;;) {
    // A record lies in data: a hole (zeros never written) cannot hold one.
    offset = NextData(m_fd, offset, limit);
    if (offset >= limit) return Scan::None;
    if (BytesRead() - readBefore >= budget || Interrupted(interrupts)) {
      at = offset;
      return Scan::Paused;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), m_size - offset));
    const size_t got = ReadAt(offset, block.data(), want);
    if (got < kMarker.size()) return Scan::None;
    // The marker's last byte is rare in zero runs and in most data: memchr passes over them fast.
    const uint8_t last = kMarker.back();
    for (size_t i = kMarker.size() - 1; i < got;) {
      const void* hit = std::memchr(block.data() + i, last, got - i);
      if (!hit) break;
      const size_t end = static_cast<size_t>(static_cast<const uint8_t*>(hit) - block.data());
      const size_t begin = end + 1 - kMarker.size();
      const uint64_t candidate = offset + begin;
      if (candidate >= limit) return Scan::None;
      RecordHead head;
      if (std::equal(kMarker.begin(), kMarker.end(), block.begin() + static_cast<ptrdiff_t>(begin)) &&
          HeadAt(candidate, head)) {
        at = candidate;
        return Scan::Found;
      }
      i = end + 1;
    }
    if (got < want || offset + got >= m_size) return Scan::None;
    // The last bytes are read again so a marker across the block edge is seen.
    offset += got - (kMarker.size() - 1);
  }
}

CRecReader::ReadResult CRecReader::ReadRecord(Record& out) {
  std::lock_guard lock(m_lock);
  if (m_fd < 0) return ReadResult::End;
  const uint32_t interrupts = m_interrupts.load(std::memory_order_relaxed);
  for (;;) {
    std::array<uint8_t, kRecordOverhead> bytes{};
    if (ReadAt(m_pos, bytes.data(), bytes.size()) != bytes.size()) return ReadResult::End;
    const std::optional<RecordHead> head = DecodeRecordHead(bytes);
    if (head && MaxPayload(head->type) == 0) {
      m_pos += kRecordOverhead;  // no payload is read for a type we do not know
      m_inDamage = false;
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
      m_inDamage = false;
      return ReadResult::Record;
    }
    // Damaged: carry on at the next record marker, a bounded stretch per call.
    if (!m_inDamage) ++m_resyncs;
    uint64_t at = m_size;
    const Scan found = ScanFor(m_pos + 1, m_size, kScanBudget, interrupts, at);
    if (found == Scan::None) {
      m_pos = m_size;
      m_inDamage = false;
      return ReadResult::End;
    }
    m_pos = at;
    m_inDamage = found == Scan::Paused;
    if (m_inDamage) return ReadResult::Skipped;
  }
}

bool CRecReader::SeekToTime(uint64_t ms) {
  std::lock_guard lock(m_lock);
  if (m_fd < 0) return false;
  m_inDamage = false;
  if (ms == 0 || m_durationMs == 0) {
    m_pos = kFirstRecordOffset;
    return true;
  }
  const uint32_t interrupts = m_interrupts.load(std::memory_order_relaxed);
  const uint64_t span = m_dataEnd - kFirstRecordOffset;
  const uint64_t estimate =
      kFirstRecordOffset + static_cast<uint64_t>((static_cast<unsigned __int128>(span) * ms) / m_durationMs);
  // A stretch forward from the estimate (past damage), then windows back, each twice the one before
  // and ending where the last began: a damaged or empty stretch costs a few windows, never a scan
  // to the end of the file.
  uint64_t start = std::min(estimate, m_dataEnd);
  uint64_t limit = std::min(m_size, start + kScanBudget);
  uint64_t window = kScanBlock;
  bool anyRecord = false;
  for (;;) {
    uint64_t at = m_size;
    const Scan found = ScanFor(start, limit, UINT64_MAX, interrupts, at);
    if (found == Scan::Paused) return false;  // interrupted
    if (found == Scan::Found) {
      anyRecord = true;
      uint64_t before = 0;
      bool walked = false;
      RecordHead head;
      while (HeadAt(at, head) && at + kRecordOverhead + head.length <= m_size) {
        if (TicksSinceStart(head.tick) >= ms) break;
        if (Interrupted(interrupts)) return false;
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
    }
    if (start <= kFirstRecordOffset) {
      if (!anyRecord) return false;  // no record in the whole file
      m_pos = kFirstRecordOffset;
      return true;
    }
    limit = start;
    start = start > kFirstRecordOffset + window ? start - window : kFirstRecordOffset;
    window *= 2;
  }
}

}  // namespace rec
