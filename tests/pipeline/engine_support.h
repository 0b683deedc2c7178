// A scripted tuner and a recording frame sink for the stream-engine tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "player/pipeline/stream_host.h"
#include "tests/pipeline/ts_writer.h"

namespace tevalo::test {

class FakeTuner : public pipeline::ITsBlockSource {
 public:
  // Queues ts as 1128-byte blocks; a tail shorter than a block is left out.
  void Queue(const Bytes& ts) {
    std::lock_guard lock(m_lock);
    for (size_t i = 0; i + 1128 <= ts.size(); i += 1128)
      m_blocks.emplace_back(ts.begin() + i, ts.begin() + i + 1128);
  }
  int GetTSStream(uint8_t* buffer, int* count) override {
    std::lock_guard lock(m_lock);
    if (count) *count = int(m_blocks.size());
    ++m_polls;
    if (m_blocks.empty()) return 0;
    std::copy(m_blocks.front().begin(), m_blocks.front().end(), buffer);
    m_blocks.pop_front();
    m_lastBlockPoll = m_polls;
    return 1;
  }
  size_t Left() {
    std::lock_guard lock(m_lock);
    return m_blocks.size();
  }
  uint64_t Polls() {
    std::lock_guard lock(m_lock);
    return m_polls;
  }
  // Whether the reader has polled again since it took the last block: it has queued that block
  // and had a turn with nothing to read.
  bool PolledSinceLastBlock(uint64_t more = 1) {
    std::lock_guard lock(m_lock);
    return m_blocks.empty() && m_polls >= m_lastBlockPoll + more;
  }

 private:
  std::mutex m_lock;
  std::deque<Bytes> m_blocks;
  uint64_t m_polls = 0;
  uint64_t m_lastBlockPoll = 0;
};

struct SentMessage {
  int32_t type;
  int64_t stamp;
  Bytes body;
};

class RecordingSink : public pipeline::IFrameSink {
 public:
  std::function<void()> onWrite;  // runs under the sink's lock

  bool WriteStreamFrame(const uint8_t* m, size_t size) override {
    std::lock_guard lock(m_lock);
    const int32_t type = int32_t(ipcle::GetU32(m));
    const uint32_t n = ipcle::GetU32(m + 4);
    if (size < 40 + n) return false;
    m_messages.push_back({type, int64_t(ipcle::GetU64(m + 16)), Bytes(m + 40, m + 40 + n)});
    if (onWrite) onWrite();
    return true;
  }
  bool WriteStreamFormats(const StreamFormatMessage& v, const StreamFormatMessage& a) override {
    std::lock_guard lock(m_lock);
    m_messages.push_back({v.type, -1, Bytes(v.body, v.body + size_t(v.length))});
    m_messages.push_back({a.type, -1, Bytes(a.body, a.body + size_t(a.length))});
    return true;
  }
  std::vector<SentMessage> Messages() {
    std::lock_guard lock(m_lock);
    return m_messages;
  }
  void Clear() {
    std::lock_guard lock(m_lock);
    m_messages.clear();
  }

 private:
  std::mutex m_lock;
  std::vector<SentMessage> m_messages;
};

inline std::vector<SentMessage> OfType(const std::vector<SentMessage>& all, int32_t type) {
  std::vector<SentMessage> out;
  for (const auto& m : all)
    if (m.type == type) out.push_back(m);
  return out;
}

// Polls until done() or the time is up; true when done. The bound is only there to end a broken run.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

}  // namespace tevalo::test
