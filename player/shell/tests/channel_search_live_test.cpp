// Channel searches on the stick stand-in with the sample broadcast (area 7, UHF 25..27): the area
// search, a start over the stored channel list, a first start, one search at a time, no stick, and
// closing while a scan runs.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "live_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

constexpr int kSearchCommand = 4;

class ChannelSearchLive : public ::testing::Test {
 protected:
  void Start(SearchKind kind, bool areaChosen = false, int searchDelay = 0) {
    config = WriteInstallation();
    std::filesystem::remove(std::filesystem::path(config).parent_path() / "chlist.ini");
    if (!settings.empty()) std::ofstream(config) << settings;
    tunersim::SimProcess::Options so;
    for (const auto& c : SampleChannels()) so.args.insert(so.args.end(), {"--channel", c});
    if (searchDelay > 0) so.args.insert(so.args.end(), {"--search-delay", std::to_string(searchDelay)});
    sim = std::make_unique<tunersim::SimProcess>(so);
    CPlayerCore::Options o;
    o.video = &video;
    o.configPath = tevalo::text::ToUtf16(config);
    o.searchKind = kind;
    o.areaIndex = 7;
    o.areaChosen = areaChosen;
    controller = std::make_unique<LiveCore>(view, o, /*watchDevices=*/false);
  }
  CPlayerCore& core() { return *controller->core; }
  void TearDown() override {
    controller.reset();
    if (sim) sim->stop();
  }
  bool WaitSearchEnd() {
    return PumpUntil([&] { return !core().State().searching; }, 60000);
  }
  bool WaitPlaying() {
    return PumpUntil(
        [&] {
          auto g = core().MediaGraph();
          return g && !core().State().opening && g->GetFrameRate() > 0;
        },
        30000);
  }
  std::vector<ChannelEntry> Rows() {
    std::vector<ChannelEntry> rows;
    for (const auto& e : view.panel)
      if (e.availability != -1) rows.push_back(e);
    return rows;
  }
  int SearchCommands() {
    const auto log = sim->log();
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [](const auto& r) { return r.code == kSearchCommand; }));
  }

  std::string settings;
  std::string config;
  std::unique_ptr<tunersim::SimProcess> sim;
  RecordingView view;
  CHeadlessVideoOutput video;
  std::unique_ptr<LiveCore> controller;
};

TEST_F(ChannelSearchLive, AnAreaSearchFindsTheThreeStationsAmongTheAreasRows) {
  Start(SearchKind::kArea);
  core().StartTuner();
  ASSERT_TRUE(WaitSearchEnd());
  ASSERT_TRUE(WaitPlaying());
  EXPECT_TRUE(core().State().tunerUsable);
  std::vector<int> found;
  for (const auto& e : Rows())
    if (e.availability == 1) found.push_back(e.index);
  EXPECT_EQ(found, (std::vector<int>{12, 13, 14}));
  EXPECT_GT(SearchCommands(), 0);
}

