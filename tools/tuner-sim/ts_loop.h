// A transport-stream file served as an endless broadcast: paced by its PCRs and looped with a seam
// that a receiver can follow (continuity counters, PCR and PTS/DTS carried on across the loop).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tunersim {

inline constexpr std::size_t kPacketSize = 188;
inline constexpr int64_t kPcrHz = 27'000'000;

class TsLoop {
 public:
  // Takes the file's bytes; throws std::runtime_error with a readable reason when they cannot be
  // served (not whole packets, no usable PCR). bitrate > 0 paces at that rate instead of the PCRs.
  explicit TsLoop(std::vector<uint8_t> bytes, double bitrate = 0);
  static TsLoop load(const std::filesystem::path& file, double bitrate = 0);

  std::size_t packet_count() const { return packets_; }
  // One loop of the file as served, in 27 MHz ticks (a multiple of 300).
  int64_t period_ticks() const { return period_; }
  // What each later loop adds to the PCRs and PTS/DTS, in 27 MHz ticks (a multiple of 300, so PTS
  // move on by whole 90 kHz ticks): the loop's length by its own PCRs, also when a rate is forced.
  int64_t stamp_period_ticks() const { return stamp_period_; }
  // Stream rate in bits per second, as its PCRs say.
  double bitrate() const;
  int pcr_pid() const { return pcr_pid_; }

  // Packet `index` of the endless stream (loop = index / packet_count()); loop 0 is the file as is.
  void packet(uint64_t index, uint8_t out[kPacketSize]) const;
  // When packet `index` begins, in 27 MHz ticks from the stream's start.
  double start_ticks(uint64_t index) const;

 private:
  void build_timeline(double bitrate);
  void scan_pids();

  std::vector<uint8_t> bytes_;
  std::size_t packets_ = 0;
  std::vector<double> start_;  // packets_ + 1 entries: start of each packet, then the loop's end
  int64_t period_ = 0;
  int64_t stamp_period_ = 0;
  int pcr_pid_ = -1;
  struct PidSeam {
    uint8_t cc_step = 0;      // continuity-counter shift per loop
    int64_t mark_index = -1;  // packet that carries the discontinuity indicator after a seam
  };
  std::map<int, PidSeam> seams_;
};

}  // namespace tunersim
