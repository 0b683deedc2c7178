#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

#include "channel_fixtures.h"
#include "channel_widgets_env.h"
#include "controls/hover_button.h"
#include "player/panels/channel_list_box.h"
#include "player/panels/channel_panel.h"
#include "player/panels/screen_size.h"
#include "skin_preview.h"

namespace tevalo::panels {
namespace {

using testing::FakePanelHost;
using testing::FakePrompter;
using testing::FoundChannel;
using testing::Pump;
using testing::SaveShot;
using testing::ScanEntries;
using testing::Tokyo;

const QString kRefusal = QStringLiteral("録画中にはチャンネルを変えることができません。");

struct Panel {
  FakePanelHost host;
  FakePrompter prompter;
  CChannelPanel panel{host, prompter};
  explicit Panel(const std::vector<FoundChannel>& found = Tokyo(), const std::u16string& tuned = u"14001") {
    host.state.currentChannel = tuned;
    panel.Create();
    panel.FillChannelList(ScanEntries(7, found), tuned);
  }
  CChannelListBox* List() { return panel.ListBox(); }
  void ClickRow(int row) {
    const QRect r = List()->visualRect(List()->model()->index(row, 0));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    Pump();
  }
  int SelectedChannel() {
    QListWidgetItem* it = List()->currentItem();
    return it && it->isSelected() ? it->data(CChannelListBox::kChannelRole).toInt() : -1;
  }
  int RowOf(int channel) { return panel.Model().RowOfChannel(channel); }
};

void Wheel(QWidget* target, int delta) {
  QWheelEvent wheel(QPointF(20, 20), target->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &wheel);
}

TEST(ChannelPanel, RowsAndTheScrollBarFollowTheRowCount) {
  Panel p;
  p.panel.ToggleShow();
  Pump();
  ASSERT_EQ(p.List()->count(), 8);
  EXPECT_EQ(p.List()->item(0)->text(), QStringLiteral("20    ＭＸテレビ"));
  EXPECT_EQ(p.List()->geometry(), QRect(15, 34, 252, 126));
  CListBoxScrollBar* bar = p.List()->ScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->geometry(), QRect(15 + 252 - 9, 34, 9, 126));
  EXPECT_EQ(p.SelectedChannel(), 14) << "the tuned channel's row";
  EXPECT_EQ(bar->Geometry().ThumbHeight(), 94) << "126 x 6 / 8";
  EXPECT_EQ(p.List()->TopIndex(), 2) << "the list shows the selected last row";
  SaveShot(testing::PanelOnDesktop(p.panel), "channel-panel-8rows.png");

  // The wheel over the list scrolls it through the bar.
  Wheel(p.List()->viewport(), 120);
  EXPECT_EQ(p.List()->TopIndex(), 1);
  EXPECT_EQ(bar->Geometry().Top(), 1);
  EXPECT_TRUE(p.host.tuned.empty()) << "filling, selecting and scrolling never tune";

