// Runs tuner-sim as a child process for tests: start it with a configuration, wait until its stick
// is published, switch faults, plug it out and in, read its command log, stop it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace tunersim {

// One command the stick received: its code and argument byte, and what it sent back ("reply 28",
// "reply 20 status=1", "reply 26 level=3", "data 1152", "none", "removed"; a fault adds a tag in
// brackets, e.g. "none [noreply]").
struct CommandRecord {
  uint64_t seq = 0;
  int64_t ms = 0;  // since the simulator started
  int code = 0;
  int arg = 0;
  std::string outcome;
};

struct SimStatus {
  bool present = false;
  bool streaming = false;
  int channel = 0;
  uint64_t units = 0;     // 1152-byte transfers sent
  uint64_t commands = 0;  // commands received
  uint64_t pending = 0;   // replies held back (a delay or stall fault), not yet written
  uint64_t torn = 0;      // torn commands dropped
  int64_t ms = 0;         // since the simulator started (the clock of CommandRecord::ms)
  uint64_t first_packet = 0;  // the packet of its loop the current tune began with
};

class SimProcess {
 public:
  struct Options {
    std::filesystem::path root;     // device root; empty: the one the tuner library looks in
    std::string name = "stick0";    // the stick's folder
    std::vector<std::string> args;  // more flags: --channel, --search-delay, --fault, --absent, ...
    std::filesystem::path binary;   // empty: $TEVALO_TUNER_SIM, else the tuner-sim of this build
    int ready_timeout_ms = 10000;
  };

  // Throws std::runtime_error when it cannot start or is not ready in time.
  explicit SimProcess(Options options);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& device_path() const { return device_path_; }  // the stick folder
  const std::filesystem::path& control_path() const { return control_path_; }
  pid_t pid() const { return pid_; }

  // One control request (see README.md); returns the answer's first line after "ok", throws
  // std::runtime_error with the simulator's message on "error".
  std::string request(const std::string& line);

  void arm_fault(const std::string& spec);  // e.g. "noreply cmd=5 count=1"
  void clear_faults();
  void remove(int reinsert_after_ms = 0);  // unplug now; plug in again after that long (0: stay out)
  void insert();
  void set_level(int uhf, uint32_t code);
  void set_tune_start(const std::string& pos);  // a packet index or "random"
  std::vector<CommandRecord> log(uint64_t after_seq = 0);
  void clear_log();
  SimStatus status();

  // Asks it to quit and waits; returns its exit status (or 128 + signal). Idempotent.
  int stop();

 private:
  std::vector<std::string> exchange(const std::string& line, bool with_body);
  std::string read_line(int timeout_ms);

  std::filesystem::path root_;
  std::filesystem::path device_path_;
  std::filesystem::path control_path_;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  int control_fd_ = -1;
  std::string buffer_;
  std::mutex mutex_;
  int exit_status_ = -1;
};

}  // namespace tunersim
