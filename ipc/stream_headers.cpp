#include "ipc/stream_headers.h"

#include <map>

namespace streamhdr {
namespace {

constexpr int64_t kTicksPerSecond = 27'000'000;

class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& b) : b_(b) {}
  bool ok() const { return ok_; }

  uint32_t u(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
  uint32_t ue() {
    int zeros = 0;
    while (ok_ && bit() == 0) {
      if (++zeros > 31) {
        ok_ = false;
        return 0;
      }
    }
    if (!ok_) return 0;
    return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + u(zeros));
  }
  int32_t se() {
    const uint32_t k = ue();
    return (k & 1) ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
  }

 private:
  uint32_t bit() {
    if (pos_ >= b_.size() * 8) {
      ok_ = false;
      return 0;
    }
    const uint32_t v = (b_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
    ++pos_;
    return v;
  }
  const std::vector<uint8_t>& b_;
  size_t pos_ = 0;
  bool ok_ = true;
};

void SkipScalingList(BitReader& r, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size && r.ok(); ++j) {
    if (next != 0) next = (last + r.se() + 256) % 256;
    last = next == 0 ? last : next;
  }
}

bool HasChromaFormat(uint32_t profile) {
  switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
      return true;
    default:
      return false;
  }
}

// The frame period from the VUI, which follows the cropping; 0 without usable timing.
int64_t FramePeriod(BitReader& r) {
  if (!r.u(1)) return 0;                 // no VUI
  if (r.u(1) && r.u(8) == 255) r.u(32);  // aspect ratio, extended
  if (r.u(1)) r.u(1);                    // overscan
  if (r.u(1)) {                          // video signal type
    r.u(4);
    if (r.u(1)) r.u(24);
  }
  if (r.u(1)) {  // chroma location
    r.ue();
    r.ue();
  }
  if (!r.u(1)) return 0;  // timing_info_present
  const uint32_t units_in_tick = r.u(32);
  const uint32_t time_scale = r.u(32);
  if (!r.ok() || units_in_tick == 0 || time_scale == 0) return 0;
  // One frame is two ticks of the field clock.
  const int64_t period = kTicksPerSecond * 2 * int64_t{units_in_tick} / int64_t{time_scale};
  // Anything outside 1..120 frames a second is a damaged set.
  if (period < kTicksPerSecond / 120 || period > kTicksPerSecond) return 0;
  return period;
}

}  // namespace

std::vector<std::pair<const uint8_t*, size_t>> SplitNalUnits(const uint8_t* data, size_t length) {
  std::vector<std::pair<const uint8_t*, size_t>> units;
  size_t i = 0, start = SIZE_MAX;
  while (i + 3 <= length) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      if (start != SIZE_MAX) {
        size_t end = i;
        if (end > start && data[end - 1] == 0) --end;  // 4-byte start code's leading zero
        units.emplace_back(data + start, end - start);
      }
      i += 3;
      start = i;
    } else {
      ++i;
    }
  }
  if (start != SIZE_MAX && start < length) {
    size_t end = length;
    while (end > start && data[end - 1] == 0) --end;  // trailing zero bytes
    units.emplace_back(data + start, end - start);
  }
  return units;
}

