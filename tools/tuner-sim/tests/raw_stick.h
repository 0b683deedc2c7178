// A host for tests, written straight from the device protocol's command table and the pipe handshake
// (docs/tuner-pipes.md), without the tuner libraries.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace raw {

using Clock = std::chrono::steady_clock;
enum class Result { Ok, Timeout, Eof, Broken, Closed };

inline const char* name(Result r) {
  switch (r) {
    case Result::Ok:
      return "ok";
    case Result::Timeout:
      return "timeout";
    case Result::Eof:
      return "eof";
    case Result::Broken:
      return "broken pipe";
    case Result::Closed:
      return "closed";
  }
  return "?";
}

inline std::vector<std::filesystem::path> enumerate(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  for (const auto& e :
       std::filesystem::directory_iterator(root / "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}", ec))
    if (e.is_directory() && e.path().filename().string()[0] != '.') out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

// The presence test: PIPE01 opens for writing only while a driver holds its read end.
inline int probe(const std::filesystem::path& dev) {
  int fd = ::open((dev / "PIPE01").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

class Stick {
 public:
  explicit Stick(std::filesystem::path dev) : dev_(std::move(dev)) {}
  ~Stick() { close(); }

  bool open() {
    close();
    in_ = ::open((dev_ / "PIPE00").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    out_ = ::open((dev_ / "PIPE01").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (in_ < 0 || out_ < 0) close();
    return in_ >= 0;
  }
  void close() {
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
    in_ = out_ = -1;
  }
  bool is_open() const { return in_ >= 0; }

  // Drops whatever an earlier, abandoned transfer left in PIPE00; false at end-of-file.
  bool drain() {
    char buf[4096];
    for (;;) {
      ssize_t n = ::read(in_, buf, sizeof buf);
      if (n > 0) {
        drained_ += std::size_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      return n != 0;
    }
  }

  Result send(uint8_t code, uint8_t arg = 0, bool drain_first = true) {
    if (out_ < 0) return Result::Closed;
    if (drain_first) drain();
    std::array<uint8_t, 6> c{code, arg, 0, 0, 0, 0};
    return write_all(c.data(), c.size());
  }

  Result write_all(const uint8_t* p, std::size_t n) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    sigset_t pipe_set, old;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
    sigset_t pending;
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE);
    Result r = Result::Timeout;
    while (Clock::now() < deadline) {
      ssize_t w = ::write(out_, p, n);
      if (w == ssize_t(n)) {
        r = Result::Ok;
        break;
      }
      if (w < 0 && errno == EPIPE) {
        if (!was_pending) {
          timespec zero{0, 0};
          sigtimedwait(&pipe_set, nullptr, &zero);
        }
        r = Result::Broken;
        break;
      }
      pollfd pf{out_, POLLOUT, 0};
      poll(&pf, 1, left_ms(deadline));
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return r;
  }

  Result read(uint8_t* buf, std::size_t n, int budget_ms = 1000) {
    if (in_ < 0) return Result::Closed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(budget_ms);
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(in_, buf + got, n - got);
      if (r > 0) {
        got += std::size_t(r);
        continue;
      }
      if (r == 0) return Result::Eof;
      if (errno != EAGAIN && errno != EINTR) return Result::Broken;
      if (Clock::now() >= deadline) return Result::Timeout;
      pollfd pf{in_, POLLIN, 0};
      poll(&pf, 1, left_ms(deadline));
    }
    return Result::Ok;
  }

  struct Exchange {
    Result result = Result::Closed;
    std::array<uint8_t, 6> reply{};
    int ms = 0;  // how long the reply took
  };
  Exchange command(uint8_t code, uint8_t arg = 0) {
    Exchange e;
    auto t0 = Clock::now();
    e.result = send(code, arg);
    if (e.result == Result::Ok) e.result = read(e.reply.data(), 6);
    e.ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    return e;
  }

  // Command 13 and its 1152 bytes, read as 512 + 512 + 128.
  Result data(std::vector<uint8_t>& out) {
    Result r = send(13);
    out.assign(1152, 0);
    std::size_t off = 0;
    for (std::size_t part : {512u, 512u, 128u}) {
      if (r != Result::Ok) break;
      r = read(out.data() + off, part);
      off += part;
    }
    return r;
  }

  std::size_t drained() const { return drained_; }

 private:
  static int left_ms(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left + 1));
  }

  std::filesystem::path dev_;
  int in_ = -1;
  int out_ = -1;
  std::size_t drained_ = 0;
};

}  // namespace raw
