// An in-process stand-in for the filter's surroundings: a one-message channel with the reading
// modes and acknowledgement of the real one, the two events, and a player window that records
// what it is sent. The player side writes through ChannelWriter as the stream engine does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filter/source/filter_host.h"
#include "filter/source/halvik_ids.h"
#include "ipc/little_endian.h"

namespace testhost {

using Clock = std::chrono::steady_clock;

class AutoEvent {
 public:
  void Set() {
    std::lock_guard l(m_);
    set_ = true;
    cv_.notify_one();
  }
  void Reset() {
    std::lock_guard l(m_);
    set_ = false;
  }
  bool Wait(uint32_t ms) {
    std::unique_lock l(m_);
    auto pred = [this] { return set_; };
    if (ms == halvik::kInfinite)
      cv_.wait(l, pred);
    else if (!cv_.wait_for(l, std::chrono::milliseconds(ms), pred))
      return false;
    set_ = false;
    return true;
  }
  bool IsSet() {
    std::lock_guard l(m_);
    return set_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool set_ = false;
};

// The shared part: the payload, the data lock and the two sides' events.
struct Mailbox {
  std::mutex m;
  std::condition_variable cv;
  bool data_locked = false;
  std::vector<uint8_t> payload = std::vector<uint8_t>(kIpcPayloadSize, 0);
  AutoEvent player_event;  // set by the writer after each message
  AutoEvent filter_event;  // the acknowledgement
  std::atomic<bool> reader_exists{false};
  std::atomic<int> reads_refused{0};

  void Lock() {
    std::unique_lock l(m);
    cv.wait(l, [this] { return !data_locked; });
    data_locked = true;
  }
  bool LockFor(uint32_t ms) {
    std::unique_lock l(m);
    if (!cv.wait_for(l, std::chrono::milliseconds(ms), [this] { return !data_locked; })) return false;
    data_locked = true;
    return true;
  }
  void Unlock() {
    std::lock_guard l(m);
    data_locked = false;
    cv.notify_all();
  }
};

class Reader : public halvik::ChannelReader {
 public:
  explicit Reader(std::shared_ptr<Mailbox> box) : box_(std::move(box)) { box_->reader_exists = true; }
  ~Reader() override {
    box_->filter_event.Set();
    box_->reader_exists = false;
  }
  bool Connect() override { return true; }
  bool Read(void* dst, uint32_t length, uint32_t offset, int mode, uint32_t wait_ms) override {
    if (mode == 0) {
      if (!box_->player_event.Wait(wait_ms)) return false;
      box_->Lock();
    }
    if (uint64_t{offset} + length > box_->payload.size()) {
      ++box_->reads_refused;
      length = 0;
    }
    if (length) std::memcpy(dst, box_->payload.data() + offset, length);
    if (mode == 2) {
      box_->Unlock();
      box_->filter_event.Set();
    }
    return true;
  }

 private:
  std::shared_ptr<Mailbox> box_;
};

// The player's end, paced by the acknowledgements as the real channel is.
class ChannelWriter {
 public:
  ChannelWriter(std::shared_ptr<Mailbox> box, AutoEvent* wake) : box_(std::move(box)), wake_(wake) {}

  // Returns the time spent waiting for the previous acknowledgement.
  std::chrono::milliseconds Write(const std::vector<uint8_t>& msg) {
    const auto t0 = Clock::now();
    if (!first_) box_->filter_event.Wait(1000);
    first_ = false;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
    if (wake_) wake_->Set();
    if (!box_->LockFor(1000)) return waited;
    std::memcpy(box_->payload.data(), msg.data(), std::min(msg.size(), box_->payload.size()));
    box_->Unlock();
    box_->player_event.Set();
    return waited;
  }
  void Restart() { first_ = true; }

