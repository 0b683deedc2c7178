// A helper program run as a child process (fork + exec), driven line by line over pipes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tevalo_test {

inline std::string BinaryPath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  const char* dir = std::getenv("TEVALO_BINARY_DIR");
  return std::string(dir ? dir : ".") + "/bin/" + name;
}

class ChildProcess {
 public:
  explicit ChildProcess(const std::string& program, std::vector<std::string> args = {}) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<char*> argv;
    // A bare name is one of the build's programs; a path is taken as it is.
    std::string path = program.find('/') == std::string::npos ? BinaryPath(program) : program;
    argv.push_back(path.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
  }
  // Closes the child's input and gives it two seconds to finish before killing it.
  ~ChildProcess() {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    if (pid_ > 0) {
      for (int i = 0; i < 200 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(10000);
      if (waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Send(const std::string& line) {
    std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw std::runtime_error("child gone");
  }

  // The next line the child printed, or nothing within timeoutMs.
  std::optional<std::string> ReadLine(int timeoutMs = 60000) {
    for (;;) {
      if (auto pos = buffer_.find('\n'); pos != std::string::npos) {
        std::string line = buffer_.substr(0, pos);
        buffer_.erase(0, pos + 1);
        return line;
      }
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
      char chunk[512];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Sends one command and returns its reply ("" when the child said nothing in time).
  std::string Call(const std::string& line, int timeoutMs = 60000) {
    Send(line);
    return ReadLine(timeoutMs).value_or("");
  }

  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  // Closes the child's input and waits for it; its exit status.
  int Finish() {
    close(in_);
    in_ = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

}  // namespace tevalo_test
