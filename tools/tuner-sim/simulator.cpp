#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <stdexcept>

namespace tunersim {
namespace {

constexpr int64_t kPartialCommandUs = 1'000'000;  // a torn command is dropped after this long
constexpr std::size_t kLogLimit = 200'000;        // the oldest entries go beyond this

std::map<int, std::shared_ptr<const TsLoop>> load_streams(const Config& cfg) {
  std::map<int, std::shared_ptr<const TsLoop>> out;
  for (const auto& [uhf, c] : cfg.channels)
    if (c.found && !c.file.empty())
      out[uhf] = std::make_shared<const TsLoop>(TsLoop::load(c.file, c.bitrate));
  return out;
}

int64_t monotonic_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

}  // namespace

Simulator::Simulator(const Config& cfg)
    : cfg_(cfg), device_(cfg, load_streams(cfg)), folder_(cfg.root, cfg.name) {
  for (const auto& f : cfg.faults) faults_.arm(f);

  signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signal_fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signal_fd_ < 0) throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));

  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string path = cfg.control.string();
  if (path.size() >= sizeof addr.sun_path)
    throw std::runtime_error("control socket path too long (" + std::to_string(path.size()) +
                             " bytes; at most " + std::to_string(sizeof addr.sun_path - 1) + "): " + path +
                             "; choose a shorter one with --control");
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) throw std::runtime_error(path + ": exists and is not a socket");
    unlink(path.c_str());  // we hold the stick's lock, so it is a dead server's
  }
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 8) != 0)
    throw std::runtime_error(path + ": " + std::strerror(errno));

  start_us_ = now_us();
  if (!cfg.absent) plug_in();
}

Simulator::~Simulator() {
  for (auto& c : clients_) close(c.fd);
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink(cfg_.control.c_str());
  }
  if (signal_fd_ >= 0) close(signal_fd_);
}

int64_t Simulator::now_us() const { return monotonic_us(); }

std::string Simulator::outcome(const LogEntry& e) {
  if (e.removed) return "removed" + e.tag;
  std::string s;
  if (e.size == 0)
    s = "none";
  else if (e.code == cmd::kData)
    s = "data " + std::to_string(e.size);
  else if (e.size < 6)
    s = "part " + std::to_string(e.size);
  else {
    s = "reply " + std::to_string(e.head[0]);
    if (e.code == cmd::kStatus) s += " status=" + std::to_string(e.head[1]);
    if (e.code == cmd::kLevel)
      s += " level=" + std::to_string((uint32_t(e.head[1]) << 24) | (uint32_t(e.head[2]) << 16) |
                                      (uint32_t(e.head[3]) << 8) | e.head[4]);
  }
  return s + e.tag;
}

void Simulator::plug_in() {
  folder_.plug_in();
  device_.power_on();
  partial_len_ = 0;
  reinsert_at_us_ = -1;
}

void Simulator::unplug() {
  folder_.unplug();
  device_.power_on();
  pending_.clear();
  partial_len_ = 0;
}

int Simulator::run() {
  std::printf("ready %s %s\n", folder_.path().c_str(), cfg_.control.c_str());
  std::fflush(stdout);

  while (!quit_) {
    int64_t now = now_us();
    int64_t wake = now + 1'000'000;
    if (!pending_.empty()) wake = std::min(wake, pending_.front().due_us);
    if (reinsert_at_us_ >= 0) wake = std::min(wake, reinsert_at_us_);
    if (partial_len_ > 0) wake = std::min(wake, partial_since_us_ + kPartialCommandUs);
    int timeout_ms = int(std::max<int64_t>(0, (wake - now + 999) / 1000));

    std::vector<pollfd> fds;
    fds.push_back({signal_fd_, POLLIN, 0});
    fds.push_back({listen_fd_, POLLIN, 0});
    fds.push_back({cfg_.watch_stdin ? 0 : -1, POLLIN, 0});
    // A stick busy with a late answer takes no further commands until it is out.
    bool take_commands = folder_.present() && pending_.empty();
    fds.push_back({take_commands ? folder_.command_fd() : -1, POLLIN, 0});
    const std::size_t first_client = fds.size();
    for (const auto& c : clients_) fds.push_back({c.fd, POLLIN, 0});

    if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR)
      throw std::runtime_error(std::string("poll: ") + std::strerror(errno));

    if (fds[0].revents) {
      signalfd_siginfo si;
      while (read(signal_fd_, &si, sizeof si) == sizeof si) quit_ = true;
    }
    if (fds[2].revents) {
      char buf[256];
      ssize_t n = read(0, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) quit_ = true;
    }
    now = now_us();
    if (reinsert_at_us_ >= 0 && now >= reinsert_at_us_) plug_in();
    if (partial_len_ > 0 && now - partial_since_us_ >= kPartialCommandUs) {
      if (cfg_.verbose) std::fprintf(stderr, "tuner-sim: dropped a torn command\n");
      partial_len_ = 0;
      ++torn_dropped_;
    }
    if (fds[3].revents && folder_.present()) read_commands();
    flush_pending();

    for (std::size_t i = clients_.size(); i-- > 0;) {
      if (!fds[first_client + i].revents) continue;
      if (!serve_client(clients_[i])) {
        close(clients_[i].fd);
        clients_.erase(clients_.begin() + long(i));
      }
    }
    if (fds[1].revents) accept_client();
  }
  return 0;
}