TEST_F(ChannelSearchLive, AStoredListStartTakesTheListAndItsLockMarksWithoutSearching) {
  // A list never saved enables the area's stations (indices 7..14); the stored marks say which of
  // them were received.
  settings = "[DMBControl]\nCurrentChannel=13131\n[CHANNEL_LOCK]\n12_LOCK=1\n13_LOCK=1\n14_LOCK=0\n";
  Start(SearchKind::kStoredList);
  EXPECT_EQ(core().ChannelList().GetEnabledIndices(), (std::vector<int32_t>{7, 8, 9, 10, 11, 12, 13, 14}));
  core().StartTuner();
  ASSERT_TRUE(WaitSearchEnd());
  ASSERT_TRUE(WaitPlaying());
  EXPECT_EQ(SearchCommands(), 0);
  std::vector<int> marked;
  for (const auto& e : Rows())
    if (e.availability == 1) marked.push_back(e.index);
  EXPECT_EQ(marked, (std::vector<int>{12, 13}));
  // A mark set on another thread repaints its row on the GUI thread.
  std::thread([&] { core().SetChannelLock(13, 0); }).join();
  ASSERT_TRUE(PumpUntil(
      [&] { return std::find(view.events.begin(), view.events.end(), "lock 13 off") != view.events.end(); },
      10000));
  EXPECT_EQ(view.offGuiThread, 0);
  // Saving mid-close, with the tuner closed, writes the marks.
  EXPECT_EQ(core().CurrentChannel().substr(0, 2), u"13");
  core().BeginClose();
  core().StopStartupThread();
  core().CloseMediaGraph();
  core().CloseStreamChannel();
  core().StopPlayback();
  core().CloseTuner();
  sim->clear_log();
  core().SaveChannelLocks();
  // Closing never opens the stick to learn the marks (an open sends it commands): it received none.
  EXPECT_TRUE(sim->log().empty());
  const std::u16string file = tevalo::text::ToUtf16(config);
  EXPECT_EQ(tevalo::profile::ReadString(file, u"CHANNEL_LOCK", u"12_LOCK", u""), u"1");
  EXPECT_EQ(tevalo::profile::ReadString(file, u"CHANNEL_LOCK", u"13_LOCK", u""), u"0");
  EXPECT_EQ(tevalo::profile::ReadString(file, u"CHANNEL_LOCK", u"14_LOCK", u""), u"0");
}

TEST_F(ChannelSearchLive, AFirstStartForgetsTheStoredChannelAndPlaysTheFirstFoundRow) {
  settings = "[DMBControl]\nCurrentChannel=14141\n";
  Start(SearchKind::kArea, /*areaChosen=*/true);
  core().StartTuner();
  ASSERT_TRUE(WaitSearchEnd());
  ASSERT_TRUE(WaitPlaying());
  EXPECT_FALSE(core().State().areaChosen);
  EXPECT_EQ(core().CurrentChannel().substr(0, 2), u"12");
  EXPECT_EQ(tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"DMBControl", u"CurrentChannel", u""),
            core().CurrentChannel());
}

TEST_F(ChannelSearchLive, ASecondRequestDuringASearchChangesNothing) {
  Start(SearchKind::kArea, false, /*searchDelay=*/20);
  ASSERT_EQ(core().BeginSearch(SearchKind::kArea), 1);
  ASSERT_TRUE(PumpUntil([&] { return SearchCommands() > 0; }, 30000));
  EXPECT_EQ(core().BeginSearch(SearchKind::kAll), 1);
  EXPECT_EQ(core().State().searchKind, SearchKind::kArea);
  ASSERT_TRUE(WaitSearchEnd());
  // The tuner was not re-opened under the scan: the area's scan ran to its end and found the three.
  std::vector<int> found;
  for (const auto& e : Rows())
    if (e.availability == 1) found.push_back(e.index);
  EXPECT_EQ(found, (std::vector<int>{12, 13, 14}));
}

TEST_F(ChannelSearchLive, WithoutAStickTheSearchIsRefusedAndTheTunerMarkedUnusable) {
  Start(SearchKind::kArea);
  sim->remove();
  EXPECT_EQ(core().BeginSearch(SearchKind::kArea), 0);
  EXPECT_FALSE(core().State().tunerUsable);
  EXPECT_FALSE(core().State().searching);
}

TEST_F(ChannelSearchLive, ClosingDuringAScanEndsAndJoinsTheSearchThread) {
  Start(SearchKind::kAll, false, /*searchDelay=*/1000000);
  ASSERT_EQ(core().BeginSearch(SearchKind::kAll), 1);
  ASSERT_TRUE(PumpUntil([&] { return SearchCommands() > 0; }, 30000));
  controller.reset();  // returns once the scan has seen the stop at its next poll
  SUCCEED();
}

}  // namespace
}  // namespace tevalo::shell::test
