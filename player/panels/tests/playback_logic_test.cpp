// The playlist, its list file and row texts, the playback panel's commands and placement, and the
// list bar's thumb: plain logic without a display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/panels/list_thumb.h"
#include "player/panels/playback_panel_logic.h"
#include "player/panels/playlist.h"

using namespace tevalo::panels;

namespace {

std::string Fixture(const char* name) { return std::string(TEVALO_PLAYLIST_FIXTURES) + "/" + name; }

// ---- list file

TEST(PlaylistFile, Fixtures) {
  struct Case {
    const char* file;
    std::vector<std::u16string> paths;
  } cases[] = {
      {"crlf.lst", {u"C:\\rec\\News.rec", u"C:\\rec\\Drama.rec"}},
      {"no_last_lf.lst", {u"/rec/a.rec", u"/rec/b.rec"}},
      {"empty_lines.lst", {u"/rec/a.rec", u"/rec/b.rec"}},
      {"utf8.lst", {u"/rec/ニュース.rec"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadPlaylistFile(Fixture(c.file)), c.paths) << c.file;
}

TEST(PlaylistFile, MissingFileAndOddBytes) {
  EXPECT_TRUE(ReadPlaylistFile(Fixture("absent.lst")).empty());
  EXPECT_TRUE(ParsePlaylistFile("").empty());
  EXPECT_TRUE(ParsePlaylistFile("\r\n\n").empty());
  // Bytes that are not UTF-8 still give a line, not a lost one.
  EXPECT_EQ(ParsePlaylistFile("/r/\xff.rec\n").size(), 1u);
  EXPECT_EQ(PlaylistFilePath("/opt/tevalo/"), "/opt/tevalo/plist.lst");
}

// ---- rows

TEST(PlaylistRows, Texts) {
  struct Case {
    std::u16string path;
    PlaylistRow row;
  } cases[] = {
      {u"C:\\rec\\News.rec", {u"News", u"rec"}},
      {u"/a/b.c.rec", {u"b.c", u"rec"}},
      {u"/a.d/noext", {u"n", u""}},
      {u"/a/b.r", {u"", u"r"}},  // under four characters
      {u"abcd", {u"", u""}},
      {u"", {u"", u""}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RowTextsOf(c.path), c.row) << std::string(c.path.begin(), c.path.end());
  EXPECT_EQ(FileNameOf(u"C:\\rec/x\\News.rec"), u"News.rec");
}

// ---- playlist

TEST(Playlist, CapOrderAndIndex) {
  CPlaylist list;
  for (int i = 0; i < CPlaylist::kMaxEntries; ++i) ASSERT_TRUE(list.Append(u"/r/" + std::u16string(1, u'a')));
  EXPECT_FALSE(list.Append(u"/r/over.rec"));
  EXPECT_FALSE(list.Enqueue(u"/r/over.rec"));
  EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);

  std::vector<std::u16string> many(CPlaylist::kMaxEntries + 5, u"/r/x.rec");
  list.Replace(many);
  EXPECT_EQ(list.Count(), CPlaylist::kMaxEntries);

  list.Replace({u"/r/a.rec", u"/r/b.rec"});
  list.SetPlayIndex(1);
  EXPECT_EQ(list.PlayingPath(), u"/r/b.rec");
  EXPECT_EQ(list.NextPlayIndex(), -1);  // nothing after the last
  EXPECT_TRUE(list.Enqueue(u"/r/c.rec"));
  EXPECT_EQ(list.PlayIndex(), 0);
  EXPECT_EQ(list.NextPlayIndex(), 1);
  list.SetPlayIndex(7);
  EXPECT_EQ(list.PlayingPath(), u"");
}

TEST(Playlist, RemoveSeveralKeepsOrderAndClampsIndex) {
  CPlaylist list;
  list.Replace({u"/0.rec", u"/1.rec", u"/2.rec", u"/3.rec", u"/4.rec"});
  list.SetPlayIndex(4);
  list.Remove({3, 1, 4, 1, 99, -2});
  EXPECT_EQ(list.Paths(), (std::vector<std::u16string>{u"/0.rec", u"/2.rec"}));
  EXPECT_EQ(list.PlayIndex(), 1);
  EXPECT_EQ(list.PlayingPath(), u"/2.rec");
  list.Remove({0, 1});
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.PlayIndex(), 0);
  EXPECT_EQ(list.PlayingPath(), u"");
}

TEST(Playlist, RowToPlayAndPlayRequest) {
  struct Case {
    std::vector<std::int32_t> selected;
    std::int32_t mark;
    std::int32_t row;
  } cases[] = {{{}, 0, -1}, {{2}, 2, 2}, {{1, 3}, 3, 3}, {{3, 1}, 0, 1}, {{4}, -1, 4}};
  for (const Case& c : cases) EXPECT_EQ(PlaylistRowToPlay(c.selected, c.mark), c.row) << c.mark;

  CPlaylist list;
  list.Replace({u"/a.rec", u"/b.rec"});
  list.SetPlayIndex(1);
  bool request = false;  // a drag cleared it
  EXPECT_EQ(TakePlaylistPlay(list, request), u"");
  request = true;
  EXPECT_EQ(TakePlaylistPlay(list, request), u"/b.rec");
  EXPECT_FALSE(request);
  request = true;
  list.SetPlayIndex(5);
  EXPECT_EQ(TakePlaylistPlay(list, request), u"");
}

// ---- playback panel

struct FakeHost : IPlaybackPanelHost {
  PanelSource source = PanelSource::kFile;
  bool graph = true;
  bool readable = true;
  int position = 0;
  int duration = 600;
  std::vector<int> seeks;
  std::vector<int> controls;
  int opens = 0, closedByButton = 0, hideModeCleared = 0, selChanges = 0;
  bool shown = false;
  SnapRect main{0, 0, 346, 380};
  PanelDock channelDock;
  bool channelExists = false, channelShown = false;
  SnapRect channelRect;

  PanelSource Source() const override { return source; }
  bool HasGraph() const override { return graph; }
  bool GetPosition(int* tenths) override {
    *tenths = position;
    return readable;
  }
  int GetDuration() override { return duration; }
  void SetPosition(int tenths) override { seeks.push_back(tenths); }
  void OpenRecordingFiles() override { ++opens; }
  void ExecuteControl(int code) override { controls.push_back(code); }
  void PanelClosedByButton() override { ++closedByButton; }
  void ClearButtonHideMode() override { ++hideModeCleared; }
  void PanelShownChanged(bool s) override { shown = s; }
  SnapRect MainWindowRect() const override { return main; }
  OtherPanel ChannelPanel() override {
    return channelExists ? OtherPanel{&channelDock, channelRect, channelShown} : OtherPanel{};
  }
  void ChannelPanelSelChange() override { ++selChanges; }
};

TEST(PlaybackPanel, SeekArithmetic) {
  struct Case {
    int id, position, duration, seek;
  } cases[] = {
      {CPlaybackPanelLogic::kPrevious, 85, 600, 1},  // not 0
      {CPlaybackPanelLogic::kPrevious, 100, 600, 0},
      {CPlaybackPanelLogic::kPrevious, 250, 600, 150},
      {CPlaybackPanelLogic::kNext, 510, 600, 590},  // d - p = 90: one second before the end
      {CPlaybackPanelLogic::kNext, 500, 600, 600},  // d - p = 100: a full step
      {CPlaybackPanelLogic::kNext, 120, 600, 220},
      {CPlaybackPanelLogic::kNext, 3, 8, 0},  // d < 10: never below 0
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.position = c.position;
    host.duration = c.duration;
    CPlaybackPanelLogic panel(host);
    panel.SetSliderRange(0, c.duration);
    EXPECT_TRUE(panel.Command(c.id));
    ASSERT_EQ(host.seeks, std::vector<int>{c.seek}) << c.id << " at " << c.position;
    EXPECT_EQ(panel.SliderPos(), c.seek);
  }
}

TEST(PlaybackPanel, PlayPauseStopSwap) {
  FakeHost host;
  CPlaybackPanelLogic panel(host);
  panel.SetSliderRange(0, 600);
  panel.SetSliderPos(300);
  EXPECT_TRUE(panel.PlayShown());
  panel.Command(CPlaybackPanelLogic::kPlay);
  EXPECT_FALSE(panel.PlayShown());
  panel.Command(CPlaybackPanelLogic::kPause);
  EXPECT_TRUE(panel.PlayShown());
  panel.Command(CPlaybackPanelLogic::kPlay);
  panel.Command(CPlaybackPanelLogic::kStop);
  EXPECT_TRUE(panel.PlayShown());
  EXPECT_EQ(panel.SliderPos(), 0);
  EXPECT_EQ(host.controls, (std::vector<int>{1, 1, 1, 3}));
  // The initial range is 10..100: stop leaves the slider at that minimum.
  FakeHost fresh;
  CPlaybackPanelLogic initial(fresh);
  initial.Command(CPlaybackPanelLogic::kStop);
  EXPECT_EQ(initial.SliderPos(), 10);
  panel.PlayStarted();
  panel.Reset();
  EXPECT_TRUE(panel.PlayShown());
  EXPECT_EQ(panel.SliderPos(), 0);
}

TEST(PlaybackPanel, NothingActsWithoutRecordingAndGraph) {
  struct Case {
    PanelSource source;
    bool graph;
  } cases[] = {{PanelSource::kNone, true}, {PanelSource::kLive, true}, {PanelSource::kFile, false}};
  for (const Case& c : cases) {
    FakeHost host;
    host.source = c.source;
    host.graph = c.graph;
    host.position = 300;
    CPlaybackPanelLogic panel(host);
    for (int id : {1083, 1084, 1085, 1086, 1087}) EXPECT_TRUE(panel.Command(id));
    EXPECT_TRUE(host.seeks.empty());
    EXPECT_TRUE(host.controls.empty());
    EXPECT_TRUE(panel.PlayShown());
    panel.Command(CPlaybackPanelLogic::kOpen);
    EXPECT_EQ(host.opens, 1);  // open works whatever plays
  }
  FakeHost host;
  CPlaybackPanelLogic panel(host);
  EXPECT_FALSE(panel.Command(1088));
  EXPECT_FALSE(panel.Command(1053));
}

TEST(PlaybackPanel, SliderRelease) {
  struct Case {
    PanelSource source;
    bool graph, readable;
    bool seeks;
  } cases[] = {{PanelSource::kFile, true, true, true},
               {PanelSource::kLive, true, true, false},
               {PanelSource::kFile, false, true, false},
               {PanelSource::kFile, true, false, false},
               {PanelSource::kNone, true, true, true}};
  for (const Case& c : cases) {
    FakeHost host;
    host.source = c.source;
    host.graph = c.graph;
    host.readable = c.readable;
    CPlaybackPanelLogic panel(host);
    panel.SliderReleased(420);
    EXPECT_EQ(host.seeks, c.seeks ? std::vector<int>{420} : std::vector<int>{});
  }
}

TEST(PlaybackPanel, RangeAndTimeText) {
  EXPECT_EQ(SliderMaximumFor(0), 1);
  EXPECT_EQ(SliderMaximumFor(1), 1);
  EXPECT_EQ(SliderMaximumFor(600), 600);
  FakeHost host;
  CPlaybackPanelLogic panel(host);
  panel.SetSliderRange(0, 0);
  EXPECT_EQ(panel.SliderMax(), 1);
  EXPECT_EQ(PlayTimeText(125, 600), "00:00:12 / 00:01:00");
  EXPECT_EQ(PlayTimeText(36610, 359990), "01:01:01 / 09:59:59");
  EXPECT_EQ(PlayTimeText(-5, 0), "00:00:00 / 00:00:00");
}

TEST(PlaybackPanel, ShowAndHide) {
  FakeHost host;
  host.main = {500, 100, 846, 480};
  CPlaybackPanelLogic panel(host);
  panel.Dock().position = {2000, 100};
  EXPECT_EQ(panel.Show(1920, 1080), (SnapPoint{100, 275}));
  EXPECT_TRUE(panel.Shown());
  EXPECT_TRUE(host.shown);
  EXPECT_FALSE(panel.Dock().docked);

  // Shown right under the main window: docked; hiding keeps the offset.
  panel.Dock().position = {500, 480};
  panel.Show(1920, 1080);
  EXPECT_TRUE(panel.Dock().docked);
  panel.Hide();
  EXPECT_FALSE(host.shown);
  EXPECT_EQ(host.hideModeCleared, 1);
  host.main = {600, 150, 946, 530};
  EXPECT_EQ(panel.Show(1920, 1080), (SnapPoint{600, 530}));

  // A channel panel docked only through this one is un-docked when it hides; the channel panel's
  // selection handling runs only while it exists and a recording plays.
  host.channelExists = host.channelShown = true;
  host.channelDock.docked = true;
  host.channelDock.edgeToMain = kSnapNone;
  panel.Hide();
  EXPECT_FALSE(host.channelDock.docked);
  EXPECT_EQ(host.selChanges, 1);
  host.channelExists = false;
  panel.Show(1920, 1080);
  panel.Hide();
  EXPECT_EQ(host.selChanges, 1);
}

TEST(PlaybackPanel, CloseHidesAndTellsTheMainWindow) {
  FakeHost host;
  CPlaybackPanelLogic panel(host);
  panel.Show(1920, 1080);
  EXPECT_TRUE(panel.Command(CPlaybackPanelLogic::kClose));
  EXPECT_FALSE(panel.Shown());
  EXPECT_EQ(host.closedByButton, 1);
}

// ---- list bar thumb

TEST(ListThumb, Table) {
  struct Case {
    int height, limit, value, top;
  } cases[] = {
      {101, 0, 0, 0},                     // cannot scroll
      {101, 0, 5, 0},    {26, 10, 5, 0},  // no travel
      {20, 10, 5, 0},    {101, 75, 0, 0},   {101, 75, 75, 75},
      {101, 75, 30, 30}, {126, 50, 25, 50}, {101, 75, 200, 75},  // clamped into the bar
      {101, 75, -4, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ListThumbTop(c.height, c.limit, c.value), c.top)
        << c.height << " " << c.limit << " " << c.value;
  EXPECT_EQ(ListScrollForThumb(126, 50, 51), 25);
  EXPECT_EQ(ListScrollForThumb(126, 50, 500), 50);
  EXPECT_EQ(ListScrollForThumb(126, 0, 40), 0);
  EXPECT_EQ(ListScrollForThumb(26, 10, 40), 0);
}

}  // namespace
