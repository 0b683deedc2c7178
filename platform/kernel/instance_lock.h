// Single-instance lock: an exclusive flock on a per-user lock file named after the mutex name. The
// kernel drops it when the process dies, so a crashed instance never blocks the next start.
#pragma once

#include <cstdint>
#include <string_view>

namespace tvk {

class SingleInstanceLock {
 public:
  // Tries to take the lock without waiting.
  explicit SingleInstanceLock(std::string_view name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this object holds the lock; false when another process holds it
  // (LastError() == ERROR_ALREADY_EXISTS) or the lock file could not be made.
  bool Acquired() const { return fd_ >= 0; }
  uint32_t LastError() const { return error_; }
  void Release();

 private:
  int fd_ = -1;
  uint32_t error_ = 0;
};

}  // namespace tvk
