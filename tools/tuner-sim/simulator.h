// The simulator process: one stick, its FIFOs, the control socket and the fault switches, driven by
// one poll loop on one thread.
#pragma once

#include "config.h"
#include "device.h"
#include "faults.h"
#include "stick_folder.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tunersim {

class Simulator {
 public:
  // Loads every channel's stream and publishes the stick (unless absent); throws std::runtime_error.
  explicit Simulator(const Config& cfg);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Prints the ready line on standard output, then serves until told to quit, SIGINT or SIGTERM,
  // or (with watch_stdin) the end of standard input. Returns the exit status.
  int run();

 private:
  struct Pending {
    int64_t due_us;
    std::vector<uint8_t> bytes;
  };
  struct Client {
    int fd;
    std::string in;
  };
  struct LogEntry {
    uint64_t seq;
    int64_t ms;
    uint8_t code;
    uint8_t arg;
    std::string outcome;
  };

  int64_t now_us() const;
  void read_commands();
  void on_command(const std::array<uint8_t, 6>& c);
  void flush_pending();
  void write_reply(const std::vector<uint8_t>& bytes);
  void unplug();
  void plug_in();
  void accept_client();
  bool serve_client(Client& c);  // false: drop it
  std::string control(const std::string& line);

  Config cfg_;
  Device device_;
  FaultSet faults_;
  StickFolder folder_;
  int listen_fd_ = -1;
  int signal_fd_ = -1;
  std::vector<Client> clients_;
  std::deque<Pending> pending_;
  std::array<uint8_t, 6> partial_{};
  std::size_t partial_len_ = 0;
  uint64_t torn_dropped_ = 0;  // torn commands dropped
  int64_t partial_since_us_ = 0;
  int64_t reinsert_at_us_ = -1;
  int64_t start_us_ = 0;
  std::vector<LogEntry> log_;
  uint64_t seq_ = 0;
  bool quit_ = false;
};

}  // namespace tunersim
