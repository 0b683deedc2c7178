// The simulator's settings: command-line flags, optionally read from a config file, and the fault
// descriptions shared by the flags and the control socket.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tunersim {

inline constexpr int kFirstUhf = 13;
inline constexpr int kLastUhf = 62;

struct ChannelConfig {
  int uhf = 0;
  bool found = false;
  std::filesystem::path file;  // empty: found, but nothing to stream
  uint32_t level = 1;          // the level code the stick reports while tuned here
  int search_reads = -1;       // "still searching" status reads before the result; -1: global
  double bitrate = 0;          // > 0: pace at this rate instead of the stream's PCRs
};

// Where each tune (start, or a channel selected while streaming) begins in the channel's loop: at a
// fixed packet (wrapped to the loop's length; 0 is the file's start) or at a random one.
struct TuneStart {
  bool random = false;
  uint64_t packet = 0;
};

// "0", "5600" (a packet index) or "random".
TuneStart parse_tune_start(const std::string& text);
std::string describe(const TuneStart& t);

enum class FaultKind { NoReply, WrongCode, Delay, Stall, Remove };

// One fault, armed for matching commands. A fault answers (or fails to answer) a command in place of
// the normal reply; the command itself still takes effect, except under Remove.
struct FaultSpec {
  FaultKind kind = FaultKind::NoReply;
  int cmd = -1;         // command code it applies to, -1 any
  int skip = 0;         // matching commands let through first
  int count = 0;        // commands it applies to, 0 without end
  int code = 0xFF;      // WrongCode: reply byte 0
  int ms = 1500;        // Delay: answer this late; Stall: rest follows this late, 0 never
  int bytes = 512;      // Stall: bytes sent before the transfer stops
  int reinsert_ms = 0;  // Remove: plugged in again after this long, 0 stays out
};

// "noreply cmd=5 count=1", with spaces or commas between the words.
FaultSpec parse_fault(const std::string& text);
std::string describe(const FaultSpec& f);

struct Config {
  std::filesystem::path root;     // device root (TEVALO_DEVICE_ROOT or the runtime default)
  std::string name = "stick0";    // the stick's folder
  std::filesystem::path control;  // control socket; empty: <root>/<name>.control
  std::map<int, ChannelConfig> channels;
  int search_reads = 0;
  TuneStart tune_start;
  std::vector<FaultSpec> faults;
  bool absent = false;       // start unplugged
  bool watch_stdin = false;  // end when standard input closes
  bool verbose = false;      // every command on standard error
};

// Throws std::invalid_argument with a message for the user. Returns nullopt for --help.
std::optional<Config> parse_args(const std::vector<std::string>& args);
std::string usage();

// $TEVALO_DEVICE_ROOT, else $XDG_RUNTIME_DIR/tevalo/devices, else <tmp>/tevalo-<uid>/tevalo/devices
// (the per-user folder created with mode 0700).
std::filesystem::path default_device_root();

inline constexpr const char* kInterfaceClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

}  // namespace tunersim
