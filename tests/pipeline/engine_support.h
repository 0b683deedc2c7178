// A scripted tuner and a recording host for the stream-engine tests.
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

 private:
  std::mutex m_lock;
  std::deque<Bytes> m_blocks;
  uint64_t m_polls = 0;
};

struct SentMessage {
  int32_t type;
  int64_t stamp;
  Bytes body;
};

class RecordingHost : public pipeline::IStreamHost {
 public:
  std::function<void()> onWrite;  // runs under the send lock

  bool WriteStreamFrame(const uint8_t* m, size_t size) override {
    std::lock_guard lock(m_lock);
    const int32_t type = int32_t(ipcle::GetU32(m));
    const uint32_t n = ipcle::GetU32(m + 4);
    if (size < 40 + n) return false;
    m_messages.push_back({type, int64_t(ipcle::GetU64(m + 16)), Bytes(m + 40, m + 40 + n)});
    if (onWrite) onWrite();
    return true;
  }
  void SendStreamFormats(int, const StreamFormatMessage& v, const StreamFormatMessage& a) override {
    std::lock_guard lock(m_lock);
    m_messages.push_back({v.type, -1, Bytes(v.body, v.body + size_t(v.length))});
    m_messages.push_back({a.type, -1, Bytes(a.body, a.body + size_t(a.length))});
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

// Polls until done() or the time is up; true when done.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

}  // namespace tevalo::test