  static std::vector<uint8_t> Format(int32_t type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> m(1024, 0);
    ipcle::PutU32(m.data(), uint32_t(type));
    ipcle::PutU32(m.data() + 4, uint32_t(body.size()));
    if (!body.empty()) std::memcpy(m.data() + 8, body.data(), std::min<size_t>(body.size(), 1016));
    return m;
  }
  static std::vector<uint8_t> Frame(int32_t type, const std::vector<uint8_t>& payload, int64_t stamp,
                                    int32_t length_field = -2) {
    std::vector<uint8_t> m(type == 259 ? 40000 : 10280, 0);
    ipcle::PutU32(m.data(), uint32_t(type));
    ipcle::PutU32(m.data() + 4, uint32_t(length_field == -2 ? int32_t(payload.size()) : length_field));
    ipcle::PutI64(m.data() + 8, -1);
    ipcle::PutI64(m.data() + 16, stamp);
    ipcle::PutI64(m.data() + 24, -1);
    ipcle::PutI64(m.data() + 32, -1);
    if (!payload.empty()) std::memcpy(m.data() + 40, payload.data(), std::min(payload.size(), m.size() - 40));
    return m;
  }
  static std::vector<uint8_t> Control(int32_t type, int32_t second, int32_t arg) {
    std::vector<uint8_t> m(12);
    ipcle::PutU32(m.data(), uint32_t(type));
    ipcle::PutU32(m.data() + 4, uint32_t(second));
    ipcle::PutU32(m.data() + 8, uint32_t(arg));
    return m;
  }

 private:
  std::shared_ptr<Mailbox> box_;
  AutoEvent* wake_;
  bool first_ = true;
};

struct CopyData {
  uint32_t code;
  uint32_t cb_data;
  std::vector<uint8_t> payload;
  bool block;
  uint32_t timeout_ms;
};

class Host : public halvik::FilterHost {
 public:
  std::shared_ptr<Mailbox> box = std::make_shared<Mailbox>();
  AutoEvent wake, quit;
  std::atomic<bool> window_registered{true};
  std::atomic<bool> channel_fails{false};
  std::atomic<int> channels_created{0};
  std::u16string rec_dir = u"/rec";

  std::vector<CopyData> copydata() {
    std::lock_guard l(m_);
    return sent_;
  }
  std::vector<int32_t> notifications() {
    std::lock_guard l(m_);
    return notified_;
  }

  std::unique_ptr<halvik::FilterEvents> OpenEvents() override {
    struct Events : halvik::FilterEvents {
      Host* h;
      explicit Events(Host* host) : h(host) {}
      void SetWake() override { h->wake.Set(); }
      void ResetWake() override { h->wake.Reset(); }
      void SetQuit() override { h->quit.Set(); }
      void ResetQuit() override { h->quit.Reset(); }
      Wait WaitWakeOrQuit(uint32_t ms) override {
        const auto end = Clock::now() + std::chrono::milliseconds(ms == halvik::kInfinite ? 1 << 30 : ms);
        for (;;) {
          if (h->quit.Wait(0)) return Wait::kQuit;
          if (h->wake.Wait(0)) return Wait::kWake;
          if (Clock::now() >= end) return Wait::kTimeout;
          std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
      }
    };
    return std::make_unique<Events>(this);
  }
  std::unique_ptr<halvik::ChannelReader> CreateChannel() override {
    if (channel_fails) return nullptr;
    ++channels_created;
    return std::make_unique<Reader>(box);
  }
  std::u16string ReadRecordingFolder() override { return rec_dir; }
  intptr_t FindPlayerWindow() override { return window_registered ? 42 : 0; }
  bool SendCopyData(intptr_t window, uint32_t code, uint32_t cb_data, const uint8_t* payload, size_t size,
                    bool block, uint32_t timeout_ms) override {
    if (window != 42) return false;
    std::lock_guard l(m_);
    sent_.push_back({code, cb_data,
                     payload ? std::vector<uint8_t>(payload, payload + size) : std::vector<uint8_t>{}, block,
                     timeout_ms});
    return true;
  }
  void PostDualMonoNotify(int32_t v) override {
    std::lock_guard l(m_);
    notified_.push_back(v);
  }
  uint32_t ProcessId() override { return 4242; }

 private:
  std::mutex m_;
  std::vector<CopyData> sent_;
  std::vector<int32_t> notified_;
};

}  // namespace testhost