std::vector<uint8_t> UnitToRbsp(const uint8_t* unit, size_t length) {
  std::vector<uint8_t> out;
  if (length < 1) return out;
  out.reserve(length - 1);
  int zeros = 0;
  for (size_t i = 1; i < length; ++i) {
    if (zeros >= 2 && unit[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = unit[i] == 0 ? zeros + 1 : 0;
    out.push_back(unit[i]);
  }
  return out;
}

std::optional<SpsInfo> ReadSps(const uint8_t* nal, size_t size) {
  if (size < 2 || (nal[0] & 0x1F) != 7) return std::nullopt;
  const std::vector<uint8_t> rbsp = UnitToRbsp(nal, size);
  BitReader r(rbsp);
  const uint32_t profile = r.u(8);
  r.u(8);  // constraint flags, reserved bits
  r.u(8);  // level
  SpsInfo sps;
  sps.id = r.ue();
  if (!r.ok() || sps.id > 31) return std::nullopt;
  uint32_t chroma_format = 1;
  bool separate_planes = false;
  if (HasChromaFormat(profile)) {
    chroma_format = r.ue();
    if (chroma_format == 3) separate_planes = r.u(1);
    r.ue();  // bit depths
    r.ue();
    r.u(1);
    if (r.u(1)) {  // scaling matrices
      for (int i = 0; i < (chroma_format != 3 ? 8 : 12) && r.ok(); ++i)
        if (r.u(1)) SkipScalingList(r, i < 6 ? 16 : 64);
    }
  }
  r.ue();  // log2_max_frame_num - 4
  const uint32_t poc_type = r.ue();
  if (poc_type == 0) {
    r.ue();
  } else if (poc_type == 1) {
    r.u(1);
    r.se();
    r.se();
    const uint32_t cycle = r.ue();
    if (cycle > 255) return std::nullopt;
    for (uint32_t i = 0; i < cycle && r.ok(); ++i) r.se();
  } else if (poc_type > 2) {
    return std::nullopt;
  }
  r.ue();  // num_ref_frames
  r.u(1);  // gaps_in_frame_num_value_allowed_flag
  const uint32_t width_mbs = r.ue() + 1;
  const uint32_t height_units = r.ue() + 1;
  const uint32_t frame_mbs_only = r.u(1);
  if (!frame_mbs_only) r.u(1);  // mb_adaptive_frame_field
  r.u(1);                       // direct_8x8_inference_flag
  uint32_t crop[4] = {0, 0, 0, 0};
  if (r.u(1))
    for (auto& c : crop) c = r.ue();
  if (!r.ok()) return std::nullopt;

  if (width_mbs <= 1024 && height_units <= 1024) {
    const uint32_t chroma_array = separate_planes ? 0 : chroma_format;
    const int64_t unit_x = (chroma_array == 1 || chroma_array == 2) ? 2 : 1;
    const int64_t unit_y = ((chroma_array == 1) ? 2 : 1) * (2 - frame_mbs_only);
    const int64_t w = 16 * int64_t{width_mbs} - unit_x * (int64_t{crop[0]} + crop[1]);
    const int64_t h =
        16 * int64_t{height_units} * (2 - frame_mbs_only) - unit_y * (int64_t{crop[2]} + crop[3]);
    if (w > 0 && h > 0) sps.size = {static_cast<int>(w), static_cast<int>(h)};
  }
  sps.frame_period = FramePeriod(r);
  return sps;
}

int64_t SpsFramePeriodTicks(const uint8_t* nal, size_t size) {
  const auto sps = ReadSps(nal, size);
  return sps ? sps->frame_period : 0;
}

std::optional<PictureSize> WalkVideoConfiguration(const uint8_t* data, size_t length) {
  std::map<uint32_t, PictureSize> sets;
  std::optional<PictureSize> last_sps;
  std::optional<uint32_t> pps_sps_id;
  for (auto [unit, size] : SplitNalUnits(data, length)) {
    if (size < 2) continue;
    const int type = unit[0] & 0x1F;
    if (type == 7) {
      const auto sps = ReadSps(unit, size);
      if (sps && sps->size.width > 0) {
        sets[sps->id] = sps->size;
        last_sps = sps->size;
      }
    } else if (type == 8) {
      const auto rbsp = UnitToRbsp(unit, size);
      BitReader r(rbsp);
      r.ue();
      const uint32_t id = r.ue();
      if (r.ok() && id <= 31) pps_sps_id = id;
    }
  }
  if (pps_sps_id) {
    auto it = sets.find(*pps_sps_id);
    if (it != sets.end()) return it->second;
  }
  return last_sps;
}

uint32_t AacSampleRate(unsigned index) {
  static constexpr uint32_t kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                          16000, 12000, 11025, 8000,  7350,  0,     0,     0};
  return index < 16 ? kRates[index] : 0;
}

std::optional<AdtsHeader> ReadAdtsHeader(const uint8_t* h, size_t length) {
  if (length < kAdtsHeaderBytes || h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return std::nullopt;
  return AdtsHeader{AacSampleRate(AdtsSamplingIndex(h)), AdtsFrameLength(h), AdtsChannelConfig(h)};
}

}  // namespace streamhdr
