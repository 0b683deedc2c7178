#include "device.h"

#include <cstring>
#include <stdexcept>

namespace tunersim {

int expected_reply(uint8_t command) {
  switch (command) {
    case cmd::kOpen:
      return reply::kOpen;
    case cmd::kClose:
      return reply::kClose;
    case cmd::kInit:
      return reply::kInit;
    case cmd::kReset:
      return reply::kReset;
    case cmd::kSearch:
      return reply::kSearch;
    case cmd::kSelect:
      return reply::kSelect;
    case cmd::kStatus:
      return reply::kStatus;
    case cmd::kStart:
      return reply::kStart;
    case cmd::kDataReady:
      return reply::kDataReady;
    case cmd::kStop:
      return reply::kStop;
    case cmd::kLevel:
      return reply::kLevel;
    default:
      return -1;
  }
}

Device::Device(const Config& cfg, std::map<int, std::shared_ptr<const TsLoop>> streams)
    : channels_(cfg.channels),
      streams_(std::move(streams)),
      default_search_reads_(cfg.search_reads),
      tune_start_(cfg.tune_start) {}

void Device::power_on() {
  searches_.clear();
  channel_ = 0;
  streaming_ = false;
  first_packet_ = next_packet_ = 0;
}

void Device::set_level(int uhf, uint32_t code) {
  if (uhf < kFirstUhf || uhf > kLastUhf)
    throw std::invalid_argument("channel " + std::to_string(uhf) + " is outside 13..62");
  auto it = channels_.find(uhf);
  if (it == channels_.end()) {
    ChannelConfig c;
    c.uhf = uhf;
    it = channels_.emplace(uhf, c).first;
  }
  it->second.level = code;
}

const TsLoop* Device::stream() const {
  auto it = streams_.find(channel_);
  return it == streams_.end() ? nullptr : it->second.get();
}

bool Device::unit_due(int64_t now_us) const {
  const TsLoop* s = stream();
  if (!streaming_ || !s) return false;
  // A unit is due once its last packet has fully arrived.
  double due_us =
      (s->start_ticks(next_packet_ + kUnitsPerTransfer) - s->start_ticks(first_packet_)) / (kPcrHz / 1e6);
  return double(now_us - stream_start_us_) >= due_us;
}

void Device::begin_stream(int64_t now_us) {
  stream_start_us_ = now_us;
  const TsLoop* s = stream();
  const uint64_t packets = s ? s->packet_count() : 0;
  if (packets == 0)
    first_packet_ = 0;
  else if (tune_start_.random)
    first_packet_ = std::uniform_int_distribution<uint64_t>(0, packets - 1)(random_);
  else
    first_packet_ = tune_start_.packet % packets;
  next_packet_ = first_packet_;
}

std::vector<uint8_t> Device::make_reply(uint8_t code) const {
  std::vector<uint8_t> r(6, 0);
  r[0] = code;
  return r;
}

std::vector<uint8_t> Device::handle(const std::array<uint8_t, 6>& command, int64_t now_us) {
  const uint8_t code = command[0];
  const int uhf = command[1];
  const bool uhf_ok = uhf >= kFirstUhf && uhf <= kLastUhf;
  auto channel_of = [&](int u) -> const ChannelConfig* {
    auto it = channels_.find(u);
    return it == channels_.end() ? nullptr : &it->second;
  };

  switch (code) {
    case cmd::kOpen:
      return make_reply(reply::kOpen);
    case cmd::kClose:
      streaming_ = false;
      return make_reply(reply::kClose);
    case cmd::kInit:
      return make_reply(reply::kInit);
    case cmd::kReset:
      power_on();
      return make_reply(reply::kReset);
    case cmd::kSearch: {
      if (!uhf_ok) return make_reply(reply::kRefused);
      const ChannelConfig* c = channel_of(uhf);
      Search& s = searches_[uhf];
      s.started = true;
      s.reads_left = c && c->search_reads >= 0 ? c->search_reads : default_search_reads_;
      return make_reply(reply::kSearch);
    }
    case cmd::kStatus: {
      if (!uhf_ok) return make_reply(reply::kRefused);
      auto r = make_reply(reply::kStatus);
      Search& s = searches_[uhf];
      if (!s.started) {
        r[1] = 0;
      } else if (s.reads_left > 0) {
        --s.reads_left;
        r[1] = kStillSearching;
      } else {
        const ChannelConfig* c = channel_of(uhf);
        r[1] = c && c->found ? 1 : 0;
      }
      return r;
    }
    case cmd::kSelect:
      if (!uhf_ok) return make_reply(reply::kRefused);
      channel_ = uhf;
      if (streaming_) begin_stream(now_us);  // retuning restarts the stream on the new channel
      return make_reply(reply::kSelect);
    case cmd::kStart:
      streaming_ = true;
      begin_stream(now_us);
      return make_reply(reply::kStart);
    case cmd::kStop:
      streaming_ = false;
      return make_reply(reply::kStop);
    case cmd::kDataReady:
      return make_reply(unit_due(now_us) ? reply::kDataReady : reply::kNotReady);
    case cmd::kData: {
      if (!unit_due(now_us)) return {};
      const TsLoop* s = stream();
      std::vector<uint8_t> data(kDataSize, 0);
      for (std::size_t u = 0; u < kUnitsPerTransfer; ++u) s->packet(next_packet_ + u, &data[u * kUnitSize]);
      next_packet_ += kUnitsPerTransfer;
      ++units_sent_;
      return data;
    }
    case cmd::kLevel: {
      const ChannelConfig* c = channel_ ? channel_of(channel_) : nullptr;
      uint32_t level = c && c->found ? c->level : kNoSignalLevel;
      auto r = make_reply(reply::kLevel);
      r[1] = uint8_t(level >> 24);
      r[2] = uint8_t(level >> 16);
      r[3] = uint8_t(level >> 8);
      r[4] = uint8_t(level);
      return r;
    }
    default:
      return {};
  }
}

}  // namespace tunersim