void Simulator::read_commands() {
  ssize_t n = read(folder_.command_fd(), partial_.data() + partial_len_, 6 - partial_len_);
  if (n <= 0) return;
  if (partial_len_ == 0) partial_since_us_ = now_us();
  partial_len_ += std::size_t(n);
  if (partial_len_ < 6) return;
  partial_len_ = 0;
  on_command(partial_);
}

void Simulator::on_command(const std::array<uint8_t, 6>& c) {
  const int64_t now = now_us();
  LogEntry e;
  e.seq = ++seq_;
  e.ms = (now - start_us_) / 1000;
  e.code = c[0];
  e.arg = c[1];
  std::optional<FaultSpec> fault = faults_.take(c[0]);

  if (fault && fault->kind == FaultKind::Remove) {
    e.removed = true;
    unplug();
    if (fault->reinsert_ms > 0) reinsert_at_us_ = now + int64_t(fault->reinsert_ms) * 1000;
  } else {
    std::vector<uint8_t> bytes = device_.handle(c, now);
    std::vector<uint8_t> later;
    int64_t later_us = -1;
    if (fault) {
      switch (fault->kind) {
        case FaultKind::NoReply:
          bytes.clear();
          e.tag = " [noreply]";
          break;
        case FaultKind::WrongCode:
          if (c[0] != cmd::kData && !bytes.empty()) bytes[0] = uint8_t(fault->code);
          e.tag = " [wrongcode]";
          break;
        case FaultKind::Delay:
          later.swap(bytes);
          later_us = now + int64_t(fault->ms) * 1000;
          e.tag = " [delay " + std::to_string(fault->ms) + " ms]";
          break;
        case FaultKind::Stall: {
          std::size_t keep = std::min<std::size_t>(std::size_t(fault->bytes), bytes.size());
          if (fault->ms > 0) {
            later.assign(bytes.begin() + long(keep), bytes.end());
            later_us = now + int64_t(fault->ms) * 1000;
          }
          e.tag = " [stall after " + std::to_string(keep) + " bytes]";
          bytes.resize(keep);
          break;
        }
        case FaultKind::Remove:
          break;
      }
    }
    e.size = uint32_t(bytes.size() + later.size());
    for (std::size_t i = 0; i < e.head.size() && i < e.size; ++i)
      e.head[i] = i < bytes.size() ? bytes[i] : later[i - bytes.size()];
    if (!bytes.empty()) pending_.push_back({now, std::move(bytes)});
    if (!later.empty()) pending_.push_back({later_us, std::move(later)});
  }

  if (cfg_.verbose)
    std::fprintf(stderr, "tuner-sim: %llu %lld ms: command %u arg %u -> %s\n", (unsigned long long)e.seq,
                 (long long)e.ms, e.code, e.arg, outcome(e).c_str());
  log_.push_back(std::move(e));
  if (log_.size() > kLogLimit) log_.pop_front();
}

void Simulator::flush_pending() {
  const int64_t now = now_us();
  while (!pending_.empty() && pending_.front().due_us <= now) {
    write_reply(pending_.front().bytes);
    pending_.pop_front();
  }
}

