#include "sim_client.h"

#include "config.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tunersim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRequestTimeoutMs = 5000;

std::runtime_error error(const std::string& what) { return std::runtime_error("tuner-sim client: " + what); }

int decode_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

SimProcess::SimProcess(Options o) {
  root_ = o.root.empty() ? default_device_root() : o.root;
  std::filesystem::path binary = o.binary;
  if (binary.empty()) {
    const char* env = std::getenv("TEVALO_TUNER_SIM");
    binary = env && *env ? env : TUNER_SIM_BINARY;
  }
  std::vector<std::string> args{binary.string(), "--root", root_.string(), "--name", o.name, "--watch-stdin"};
  args.insert(args.end(), o.args.begin(), o.args.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) throw error(std::string("pipe: ") + std::strerror(errno));
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    throw error(std::string("pipe: ") + std::strerror(errno));
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (pid_ < 0) {
    close(in[1]);
    close(out[0]);
    throw error(std::string("fork: ") + std::strerror(errno));
  }
  stdin_fd_ = in[1];
  stdout_fd_ = out[0];

  // The ready line: "ready <device path> <control socket>".
  std::string line = read_line(o.ready_timeout_ms);
  std::istringstream words(line);
  std::string tag, dev, ctl;
  words >> tag >> dev >> ctl;
  if (tag != "ready" || dev.empty() || ctl.empty()) {
    int status = stop();
    throw error(binary.string() + " did not start (exit status " + std::to_string(status) +
                "; its messages are on standard error)");
  }
  device_path_ = dev;
  control_path_ = ctl;
  buffer_.clear();

  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, ctl.c_str(), sizeof addr.sun_path - 1);
  control_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (control_fd_ < 0 || connect(control_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::string why = std::strerror(errno);
    stop();
    throw error("cannot connect to " + ctl + ": " + why);
  }
}

SimProcess::~SimProcess() { stop(); }

// Reads one line from the control socket, or before it is connected, from the child's output.
std::string SimProcess::read_line(int timeout_ms) {
  const int fd = control_fd_ >= 0 ? control_fd_ : stdout_fd_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) throw error("no answer within " + std::to_string(timeout_ms) + " ms");
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, int(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[65536];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw error("the simulator went away");
    buffer_.append(buf, std::size_t(n));
  }
}

std::vector<std::string> SimProcess::exchange(const std::string& line, bool with_body) {
  std::lock_guard lock(mutex_);
  if (control_fd_ < 0) throw error("not running");
  std::string msg = line + "\n";
  if (send(control_fd_, msg.data(), msg.size(), MSG_NOSIGNAL) != ssize_t(msg.size()))
    throw error("cannot send '" + line + "': " + std::strerror(errno));
  std::vector<std::string> out{read_line(kRequestTimeoutMs)};
  if (out[0].rfind("error", 0) == 0)
    throw error(line + ": " + out[0].substr(std::min<std::size_t>(6, out[0].size())));
  if (out[0].rfind("ok", 0) != 0) throw error(line + ": unexpected answer '" + out[0] + "'");
  out[0] = out[0].size() > 3 ? out[0].substr(3) : "";
  if (with_body) {
    std::size_t n = std::stoul(out[0]);
    for (std::size_t i = 0; i < n; ++i) out.push_back(read_line(kRequestTimeoutMs));
  }
  return out;
}

std::string SimProcess::request(const std::string& line) { return exchange(line, false)[0]; }

void SimProcess::arm_fault(const std::string& spec) { request("fault " + spec); }
void SimProcess::clear_faults() { request("clear"); }
void SimProcess::remove(int reinsert_after_ms) {
  request("remove reinsert=" + std::to_string(reinsert_after_ms));
}
void SimProcess::insert() { request("insert"); }
void SimProcess::set_level(int uhf, uint32_t code) {
  request("level " + std::to_string(uhf) + " " + std::to_string(code));
}
void SimProcess::set_tune_start(const std::string& pos) { request("tunestart " + pos); }
void SimProcess::clear_log() { request("clearlog"); }

std::vector<CommandRecord> SimProcess::log(uint64_t after_seq) {
  auto lines = exchange("log " + std::to_string(after_seq), true);
  std::vector<CommandRecord> out;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    CommandRecord r;
    in >> r.seq >> r.ms >> r.code >> r.arg;
    std::getline(in >> std::ws, r.outcome);
    out.push_back(r);
  }
  return out;
}

SimStatus SimProcess::status() {
  std::istringstream in(request("status"));
  SimStatus s;
  std::string kv;
  while (in >> kv) {
    auto eq = kv.find('=');
    if (eq == std::string::npos) continue;
    std::string k = kv.substr(0, eq);
    uint64_t v = std::stoull(kv.substr(eq + 1));
    if (k == "present")
      s.present = v;
    else if (k == "streaming")
      s.streaming = v;
    else if (k == "channel")
      s.channel = int(v);
    else if (k == "units")
      s.units = v;
    else if (k == "commands")
      s.commands = v;
    else if (k == "pending")
      s.pending = v;
    else if (k == "torn")
      s.torn = v;
    else if (k == "ms")
      s.ms = int64_t(v);
    else if (k == "first_packet")
      s.first_packet = v;
  }
  return s;
}

int SimProcess::stop() {
  std::lock_guard lock(mutex_);
  if (pid_ <= 0) return exit_status_;
  if (control_fd_ >= 0) {
    static const char quit[] = "quit\n";
    send(control_fd_, quit, sizeof quit - 1, MSG_NOSIGNAL);
  }
  if (stdin_fd_ >= 0) close(stdin_fd_);  // --watch-stdin ends it even without the socket
  stdin_fd_ = -1;
  int status = 0;
  bool done = false;
  auto wait_for = [&](int ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done && Clock::now() < deadline) {
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno != EINTR))
        done = true;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  wait_for(5000);
  if (!done) {
    kill(pid_, SIGTERM);
    wait_for(2000);
  }
  if (!done) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  exit_status_ = decode_status(status);
  pid_ = -1;
  if (control_fd_ >= 0) close(control_fd_);
  if (stdout_fd_ >= 0) close(stdout_fd_);
  control_fd_ = stdout_fd_ = -1;
  return exit_status_;
}

}  // namespace tunersim
