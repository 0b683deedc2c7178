#include "platform/window/remote.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/kernel/runtime.h"
#include "platform/path/utf.h"
#include "platform/window/messages.h"

namespace tevalo::win::remote {
namespace {

using Clock = std::chrono::steady_clock;

bool MakePrivateDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  return (st.st_mode & 077) == 0 || chmod(dir.c_str(), 0700) == 0;
}

// Milliseconds left before the deadline, -1 for no limit.
int Remaining(bool unlimited, Clock::time_point deadline);

// A non-blocking connection, so a listener whose queue is full cannot hold the caller past its time.
int Connect(const std::string& path, bool unlimited = false,
            Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(1000)) {
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) return -1;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    const int err = errno;
    close(fd);
    if (err != EAGAIN || Remaining(unlimited, deadline) == 0) return -1;
    usleep(5000);
  }
}

// Milliseconds left before the deadline, -1 for no limit.
int Remaining(bool unlimited, Clock::time_point deadline) {
  if (unlimited) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, bool unlimited, Clock::time_point deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      const int t = Remaining(unlimited, deadline);
      if (t == 0 || poll(&p, 1, t) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

std::string SocketPath(std::u16string_view title) {
  const std::string base = tvk::RuntimeDir();
  if (base.empty()) return {};
  const std::string dir = base + "/tevalo-windows";
  if (!MakePrivateDir(dir)) return {};
  std::string name;
  static const char hex[] = "0123456789ABCDEF";
  const std::string utf8 = text::ToUtf8(text::LowerAscii(title));
  for (unsigned char c : utf8) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '%' || (name.empty() && c == '.')) {
      name += '%';
      name += hex[c >> 4];
      name += hex[c & 15];
    } else {
      name += static_cast<char>(c);
    }
  }
  constexpr size_t kMaxPath = sizeof(sockaddr_un{}.sun_path) - 1;
  if (dir.size() + 1 + name.size() > kMaxPath) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : utf8) h = (h ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "#%016llx", static_cast<unsigned long long>(h));
    name = tail;
    if (dir.size() + 1 + name.size() > kMaxPath) return {};
  }
  return dir + "/" + name;
}

bool Probe(const std::string& path) {
  const int fd = Connect(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool PrepareListenPath(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (Probe(path)) return false;
  if (!S_ISSOCK(st.st_mode)) return false;  // never remove what is not a socket
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool Request(const std::string& path, const frame::Request& req, uint32_t timeoutMs, frame::Reply* reply) {
  const bool unlimited = timeoutMs == INFINITE_TIMEOUT;
  const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
  const int fd = Connect(path, unlimited, deadline);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, frame::Encode(req), unlimited, deadline);
  std::vector<uint8_t> in;
  while (ok) {
    frame::Reply r;
    const auto d = frame::DecodeReply(in.data(), in.size(), r);
    if (d == frame::Decoded::kOk) {
      if (reply) *reply = r;
      break;
    }
    if (d == frame::Decoded::kBad) {
      ok = false;
      break;
    }
    pollfd p{fd, POLLIN, 0};
    const int t = Remaining(unlimited, deadline);
    if (t == 0 || poll(&p, 1, t) <= 0) {
      ok = false;
      break;
    }
    uint8_t buf[64];
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    in.insert(in.end(), buf, buf + n);
  }
  close(fd);
  return ok;
}

bool Post(const std::string& path, const frame::Request& req) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
  const int fd = Connect(path, false, deadline);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, frame::Encode(req), false, deadline);
  close(fd);
  return ok;
}

}  // namespace tevalo::win::remote
