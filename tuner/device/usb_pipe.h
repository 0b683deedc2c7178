// Transfers on the stick's pipes (FIFOs in the device folder). Every transfer has a time budget and can
// be woken early through a WakeEvent, so a stopping thread is never stuck in a read or write.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quonda {

// An eventfd that stays readable while set; Wait() sleeps until set or the time is up.
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Set();
  void Clear();
  bool IsSet() const;
  // True when woken, false when the time ran out; an unwoken wait lasts at least timeoutMs.
  bool Wait(int timeoutMs) const;
  int Fd() const { return m_fd; }

 private:
  int m_fd;
};

// How a read ended. Only a time-out leaves the stick able to answer later.
enum class ReadEnd { kComplete, kTimedOut, kWoken, kGone };

// Each returns false on a time-out, an error, end of file (the stick went away) or a wake. `got`,
// when given, receives the bytes read also when the read falls short; `end` says which it was.
bool ReadExact(int fd, void* buffer, std::size_t length, int timeoutMs, const WakeEvent* wake,
               std::size_t* got = nullptr, ReadEnd* end = nullptr);
// SIGPIPE is held back for the calling thread, so a vanished reader gives EPIPE, not a dead process.
bool WriteAll(int fd, const void* buffer, std::size_t length, int timeoutMs, const WakeEvent* wake);
// Throws away whatever is waiting on a non-blocking pipe (a late reply must not pass for the next one);
// returns how many bytes that was.
std::size_t DrainStale(int fd);

}  // namespace quonda
