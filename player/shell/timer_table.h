// The main window's logic timers, in one table keyed by their fixed ids, on a clock that can be
// replaced. The table keeps which timers run and with what period and runs each timer's handler when
// it fires; the handlers (what each timer decides) are set by the parts of the player that own them.
// A timer set again restarts with the new period, as the platform's window timers do; one-shot
// timers stop themselves before their handler runs.
//
// GUI thread only (the core posts calls from other threads to it). The clock fires on the GUI
// thread: CQtTimerClock (qt_timer_clock.h) from the event loop, CManualTimerClock when a test
// advances it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tevalo::shell {

enum class TimerId : int {
  kPlayback = 102,        // playback position, 100 ms then 300 ms
  kOpen = 105,            // the deferred open, 100 ms, one shot
  kReservation = 106,     // reservation check, 1000 ms
  kSearchPing = 107,      // the channel ping after a search start, 1 ms, one shot
  kLevel = 500,           // signal level, 800 ms
  kRecordingClock = 501,  // recording clock, 1000 ms
  kTimeshift = 504,       // timeshift counter, 1000 ms
  kNoSignal = 505,        // no signal, 5000 ms plus the paused time, one shot
  kWatchdogCheck = 997,   // stream watchdog, 3000 ms
  kWatchdog = 998,        // arms the watchdog, 10000 ms, one shot
};

inline constexpr TimerId kAllTimers[] = {TimerId::kPlayback,   TimerId::kOpen,     TimerId::kReservation,
                                         TimerId::kSearchPing, TimerId::kLevel,    TimerId::kRecordingClock,
                                         TimerId::kTimeshift,  TimerId::kNoSignal, TimerId::kWatchdogCheck,
                                         TimerId::kWatchdog};

bool IsOneShot(TimerId id);

// Where the table's timers run.
class ITimerClock {
 public:
  using Fire = std::function<void(TimerId)>;
  virtual ~ITimerClock() = default;
  // Milliseconds of a steady tick (the timers' decisions measure with it).
  virtual uint64_t NowMs() const = 0;
  // The clock calls fire(id) every `ms` until stopped; starting a running timer restarts it.
  virtual void Start(TimerId id, int ms, Fire fire) = 0;
  virtual void Stop(TimerId id) = 0;
};

class CTimerTable {
 public:
  explicit CTimerTable(ITimerClock& clock);
  ~CTimerTable();
  CTimerTable(const CTimerTable&) = delete;
  CTimerTable& operator=(const CTimerTable&) = delete;

  // What the timer does when it fires (empty: nothing yet).
  void SetHandler(TimerId id, std::function<void()> handler);
  // Starts (or restarts) the timer with this period.
  void SetTimer(TimerId id, int ms);
  void KillTimer(TimerId id);
  void KillAll();
  bool IsArmed(TimerId id) const;
  // The period it runs with; 0 when stopped.
  int Period(TimerId id) const;
  uint64_t NowMs() const { return m_clock.NowMs(); }

 private:
  void Fire(TimerId id);

  ITimerClock& m_clock;
  std::map<TimerId, int> m_armed;
  std::map<TimerId, std::function<void()>> m_handlers;
};

// Time moves only when a test advances it; due timers fire in time order (ties by id).
class CManualTimerClock final : public ITimerClock {
 public:
  uint64_t NowMs() const override { return m_now; }
  void Start(TimerId id, int ms, Fire fire) override;
  void Stop(TimerId id) override;
  // Moves the time forward, firing every timer that comes due on the way.
  void Advance(uint64_t ms);

 private:
  struct Running {
    int period;
    uint64_t due;
    Fire fire;
  };
  uint64_t m_now = 0;
  std::map<TimerId, Running> m_running;
};

}  // namespace tevalo::shell
