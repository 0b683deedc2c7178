// The timer table on a clock the test moves: periods, restarts, one-shot timers, handlers that set
// and kill timers (their own included), in time order.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "player/shell/timer_table.h"

namespace tevalo::shell {
namespace {

struct Table {
  CManualTimerClock clock;
  CTimerTable table{clock};
  std::vector<std::pair<uint64_t, TimerId>> fired;

  void Record(TimerId id) {
    table.SetHandler(id, [this, id] { fired.emplace_back(clock.NowMs(), id); });
  }
};

TEST(TimerTable, RepeatingAndOneShotTimersFireInTimeOrder) {
  Table t;
  for (TimerId id : kAllTimers) t.Record(id);
  t.table.SetTimer(TimerId::kLevel, 800);
  t.table.SetTimer(TimerId::kOpen, 100);
  t.table.SetTimer(TimerId::kWatchdog, 10000);
  t.clock.Advance(2500);
  const std::vector<std::pair<uint64_t, TimerId>> expect{
      {100, TimerId::kOpen}, {800, TimerId::kLevel}, {1600, TimerId::kLevel}, {2400, TimerId::kLevel}};
  EXPECT_EQ(t.fired, expect);
  EXPECT_FALSE(t.table.IsArmed(TimerId::kOpen));  // one shot
  EXPECT_TRUE(t.table.IsArmed(TimerId::kLevel));
  EXPECT_EQ(t.table.Period(TimerId::kLevel), 800);
  EXPECT_EQ(t.table.Period(TimerId::kOpen), 0);
  t.clock.Advance(7500);
  EXPECT_EQ(t.fired.back(), std::make_pair(uint64_t{10000}, TimerId::kWatchdog));
  EXPECT_FALSE(t.table.IsArmed(TimerId::kWatchdog));
}

TEST(TimerTable, SettingAgainRestartsAndKillingStops) {
  Table t;
  t.Record(TimerId::kNoSignal);
  t.Record(TimerId::kRecordingClock);
  t.table.SetTimer(TimerId::kNoSignal, 5000);
  t.clock.Advance(4000);
  t.table.SetTimer(TimerId::kNoSignal, 5000);  // restarts from now
  t.clock.Advance(4000);
  EXPECT_TRUE(t.fired.empty());
  t.clock.Advance(1000);
  ASSERT_EQ(t.fired.size(), 1u);
  EXPECT_EQ(t.fired[0].first, 9000u);
  t.table.SetTimer(TimerId::kRecordingClock, 1000);
  t.clock.Advance(2500);
  t.table.KillTimer(TimerId::kRecordingClock);
  t.clock.Advance(5000);
  EXPECT_EQ(t.fired.size(), 3u);
  t.table.KillTimer(TimerId::kRecordingClock);  // killing a stopped timer is nothing
  EXPECT_FALSE(t.table.IsArmed(TimerId::kRecordingClock));
}

TEST(TimerTable, HandlersSetAndKillTimersTheirOwnIncluded) {
  Table t;
  // The playback timer runs at 100 ms once, then at 300 ms; the watchdog arms its check.
  int positions = 0;
  t.table.SetHandler(TimerId::kPlayback, [&] {
    if (++positions == 1) t.table.SetTimer(TimerId::kPlayback, 300);
  });
  int checks = 0;
  t.table.SetHandler(TimerId::kWatchdog, [&] { t.table.SetTimer(TimerId::kWatchdogCheck, 3000); });
  t.table.SetHandler(TimerId::kWatchdogCheck, [&] {
    if (++checks == 2) t.table.KillTimer(TimerId::kWatchdogCheck);
  });
  t.table.SetTimer(TimerId::kPlayback, 100);
  t.table.SetTimer(TimerId::kWatchdog, 10000);
  t.clock.Advance(1000);
  EXPECT_EQ(positions, 4);  // 100, 400, 700, 1000
  EXPECT_EQ(t.table.Period(TimerId::kPlayback), 300);
  t.clock.Advance(20000);
  EXPECT_EQ(checks, 2);  // 13000, 16000, then killed by itself
  EXPECT_FALSE(t.table.IsArmed(TimerId::kWatchdogCheck));
  t.table.KillAll();
  EXPECT_FALSE(t.table.IsArmed(TimerId::kPlayback));
}

TEST(TimerTable, TheIdsAreTheMainWindowsAndOnlyFourAreOneShot) {
  std::vector<int> ids;
  for (TimerId id : kAllTimers) ids.push_back(static_cast<int>(id));
  EXPECT_EQ(ids, (std::vector<int>{102, 105, 106, 107, 500, 501, 504, 505, 997, 998}));
  std::vector<int> oneShot;
  for (TimerId id : kAllTimers)
    if (IsOneShot(id)) oneShot.push_back(static_cast<int>(id));
  EXPECT_EQ(oneShot, (std::vector<int>{105, 107, 505, 998}));
}

}  // namespace
}  // namespace tevalo::shell
