#include "ts_loop.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tunersim {
namespace {

constexpr int64_t kPcrWrap = (int64_t{1} << 33) * 300;
constexpr int64_t kPtsWrap = int64_t{1} << 33;
constexpr int kNullPid = 0x1FFF;

struct View {
  const uint8_t* p;
  bool sync() const { return p[0] == 0x47; }
  int pid() const { return ((p[1] & 0x1F) << 8) | p[2]; }
  bool pusi() const { return p[1] & 0x40; }
  int afc() const { return (p[3] >> 4) & 3; }
  int cc() const { return p[3] & 0x0F; }
  bool has_payload() const { return afc() & 1; }
  int af_length() const { return (afc() & 2) ? p[4] : -1; }
  // Adaptation field with at least its flag byte, and not running past the packet.
  bool has_af_flags() const {
    int n = af_length();
    return n >= 1 && n <= 183;
  }
  bool has_pcr() const { return has_af_flags() && af_length() >= 7 && (p[5] & 0x10); }
  std::size_t payload_offset() const { return (afc() & 2) ? 5 + std::size_t(p[4]) : 4; }
};

int64_t read_pcr(const uint8_t* a) {
  int64_t base = (int64_t(a[0]) << 25) | (int64_t(a[1]) << 17) | (int64_t(a[2]) << 9) | (int64_t(a[3]) << 1) |
                 (a[4] >> 7);
  int64_t ext = (int64_t(a[4] & 1) << 8) | a[5];
  return base * 300 + ext;
}

void write_pcr(uint8_t* a, int64_t v) {
  int64_t base = (v / 300) & (kPtsWrap - 1);
  int64_t ext = v % 300;
  a[0] = uint8_t(base >> 25);
  a[1] = uint8_t(base >> 17);
  a[2] = uint8_t(base >> 9);
  a[3] = uint8_t(base >> 1);
  a[4] = uint8_t(((base & 1) << 7) | 0x7E | (ext >> 8));
  a[5] = uint8_t(ext);
}

int64_t read_ts(const uint8_t* a) {
  return (int64_t((a[0] >> 1) & 7) << 30) | (int64_t(a[1]) << 22) | (int64_t(a[2] >> 1) << 15) |
         (int64_t(a[3]) << 7) | (a[4] >> 1);
}

void write_ts(uint8_t* a, int64_t v) {
  a[0] = uint8_t((a[0] & 0xF1) | ((v >> 29) & 0x0E));
  a[1] = uint8_t(v >> 22);
  a[2] = uint8_t((a[2] & 0x01) | ((v >> 14) & 0xFE));
  a[3] = uint8_t(v >> 7);
  a[4] = uint8_t((a[4] & 0x01) | ((v << 1) & 0xFE));
}

// Stream ids whose PES header has no optional fields (and so no PTS).
bool plain_pes(uint8_t sid) {
  switch (sid) {
    case 0xBC:
    case 0xBE:
    case 0xBF:
    case 0xF0:
    case 0xF1:
    case 0xF2:
    case 0xF8:
    case 0xFF:
      return true;
    default:
      return false;
  }
}

void shift_pes_stamps(uint8_t* pkt, std::size_t off, int64_t shift90k) {
  if (off + 9 > kPacketSize) return;
  uint8_t* pes = pkt + off;
  if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || plain_pes(pes[3])) return;
  if ((pes[6] & 0xC0) != 0x80) return;  // not an MPEG-2 PES header
  int flags = pes[7] >> 6;
  if (flags == 2 || flags == 3) {
    if (off + 14 > kPacketSize) return;
    write_ts(pes + 9, (read_ts(pes + 9) + shift90k) & (kPtsWrap - 1));
  }
  if (flags == 3) {
    if (off + 19 > kPacketSize) return;
    write_ts(pes + 14, (read_ts(pes + 14) + shift90k) & (kPtsWrap - 1));
  }
}

}  // namespace

TsLoop::TsLoop(std::vector<uint8_t> bytes, double bitrate) : bytes_(std::move(bytes)) {
  if (bytes_.empty()) throw std::runtime_error("the stream is empty");
  if (bytes_.size() % kPacketSize != 0)
    throw std::runtime_error("the stream is " + std::to_string(bytes_.size()) +
                             " bytes long, not a whole number of 188-byte packets");
  packets_ = bytes_.size() / kPacketSize;
  if (bytes_[0] != 0x47) throw std::runtime_error("the stream does not start with a sync byte");
  build_timeline(bitrate);
  scan_pids();
}

TsLoop TsLoop::load(const std::filesystem::path& file, double bitrate) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(file.string() + ": cannot open");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(file.string() + ": read error");
  try {
    return TsLoop(std::move(bytes), bitrate);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(file.string() + ": " + e.what());
  }
}

