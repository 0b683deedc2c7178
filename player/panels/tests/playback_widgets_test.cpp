// The playback panel, the playlist window and the skinned lists on the offscreen platform with the
// player's own art; screenshots under the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "controls/hover_button.h"
#include "player/panels/list_scroll_bar.h"
#include "player/panels/list_thumb.h"
#include "player/panels/playback_panel.h"
#include "player/panels/playlist.h"
#include "player/panels/playlist_wnd.h"
#include "player/panels/screen_size.h"
#include "player/panels/skin_list.h"
#include "player/resources/player_resources.h"

using namespace tevalo::panels;

namespace {

class Env : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "panels_playback_widgets_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    InstallPlayerResources();
    SetScreenSizeFunction([] { return QSize(1920, 1080); });
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new Env);

void Save(QWidget& w, const QString& name) {
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots";
  QDir().mkpath(dir);
  w.grab().save(dir + "/" + name + ".png");
}

// The bound only ends a broken run.
bool WaitFor(const std::function<bool()>& done) {
  QDeadlineTimer deadline(60000);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

struct PanelHost : IPlaybackPanelHost {
  PanelSource source = PanelSource::kFile;
  int position = 120, duration = 600;
  std::vector<int> seeks, controls;
  PanelSource Source() const override { return source; }
  bool HasGraph() const override { return true; }
  bool GetPosition(int* t) override {
    *t = position;
    return true;
  }
  int GetDuration() override { return duration; }
  void SetPosition(int t) override { seeks.push_back(t); }
  void OpenRecordingFiles() override {}
  void ExecuteControl(int code) override { controls.push_back(code); }
  void PanelClosedByButton() override {}
  void ClearButtonHideMode() override {}
  void PanelShownChanged(bool) override {}
  SnapRect MainWindowRect() const override { return {100, 100, 446, 480}; }
  OtherPanel ChannelPanel() override { return {}; }
  void ChannelPanelSelChange() override {}
};

TEST(PlaybackPanelWidget, PlayingAndStopped) {
  PanelHost host;
  CPlaybackPanel panel(host);
  ASSERT_TRUE(panel.Create());
  EXPECT_EQ(panel.size(), QSize(347, 133));
  EXPECT_FALSE(panel.mask().isEmpty());
  panel.ShowPanel(true);
  EXPECT_EQ(panel.pos(), QPoint(0, 175));
  EXPECT_TRUE(panel.Button(1085)->isVisibleTo(&panel));
  EXPECT_FALSE(panel.Button(1084)->isVisibleTo(&panel));

  panel.SetFileName(QStringLiteral("News.rec"));
  panel.OnCommand(1085);
  panel.SetSlider(120, 600);
  panel.SetPlayTime(120, 600);
  EXPECT_EQ(panel.PlayTimeText(), QStringLiteral("00:00:12 / 00:01:00"));
  EXPECT_FALSE(panel.Button(1085)->isVisibleTo(&panel));
  EXPECT_TRUE(panel.Button(1084)->isVisibleTo(&panel));
  EXPECT_EQ(panel.Button(1084)->geometry(), panel.Button(1085)->geometry());
  Save(panel, "playback-panel-playing");

  panel.OnCommand(1086);
  EXPECT_TRUE(panel.Button(1085)->isVisibleTo(&panel));
  EXPECT_EQ(panel.Logic().SliderPos(), panel.Logic().SliderMin());
  EXPECT_EQ(host.controls, (std::vector<int>{1, 3}));
  panel.Reset();
  panel.ClearTexts();
  Save(panel, "playback-panel-stopped");

  panel.OnCommand(1089);
  EXPECT_FALSE(panel.isVisible());
  EXPECT_FALSE(panel.IsShown());
}

struct ListHost : IPlaylistHost {
  QRect main{100, 100, 346, 380};
  std::vector<std::u16string> played;
  bool shown = false;
  QRect MainWindowRect() const override { return main; }
  void PlaylistShownChanged(bool s) override { shown = s; }
  void PlayPlaylistEntry(const std::u16string& path) override { played.push_back(path); }
  void DropFiles(const QStringList&) override {}
};

void DoubleClickRow(CSkinListCtrl* list, int row) {
  const QRect r = list->visualItemRect(list->topLevelItem(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

TEST(PlaylistWindow, ToggleRowsAndPlay) {
  Playlist().Replace({u"C:\\rec\\News.rec", u"/rec/Drama.rec", u"/rec/Sports.rec"});
  ListHost host;
  CPlaylistWnd wnd(host);
  ASSERT_TRUE(wnd.Create());
  wnd.Refill(0);
  wnd.Toggle();
  EXPECT_TRUE(host.shown);
  EXPECT_EQ(wnd.geometry(), QRect(100, 480, 324, 200));  // under the main window, left edges aligned
  ASSERT_EQ(wnd.List()->topLevelItemCount(), 3);
  EXPECT_EQ(wnd.List()->topLevelItem(0)->text(0), QStringLiteral("News"));
  EXPECT_EQ(wnd.List()->topLevelItem(0)->text(1), QStringLiteral("rec"));

  // A drag uses up the play request: no play until a refill.
  QTest::mousePress(&wnd, Qt::LeftButton, {}, QPoint(60, 20));
  QTest::mouseRelease(&wnd, Qt::LeftButton, {}, QPoint(60, 20));
  EXPECT_FALSE(wnd.PlayRequest());
  DoubleClickRow(wnd.List(), 1);
  // A play would come as a queued call: run every queued one, then look.
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(host.played.empty());
  EXPECT_EQ(Playlist().PlayIndex(), 1);

  wnd.Refill(0);
  DoubleClickRow(wnd.List(), 2);
  ASSERT_TRUE(WaitFor([&] { return !host.played.empty(); }));
  EXPECT_EQ(host.played, std::vector<std::u16string>{u"/rec/Sports.rec"});
  EXPECT_EQ(wnd.List()->PreviousPlayIndex(), 1);

  // The next entry after the last plays nothing.
  wnd.PlayNext();
  EXPECT_EQ(host.played.size(), 1u);

  // Both columns in view, the bar beside the rows with its thumb at the top of a list that cannot
  // scroll.
  CSkinListCtrl* list = wnd.List();
  EXPECT_LE(list->header()->sectionViewportPosition(1) + list->header()->sectionSize(1),
            list->viewport()->width());
  const QRect bar = list->ScrollBar()->geometry();
  EXPECT_GT(bar.left(), list->geometry().right());
  EXPECT_GE(bar.top(), list->geometry().top() + list->header()->height());
  EXPECT_LE(bar.bottom(), list->geometry().bottom());
  EXPECT_EQ(list->ScrollBar()->ThumbTop(), 0);
  list->topLevelItem(1)->setSelected(true);
  Save(wnd, "playlist-window");
  wnd.Toggle();
  EXPECT_FALSE(host.shown);
  EXPECT_FALSE(wnd.isVisible());
}

TEST(PlaylistWindow, DeleteSeveralAndDoubleClickWithoutSelection) {
  Playlist().Replace({u"/r/a.rec", u"/r/b.rec", u"/r/c.rec", u"/r/d.rec"});
  ListHost host;
  CPlaylistWnd wnd(host);
  ASSERT_TRUE(wnd.Create());
  wnd.Refill(0);
  wnd.Toggle();
  CSkinListCtrl* list = wnd.List();

  Playlist().SetPlayIndex(3);
  list->clearSelection();
  const QRect empty(0, list->viewport()->height() - 2, 1, 1);  // below the last row
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, empty.center());
  // A play would come as a queued call: run every queued one, then look.
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(host.played.empty());
  EXPECT_EQ(list->PreviousPlayIndex(), 3);
  EXPECT_EQ(Playlist().PlayIndex(), 3);

  list->topLevelItem(0)->setSelected(true);
  list->topLevelItem(2)->setSelected(true);
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(list, &up);
  EXPECT_EQ(Playlist().Paths(), (std::vector<std::u16string>{u"/r/b.rec", u"/r/d.rec"}));
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("d"));
  EXPECT_EQ(Playlist().PlayIndex(), 1);
}

TEST(ListScrollBar, ThumbFollowsAndRepeats) {
  std::vector<std::u16string> paths;
  for (int i = 1; i <= 40; ++i)
    paths.push_back(u"/rec/20261210-2100 ch27 part " + std::u16string(1, u'0' + i / 10) +
                    std::u16string(1, u'0' + i % 10) + u".rec");
  Playlist().Replace(paths);
  ListHost host;
  CPlaylistWnd wnd(host);
  ASSERT_TRUE(wnd.Create());
  wnd.Refill(0);
  wnd.Toggle();
  CSkinListCtrl* list = wnd.List();
  CListScrollBar* bar = list->ScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->geometry(), QRect(17 + 276 + 3, 42 + 22 + 2, 5, 137 - 22 - 4));
  QScrollBar* v = list->verticalScrollBar();
  ASSERT_TRUE(WaitFor([&] { return v->maximum() > 0; }));
  v->setValue(v->maximum() / 2);
  EXPECT_EQ(bar->ThumbTop(), ListThumbTop(bar->height(), v->maximum(), v->value()));
  EXPECT_GT(bar->ThumbTop(), 0);
  list->topLevelItem(v->value() + 1)->setSelected(true);
  Save(wnd, "playlist-window-many");
  v->setValue(v->maximum());
  EXPECT_EQ(bar->ThumbTop(), bar->height() - 26);

  v->setValue(0);
  bar->StartRepeat(true);
  EXPECT_TRUE(bar->RepeatTimer(2).isActive());
  EXPECT_EQ(bar->RepeatTimer(2).interval(), 250);
  bar->OnTimer(2);
  EXPECT_FALSE(bar->RepeatTimer(2).isActive());
  EXPECT_TRUE(bar->RepeatTimer(1).isActive());
  EXPECT_EQ(bar->RepeatTimer(1).interval(), 50);
  bar->OnTimer(1);
  bar->OnTimer(1);
  EXPECT_EQ(v->value(), 2);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2, 11));
  EXPECT_FALSE(bar->RepeatTimer(1).isActive());
  EXPECT_EQ(v->value(), 0);  // the release puts the thumb, and the list, at the top
}

TEST(ReserveList, FirstRowRedOnlyWhileReservedRecordingRuns) {
  bool running = false;
  CReserveListCtrl list;
  list.SetReservedRecordingFlag([&] { return running; });
  for (int row : {0, 1, 2}) EXPECT_EQ(list.RowTextColor(row), QColor(Qt::black)) << row;
  running = true;
  EXPECT_EQ(list.RowTextColor(0), QColor(255, 0, 0));
  EXPECT_EQ(list.RowTextColor(1), QColor(Qt::black));
}

}  // namespace
