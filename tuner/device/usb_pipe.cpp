#include "tuner/device/usb_pipe.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quonda {

namespace {

using Clock = std::chrono::steady_clock;

// Rounded up: a wait of the time left never ends before the deadline.
int RemainingMs(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Waits until fd is ready for `events`. 1 ready (or hung up: the next call tells), 0 time-out or wake.
int WaitReady(int fd, short events, Clock::time_point deadline, const WakeEvent* wake) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {wake ? wake->Fd() : -1, POLLIN, 0}};
    int n = ::poll(fds, wake ? 2 : 1, RemainingMs(deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (n == 0) return 0;
    if (wake && (fds[1].revents & POLLIN)) return 0;
    if (fds[0].revents & POLLNVAL) return 0;
    return 1;
  }
}

}  // namespace

WakeEvent::WakeEvent() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
  if (m_fd >= 0) ::close(m_fd);
}

void WakeEvent::Set() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto r = ::write(m_fd, &one, sizeof one);
}

void WakeEvent::Clear() {
  std::uint64_t value;
  [[maybe_unused]] auto r = ::read(m_fd, &value, sizeof value);
}

bool WakeEvent::IsSet() const {
  pollfd p{m_fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool WakeEvent::Wait(int timeoutMs) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n > 0) return true;
    if (n == 0 && Clock::now() >= deadline) return false;
    if (n < 0 && errno != EINTR) return false;
  }
}

bool ReadExact(int fd, void* buffer, std::size_t length, int timeoutMs, const WakeEvent* wake,
               std::size_t* got, ReadEnd* end) {
  std::size_t scratch = 0;
  std::size_t& done = got ? *got : scratch;
  ReadEnd ignored = ReadEnd::kComplete;
  ReadEnd& how = end ? *end : ignored;
  done = 0;
  how = ReadEnd::kGone;
  if (fd < 0) return false;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  auto* out = static_cast<unsigned char*>(buffer);
  while (done < length) {
    if (wake && wake->IsSet()) {
      how = ReadEnd::kWoken;
      return false;
    }
    ssize_t n = ::read(fd, out + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false;  // no writer: the stick is gone
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    if (!WaitReady(fd, POLLIN, deadline, wake)) {
      if (wake && wake->IsSet())
        how = ReadEnd::kWoken;
      else if (Clock::now() >= deadline)
        how = ReadEnd::kTimedOut;
      return false;
    }
  }
  how = ReadEnd::kComplete;
  return true;
}

bool WriteAll(int fd, const void* buffer, std::size_t length, int timeoutMs, const WakeEvent* wake) {
  if (fd < 0) return false;
  sigset_t pipeSet, oldSet, pending;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  bool ok = true;
  bool brokenPipe = false;
  while (done < length) {
    ssize_t n = ::write(fd, in + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && WaitReady(fd, POLLOUT, deadline, wake)) continue;
    brokenPipe = n < 0 && errno == EPIPE;
    ok = false;
    break;
  }
  if (brokenPipe && !wasPending) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
  return ok;
}

std::size_t DrainStale(int fd) {
  std::size_t drained = 0;
  if (fd < 0) return drained;
  unsigned char scrap[1024];
  for (;;) {
    ssize_t n = ::read(fd, scrap, sizeof scrap);
    if (n > 0) {
      drained += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return drained;
  }
}

}  // namespace quonda