void Simulator::write_reply(const std::vector<uint8_t>& bytes) {
  if (!folder_.present() || bytes.empty()) return;
  // At most 1152 bytes: a FIFO write that small is all or nothing.
  if (write(folder_.reply_fd(), bytes.data(), bytes.size()) < 0 && cfg_.verbose)
    std::fprintf(stderr, "tuner-sim: reply of %zu bytes dropped: %s\n", bytes.size(), std::strerror(errno));
}

void Simulator::accept_client() {
  int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  timeval tv{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  clients_.push_back({fd, {}});
}

bool Simulator::serve_client(Client& c) {
  char buf[4096];
  ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  c.in.append(buf, std::size_t(n));
  if (c.in.size() > 65536) return false;
  std::size_t nl;
  while ((nl = c.in.find('\n')) != std::string::npos) {
    std::string line = c.in.substr(0, nl);
    c.in.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string answer = control(line);
    for (std::size_t off = 0; off < answer.size();) {
      ssize_t w = send(c.fd, answer.data() + off, answer.size() - off, MSG_NOSIGNAL);
      if (w <= 0) return false;
      off += std::size_t(w);
    }
  }
  return true;
}

std::string Simulator::control(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  std::string rest;
  std::getline(in, rest);
  try {
    if (word == "ping") return "ok\n";
    if (word == "fault") {
      FaultSpec f = parse_fault(rest);
      faults_.arm(f);
      return "ok " + describe(f) + "\n";
    }
    if (word == "clear") {
      faults_.clear();
      return "ok\n";
    }
    if (word == "faults") {
      auto all = faults_.armed();
      std::string out = "ok " + std::to_string(all.size()) + "\n";
      for (const auto& f : all) out += describe(f) + "\n";
      return out;
    }
    if (word == "remove") {
      FaultSpec f = parse_fault("remove " + rest);
      if (folder_.present()) unplug();
      reinsert_at_us_ = f.reinsert_ms > 0 ? now_us() + int64_t(f.reinsert_ms) * 1000 : -1;
      return "ok\n";
    }
    if (word == "insert") {
      if (!folder_.present()) plug_in();
      return "ok\n";
    }
    if (word == "level") {
      long uhf = -1;
      unsigned long code = 0;
      std::istringstream args(rest);
      if (!(args >> uhf >> code) || code > 0xFFFFFFFFul) return "error usage: level UHF CODE\n";
      device_.set_level(int(uhf), uint32_t(code));
      return "ok\n";
    }
    if (word == "tunestart") {
      std::string pos;
      std::istringstream(rest) >> pos;
      device_.set_tune_start(parse_tune_start(pos));
      return "ok " + describe(device_.tune_start()) + "\n";
    }
    if (word == "log") {
      uint64_t since = 0;
      std::istringstream(rest) >> since;
      std::string body;
      std::size_t n = 0;
      for (const auto& e : log_) {
        if (e.seq <= since) continue;
        ++n;
        body += std::to_string(e.seq) + " " + std::to_string(e.ms) + " " + std::to_string(e.code) + " " +
                std::to_string(e.arg) + " " + outcome(e) + "\n";
      }
      return "ok " + std::to_string(n) + "\n" + body;
    }
    if (word == "clearlog") {
      log_.clear();
      return "ok\n";
    }
    if (word == "status") {
      return "ok present=" + std::to_string(folder_.present()) +
             " streaming=" + std::to_string(device_.streaming()) +
             " channel=" + std::to_string(device_.channel()) +
             " first_packet=" + std::to_string(device_.first_packet()) +
             " units=" + std::to_string(device_.units_sent()) + " commands=" + std::to_string(seq_) +
             " pending=" + std::to_string(pending_.size()) + " torn=" + std::to_string(torn_dropped_) +
             " ms=" + std::to_string((now_us() - start_us_) / 1000) + "\n";
    }
    if (word == "quit") {
      quit_ = true;
      return "ok\n";
    }
    return "error unknown request '" + word + "'\n";
  } catch (const std::exception& e) {
    return std::string("error ") + e.what() + "\n";
  }
}

}  // namespace tunersim