  // Three rows: no bar, the full width.
  p.panel.FillChannelList(ScanEntries(7, {{14}, {13, false}, {12}}), u"13011");
  Pump();
  EXPECT_EQ(p.List()->count(), 3);
  EXPECT_EQ(p.List()->width(), 261);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(p.SelectedChannel(), 13);
  SaveShot(testing::PanelOnDesktop(p.panel), "channel-panel-3rows.png");
  Wheel(p.List()->viewport(), -120);
  EXPECT_EQ(p.List()->TopIndex(), 0);
  EXPECT_TRUE(p.host.tuned.empty());
}

TEST(ChannelPanel, OnlyTheUsersPickTunes) {
  Panel p;
  p.panel.ToggleShow();
  Pump();
  p.ClickRow(p.RowOf(13));
  ASSERT_EQ(p.host.tuned, std::vector<std::u16string>{u"13011"});
  EXPECT_EQ(p.panel.Model().History(), std::vector<std::u16string>{u"13011"});
  p.ClickRow(p.RowOf(13));
  EXPECT_EQ(p.host.tuned.size(), 1u) << "the channel already tuned";

  p.panel.SelectChannel(7);
  EXPECT_EQ(p.SelectedChannel(), 7);
  EXPECT_EQ(p.host.tuned.size(), 1u) << "a programmatic selection does not tune";

  p.host.state.busy = true;
  p.ClickRow(p.RowOf(12));
  EXPECT_EQ(p.host.tuned.size(), 1u) << "clicks are ignored while busy";
  EXPECT_EQ(p.SelectedChannel(), 7);
  p.host.state.busy = false;

  // While recording: refused with the message, the current channel's row again, no tune.
  p.host.state.recording = true;
  p.ClickRow(p.RowOf(12));
  EXPECT_EQ(p.host.tuned.size(), 1u);
  ASSERT_EQ(p.prompter.asked.size(), 1u);
  EXPECT_EQ(p.prompter.asked[0], kRefusal);
  EXPECT_EQ(p.prompter.titles[0], QStringLiteral("1seg Message"));
  EXPECT_EQ(p.SelectedChannel(), 13);

  // While a recording file plays, the tuned channel's row tunes it again.
  p.host.state.recording = false;
  p.host.state.filePlayback = true;
  p.ClickRow(p.RowOf(12));
  p.ClickRow(p.RowOf(12));
  EXPECT_EQ(p.host.tuned, (std::vector<std::u16string>{u"13011", u"12021", u"12021"}));
}

TEST(ChannelPanel, UpAndDownStepWithoutWrapping) {
  Panel p(std::vector<FoundChannel>{{14}, {13}, {12}}, u"12021");
  p.panel.ToggleShow();
  Pump();
  auto* up = p.panel.Button(CChannelPanel::kChannelUp);
  auto* down = p.panel.Button(CChannelPanel::kChannelDown);
  ASSERT_TRUE(up && down);
  EXPECT_EQ(up->geometry(), QRect(298, 102, 22, 22));
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_TRUE(p.host.tuned.empty()) << "up on the first row";
  QTest::mouseClick(down, Qt::LeftButton);
  QTest::mouseClick(down, Qt::LeftButton);
  QTest::mouseClick(down, Qt::LeftButton);
  EXPECT_EQ(p.host.tuned, (std::vector<std::u16string>{u"13011", u"14001"})) << "no wrap at the end";
  EXPECT_EQ(p.host.timeshiftResets, 2);
  EXPECT_EQ(p.SelectedChannel(), 14);

  p.host.state.recording = true;
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(p.host.tuned.size(), 2u);
  EXPECT_EQ(p.prompter.asked, std::vector<QString>{kRefusal}) << "the buttons refuse while recording";
  p.host.state.recording = false;

  p.host.state.busy = true;
  p.panel.ChannelUp();
  EXPECT_EQ(p.host.tuned.size(), 2u) << "nothing while busy";
  p.host.state.busy = false;

  // Back and forward walk the changes without adding to them.
  p.panel.HistoryBack();
  EXPECT_EQ(p.host.tuned.back(), u"13011");
  EXPECT_EQ(p.SelectedChannel(), 13);
  p.panel.HistoryForward();
  EXPECT_EQ(p.host.tuned.back(), u"14001");
  EXPECT_EQ(p.panel.Model().History(), (std::vector<std::u16string>{u"13011", u"14001"}));
  p.panel.RetuneCurrent();
  EXPECT_EQ(p.host.tuned.back(), u"14001");
  EXPECT_EQ(p.host.tuned.size(), 5u);
  EXPECT_EQ(p.panel.Model().History().size(), 2u);
}

TEST(ChannelPanel, KeysReachTheMainWindowOnce) {
  Panel p;
  p.panel.ToggleShow();
  Pump();
  p.List()->setFocus();
  const int before = p.SelectedChannel();
  QTest::keyClick(p.List(), Qt::Key_Up);
  QTest::keyClick(p.List(), Qt::Key_Escape);
  QTest::keyClick(p.panel.Button(CChannelPanel::kFullSearch), Qt::Key_Down);
  QTest::keyClick(&p.panel, Qt::Key_Return);
  EXPECT_EQ(p.host.keys, 4);
  EXPECT_EQ(p.SelectedChannel(), before) << "the list does not step by itself";
  EXPECT_TRUE(p.panel.isVisible()) << "Escape does not close the panel";
  EXPECT_TRUE(p.host.tuned.empty());
}

TEST(ChannelPanel, SearchesClearTheListAndAskWhileRecording) {
  Panel p;
  p.panel.PushHistory(u"14001");
  QTest::mouseClick(p.panel.Button(CChannelPanel::kFullSearch), Qt::LeftButton);
  ASSERT_EQ(p.host.searches.size(), 1u);
  EXPECT_EQ(p.host.searches[0].first, 0);
  EXPECT_EQ(p.host.searches[0].second, *StepsForSearch(0));
  EXPECT_EQ(p.List()->count(), 0);
  EXPECT_TRUE(p.panel.Model().History().empty());

  p.panel.FillChannelList(ScanEntries(7, Tokyo()), u"14001");
  p.host.searching = true;
  p.panel.OnCommand(CChannelPanel::kListSearch);
  EXPECT_EQ(p.host.searches.size(), 1u) << "nothing while a search runs";
  p.host.searching = false;

  p.host.state.recording = true;
  p.prompter.answers = {PromptAnswer::No, PromptAnswer::Yes};
  p.panel.OnCommand(CChannelPanel::kListSearch);
  EXPECT_EQ(p.host.searches.size(), 1u) << "No keeps recording";
  EXPECT_EQ(p.List()->count(), 8);
  p.panel.OnCommand(CChannelPanel::kListSearch);
  ASSERT_EQ(p.host.searches.size(), 2u);
  EXPECT_EQ(p.host.searches[1].first, 3);
  EXPECT_EQ(p.host.recordingStops, 1);
  EXPECT_EQ(p.prompter.asked[0],
            QStringLiteral("チャンネルサーチを行うと録画が停止します。チャンネルサーチを行いますか？"));
  p.host.state.recording = false;

  p.panel.FillChannelList(ScanEntries(7, Tokyo()), u"14001");
  p.panel.StartSearch(2);  // command 1092: the list stays
  p.panel.StartSearch(1);
  p.panel.StartSearch(7);
  ASSERT_EQ(p.host.searches.size(), 4u);
  EXPECT_EQ(p.host.searches[2].first, 2);
  EXPECT_EQ(p.host.searches[3].first, 1);
  EXPECT_EQ(p.List()->count(), 0) << "the area search empties it";
  EXPECT_TRUE(p.panel.OnCommand(CChannelPanel::kSingleSearch));
  EXPECT_FALSE(p.panel.OnCommand(1050));
}

TEST(ChannelPanel, ALockMarkRepaintsItsRow) {
  Panel p(std::vector<FoundChannel>{{14}, {13, false}});
  const int row = p.RowOf(13);
  EXPECT_EQ(p.List()->item(row)->data(CChannelListBox::kAvailabilityRole).toInt(), 0);
  p.panel.SetChannelLock(13, 1);
  EXPECT_EQ(p.List()->item(row)->data(CChannelListBox::kAvailabilityRole).toInt(), 1);
  EXPECT_EQ(p.panel.Model().RecordOfChannel(13)->availability, 1);
  EXPECT_EQ(p.panel.GetCurrentChannelCode(u"No-Channel", [](int i) { return i == 13; }), u"13131");
}

TEST(ChannelPanel, ShowsDockedBesideTheMainWindowAndFollowsIt) {
  Panel p;
  p.panel.ToggleShow();
  Pump();
  EXPECT_EQ(p.panel.pos(), QPoint(446, 100)) << "first showing: right of the main window, tops aligned";
  EXPECT_TRUE(p.panel.Dock().docked);
  EXPECT_EQ(p.host.shownChanges, std::vector<bool>{true});
  EXPECT_FALSE(p.panel.windowFlags() & Qt::WindowStaysOnTopHint);

  p.host.main.moveTo(300, 60);
  p.panel.FollowMainWindow(p.host.main.topLeft());
  EXPECT_EQ(p.panel.pos(), QPoint(646, 60));

  QTest::mouseClick(p.panel.Button(CChannelPanel::kClose), Qt::LeftButton);
  EXPECT_FALSE(p.panel.isVisible());
  EXPECT_FALSE(p.panel.IsShown());
  EXPECT_EQ(p.host.closedByButton, 1);
  p.host.main.moveTo(200, 200);
  p.panel.ToggleShow();
  EXPECT_EQ(p.panel.pos(), QPoint(546, 200)) << "a docked panel comes back at its offset";

  // An undocked panel off the screen comes back at (100, 100).
  p.panel.ToggleShow();
  p.panel.Dock().docked = false;
  p.panel.Dock().position = {1900, 50};
  SetScreenSizeFunction([] { return QSize(1280, 1024); });
  p.panel.ToggleShow();
  EXPECT_EQ(p.panel.pos(), QPoint(100, 100));
  SetScreenSizeFunction({});
}

// A drag on the panel's bare surface, one mouse step at a time, in screen coordinates.
class Drag {
 public:
  Drag(QWidget& w, QPoint localPress) : w_(w), mouse_(w.mapToGlobal(localPress)) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(localPress), QPointF(mouse_), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w_, &press);
  }
  QPoint By(int dx, int dy) {
    mouse_ += QPoint(dx, dy);
    QMouseEvent move(QEvent::MouseMove, QPointF(w_.mapFromGlobal(mouse_)), QPointF(mouse_), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w_, &move);
    return w_.pos();
  }
  ~Drag() {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(w_.mapFromGlobal(mouse_)), QPointF(mouse_),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w_, &release);
  }

 private:
  QWidget& w_;
  QPoint mouse_;
};

