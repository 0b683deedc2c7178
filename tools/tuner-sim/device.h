// The stick's side of the six-byte command protocol: what each command does and what it answers.
// Pure state; the caller passes the time and carries the bytes.
#pragma once

#include "config.h"
#include "ts_loop.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace tunersim {

namespace cmd {
inline constexpr uint8_t kOpen = 0, kClose = 1, kInit = 2, kReset = 3, kSearch = 4, kSelect = 5, kStatus = 6,
                         kStart = 7, kDataReady = 8, kStop = 9, kLevel = 10, kData = 13;
}
namespace reply {
inline constexpr uint8_t kOpen = 28, kClose = 25, kInit = 16, kReset = 27, kSearch = 19, kSelect = 21,
                         kStatus = 20, kStart = 22, kDataReady = 24, kStop = 23, kLevel = 26;
inline constexpr uint8_t kNotReady = 0, kRefused = 0;
}  // namespace reply
inline constexpr uint8_t kStillSearching = 2;
inline constexpr uint32_t kNoSignalLevel = 4;
inline constexpr std::size_t kUnitSize = 192;
inline constexpr std::size_t kUnitsPerTransfer = 6;
inline constexpr std::size_t kDataSize = kUnitSize * kUnitsPerTransfer;  // 1152

// The reply expected for a command, or -1 when it has none (13) or is unknown.
int expected_reply(uint8_t command);

class Device {
 public:
  Device(const Config& cfg, std::map<int, std::shared_ptr<const TsLoop>> streams);

  // The bytes the stick sends back for one command (empty: nothing).
  std::vector<uint8_t> handle(const std::array<uint8_t, 6>& command, int64_t now_us);

  // Back to the state of a freshly plugged-in stick.
  void power_on();
  // Throws std::invalid_argument for a channel outside 13..62.
  void set_level(int uhf, uint32_t code);
  // Where the next tunes begin in their loop.
  void set_tune_start(const TuneStart& t) { tune_start_ = t; }
  const TuneStart& tune_start() const { return tune_start_; }

  bool streaming() const { return streaming_; }
  int channel() const { return channel_; }
  uint64_t first_packet() const { return first_packet_; }  // where the current tune began
  uint64_t units_sent() const { return units_sent_; }

 private:
  bool unit_due(int64_t now_us) const;
  // The stream of the tuned channel begins now, at the tune-start packet.
  void begin_stream(int64_t now_us);
  const TsLoop* stream() const;
  std::vector<uint8_t> make_reply(uint8_t code) const;

  std::map<int, ChannelConfig> channels_;
  std::map<int, std::shared_ptr<const TsLoop>> streams_;
  int default_search_reads_ = 0;

  struct Search {
    bool started = false;
    int reads_left = 0;
  };
  std::map<int, Search> searches_;
  int channel_ = 0;  // selected UHF channel, 0 none
  bool streaming_ = false;
  int64_t stream_start_us_ = 0;
  TuneStart tune_start_;
  std::mt19937_64 random_{std::random_device{}()};
  uint64_t first_packet_ = 0;  // where the current tune began
  uint64_t next_packet_ = 0;
  uint64_t units_sent_ = 0;
};

}  // namespace tunersim