void TsLoop::build_timeline(double bitrate) {
  // PCRs of the first PID that carries any, unwrapped.
  std::vector<std::pair<std::size_t, int64_t>> pcrs;
  int64_t wraps = 0, last_raw = -1;
  for (std::size_t i = 0; i < packets_; ++i) {
    View v{&bytes_[i * kPacketSize]};
    if (!v.sync() || !v.has_pcr()) continue;
    if (pcr_pid_ < 0) pcr_pid_ = v.pid();
    if (v.pid() != pcr_pid_) continue;
    int64_t raw = read_pcr(v.p + 6);
    if (last_raw >= 0 && raw < last_raw - kPcrWrap / 2) wraps += kPcrWrap;
    last_raw = raw;
    pcrs.emplace_back(i, raw + wraps);
  }

  // An interval between neighbouring PCRs is usable when time moves forward by at most a second;
  // anything else is a jump in the time base, crossed at the average rate.
  auto usable = [](int64_t dt) { return dt > 0 && dt <= kPcrHz; };
  int64_t ticks = 0, count = 0;
  for (std::size_t j = 1; j < pcrs.size(); ++j) {
    int64_t dt = pcrs[j].second - pcrs[j - 1].second;
    if (!usable(dt)) continue;
    ticks += dt;
    count += int64_t(pcrs[j].first - pcrs[j - 1].first);
  }
  if (bitrate <= 0 && count == 0)
    throw std::runtime_error(pcrs.empty() ? "the stream carries no PCR to pace it by"
                                          : "the stream's PCRs give no usable rate");

  // Packet start times over one loop, from the PCRs at their own pace or evenly spaced; returns
  // the loop's length.
  auto timeline = [&](const std::vector<std::pair<std::size_t, int64_t>>& marks, double per_packet,
                      std::vector<double>* start) {
    if (start) start->assign(packets_ + 1, 0.0);
    std::size_t from = 0;
    double t = 0;
    for (std::size_t j = 0; j <= marks.size(); ++j) {
      std::size_t to = j < marks.size() ? marks[j].first : packets_;
      double span = double(to - from) * per_packet;
      if (j > 0 && j < marks.size()) {
        int64_t dt = marks[j].second - marks[j - 1].second;
        if (usable(dt)) span = double(dt);
      }
      if (start)
        for (std::size_t i = from; i < to; ++i) (*start)[i] = t + span * double(i - from) / double(to - from);
      t += span;
      from = to;
    }
    return t;
  };
  // Rounded up, so a loop never ends before its last packet has begun.
  auto whole_ticks = [](double t) { return std::max<int64_t>(300, int64_t(std::ceil(t / 300.0)) * 300); };

  if (bitrate > 0) {
    period_ = whole_ticks(timeline({}, kPacketSize * 8 * double(kPcrHz) / bitrate, &start_));
    // A forced pace changes when packets go out, not the stream's own clock: the stamps still
    // move on by the loop length its PCRs give, so they never run backwards at a seam.
    stamp_period_ = count > 0 ? whole_ticks(timeline(pcrs, double(ticks) / double(count), nullptr)) : period_;
  } else {
    period_ = whole_ticks(timeline(pcrs, double(ticks) / double(count), &start_));
    stamp_period_ = period_;
  }
  start_[packets_] = double(period_);
}

void TsLoop::scan_pids() {
  struct Seen {
    int first = -1, last = -1;
  };
  std::map<int, Seen> cc;
  for (std::size_t i = 0; i < packets_; ++i) {
    View v{&bytes_[i * kPacketSize]};
    if (!v.sync() || v.pid() == kNullPid) continue;
    PidSeam& s = seams_[v.pid()];
    if (s.mark_index < 0) {
      bool first_of_pid = cc.find(v.pid()) == cc.end();
      // The PCR PID marks its first PCR; other PIDs their first packet, when it has room.
      if (v.pid() == pcr_pid_ ? v.has_pcr() : (first_of_pid && v.has_af_flags())) s.mark_index = int64_t(i);
    }
    Seen& seen = cc[v.pid()];
    if (v.has_payload()) {
      if (seen.first < 0) seen.first = v.cc();
      seen.last = v.cc();
    }
  }
  for (auto& [pid, s] : seams_) {
    const Seen& seen = cc[pid];
    if (seen.first >= 0) s.cc_step = uint8_t((seen.last + 1 - seen.first) & 0x0F);
  }
}

double TsLoop::bitrate() const {
  return double(packets_) * kPacketSize * 8 * double(kPcrHz) / double(period_);
}

double TsLoop::start_ticks(uint64_t index) const {
  uint64_t loop = index / packets_;
  return double(loop) * double(period_) + start_[index % packets_];
}

void TsLoop::packet(uint64_t index, uint8_t out[kPacketSize]) const {
  uint64_t loop = index / packets_;
  std::size_t i = index % packets_;
  std::memcpy(out, &bytes_[i * kPacketSize], kPacketSize);
  if (loop == 0) return;
  View v{out};
  if (!v.sync() || v.pid() == kNullPid) return;  // damaged or stuffing: as it stands
  auto it = seams_.find(v.pid());
  if (it == seams_.end()) return;
  const PidSeam& s = it->second;

  out[3] = uint8_t((out[3] & 0xF0) | ((v.cc() + loop * s.cc_step) & 0x0F));
  int64_t shift = int64_t(static_cast<__int128>(loop) * stamp_period_ % kPcrWrap);
  if (v.has_af_flags()) {
    if (int64_t(i) == s.mark_index) out[5] |= 0x80;
    if (v.has_pcr()) write_pcr(out + 6, (read_pcr(out + 6) + shift) % kPcrWrap);
  }
  if (v.has_payload() && v.pusi() && v.af_length() <= 182)
    shift_pes_stamps(out, v.payload_offset(), (shift / 300) % kPtsWrap);
}

}  // namespace tunersim
