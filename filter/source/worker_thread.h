// A worker thread that its owner drives with requests and waits for the reply to each.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace halvik {

class WorkerThread {
 public:
  static constexpr uint32_t kNoThread = 0x80004005;  // the reply when no thread can answer

  WorkerThread() = default;
  ~WorkerThread() { Close(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread; false when one already runs.
  bool Create(std::function<void()> body);
  bool ThreadExists() const;
  // Waits for the thread to end (without limit) and forgets it.
  void Close();

  // Owner side: posts a request and waits for its reply, or for the thread to end.
  uint32_t CallWorker(uint32_t request);

  // Thread side.
  std::optional<uint32_t> CheckRequest();
  void Reply(uint32_t value);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool running_ = false;
  std::optional<uint32_t> request_;
  std::optional<uint32_t> reply_;
  std::mutex call_mutex_;  // one call at a time
};

}  // namespace halvik
