#include "filter/source/worker_thread.h"

namespace halvik {

bool WorkerThread::Create(std::function<void()> body) {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return false;
  running_ = true;
  request_.reset();
  reply_.reset();
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    std::lock_guard l(mutex_);
    running_ = false;
    cv_.notify_all();
  });
  return true;
}

bool WorkerThread::ThreadExists() const {
  std::lock_guard lock(mutex_);
  return thread_.joinable();
}

void WorkerThread::Close() {
  std::thread t;
  {
    std::lock_guard lock(mutex_);
    t.swap(thread_);
  }
  if (t.joinable()) t.join();
}

uint32_t WorkerThread::CallWorker(uint32_t request) {
  std::lock_guard call(call_mutex_);
  std::unique_lock lock(mutex_);
  if (!running_) return kNoThread;
  request_ = request;
  reply_.reset();
  cv_.wait(lock, [this] { return reply_.has_value() || !running_; });
  request_.reset();
  if (!reply_) return kNoThread;
  const uint32_t r = *reply_;
  reply_.reset();
  return r;
}

std::optional<uint32_t> WorkerThread::CheckRequest() {
  std::lock_guard lock(mutex_);
  if (reply_) return std::nullopt;  // answered, not yet collected
  return request_;
}

void WorkerThread::Reply(uint32_t value) {
  std::lock_guard lock(mutex_);
  request_.reset();
  reply_ = value;
  cv_.notify_all();
}

}  // namespace halvik
