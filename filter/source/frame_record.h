// One frame taken off the channel, and the locked queues that carry frames from the receive thread
// to the pins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace halvik {

// Presentation time of a record that carries no stamp; the pin delivers it without a time.
inline constexpr int64_t kUntimed = -1;

struct FrameRecord {
  int32_t type = -1;
  uint32_t length = 0;
  int64_t values[4] = {-1, -1, -1, -1};  // values[1] is the stamp (27 MHz ticks, -1 none)
  std::vector<uint8_t> payload;
  int64_t time = 0;  // 100 ns

  int64_t stamp() const { return values[1]; }
};

using FrameRecordPtr = std::unique_ptr<FrameRecord>;

class FrameQueue {
 public:
  // A push is refused once the queue holds `limit` records.
  explicit FrameQueue(size_t limit) : limit_(limit) {}

  bool Push(FrameRecordPtr record) {
    std::lock_guard lock(mutex_);
    if (records_.size() >= limit_) return false;
    records_.push_back(std::move(record));
    return true;
  }

  FrameRecordPtr Pop() {
    std::lock_guard lock(mutex_);
    if (records_.empty()) return nullptr;
    FrameRecordPtr r = std::move(records_.front());
    records_.pop_front();
    return r;
  }

  void Clear() {
    std::deque<FrameRecordPtr> gone;
    std::lock_guard lock(mutex_);
    gone.swap(records_);
  }

  size_t Size() const {
    std::lock_guard lock(mutex_);
    return records_.size();
  }

  size_t limit() const { return limit_; }

 private:
  const size_t limit_;
  mutable std::mutex mutex_;
  std::deque<FrameRecordPtr> records_;
};

// Queue limits: far above real-time needs, they bound what a long pause (timeshift) holds.
inline constexpr size_t kVideoQueueLimit = 36363;
inline constexpr size_t kAudioQueueLimit = 60000;
inline constexpr size_t kRecordQueueVideoLimit = 36363;
inline constexpr size_t kRecordQueueAudioLimit = 60000;

}  // namespace halvik