TEST(ChannelPanel, ADragSnapsHoldsAndLetsGo) {
  Panel p;
  p.panel.ToggleShow();
  Pump();
  {
    Drag drag(p.panel, QPoint(100, 20));  // the title strip: no control there
    EXPECT_EQ(drag.By(200, 150), QPoint(646, 250)) << "free";
    EXPECT_FALSE(p.panel.Dock().docked);
    EXPECT_EQ(drag.By(-195, 0), QPoint(446, 250)) << "snaps onto the right edge";
    EXPECT_TRUE(p.panel.Dock().docked);
    p.panel.Dock().pullMain = {};
    EXPECT_EQ(drag.By(5, 0), QPoint(446, 250)) << "a pull of 5 holds";
    EXPECT_EQ(drag.By(6, 0), QPoint(457, 250)) << "11 lets go";
    EXPECT_FALSE(p.panel.Dock().docked);
    EXPECT_EQ(drag.By(-11, -146), QPoint(446, 100)) << "snaps again, tops aligned";
  }
  EXPECT_TRUE(p.panel.Dock().docked);

  // What a user sees: the panel docked on the main window's right.
  QImage desktop = Checkerboard(QSize(900, 560));
  {
    QPainter painter(&desktop);
    const QRect main = p.host.main.translated(-80, -60);
    painter.fillRect(main, QColor(40, 40, 48));
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(main.adjusted(0, 0, -1, -1));
    painter.drawText(main, Qt::AlignCenter, QStringLiteral("main window"));
    painter.setClipRegion(QRegion(p.panel.mask()).translated(p.panel.pos() - QPoint(80, 60)));
    painter.drawImage(p.panel.pos() - QPoint(80, 60), p.panel.grab().toImage());
  }
  SaveShot(desktop, "panels-docked.png");
}

}  // namespace
}  // namespace tevalo::panels
