// The channel panel joined to the main window: the area dialog of a first start, the panel's rows of
// the window's command table, the core's panel calls, docking and following the window's moves.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "platform/profile/profile.h"
#include "player/panels/area_select_dlg.h"
#include "player/panels/channel_list_box.h"
#include "player/panels/channel_panel.h"
#include "player/shell/window_features.h"
#include "window_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

std::filesystem::path ScreenshotFolder() { return ScreenshotDir("channels"); }

// The window with its features, started over a stored area.
CPlayerDlg& StartWithStoredArea(WindowUnderTest& w) {
  std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";
  CPlayerDlg& dlg = w.Make();
  AttachWindowFeatures(dlg);
  EXPECT_TRUE(dlg.OnInitDialog());
  return dlg;
}

// Answers the area dialog once it runs modally: a row picked (or none) and OK, or Cancel.
struct AreaAnswer {
  int row = -1;
  bool ok = true;
  const char* shot = nullptr;
};

void AnswerAreaDialog(const AreaAnswer& answer, bool* seen) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer, seen] {
    auto* dialog = qobject_cast<CAreaSelectDlg*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    *seen = true;
    if (answer.row >= 0) dialog->AreaList()->setCurrentRow(answer.row);
    if (answer.shot)
      dialog->grab().toImage().save(QString::fromStdString((ScreenshotFolder() / answer.shot).string()));
    QTest::mouseClick(answer.ok ? dialog->OkButton() : dialog->CancelButton(), Qt::LeftButton);
  });
  timer->start();
}

TEST(ChannelPanelWindow, AFirstStartAsksForTheAreaBeforeItSearches) {
  struct Case {
    AreaAnswer answer;
    int area;
  };
  const Case cases[] = {
      {{12, true, "area-dialog.png"}, 12},  // OK gives the pick
      {{-1, true}, 7},                      // OK without a row
      {{20, false}, 7},                     // Cancel
  };
  for (const Case& c : cases) {
    WindowUnderTest w("tevalo-first-area");
    CPlayerDlg& dlg = w.Make();
    AttachWindowFeatures(dlg);
    bool seen = false;
    AnswerAreaDialog(c.answer, &seen);
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_TRUE(seen) << c.area;
    EXPECT_EQ(dlg.Settings().areaIndex, c.area);
    EXPECT_EQ(dlg.m_bAreaChosen, 1);
    // The core searches the chosen area as a first start: the stored channel is forgotten.
    EXPECT_TRUE(dlg.Core().State().areaChosen);
    dlg.OnClose();
    EXPECT_EQ(profile::ReadString(w.options.core.configPath, u"SETUP", u"AREA_NUM", u""),
              text::ToUtf16(std::to_string(c.area)));
  }
}

TEST(ChannelPanelWindow, AStoredAreaWithAnEnabledListStartsTheStoredListSearch) {
  WindowUnderTest w("tevalo-stored-list");
  CPlayerDlg& dlg = StartWithStoredArea(w);
  EXPECT_EQ(dlg.m_bAreaChosen, 0);
  EXPECT_FALSE(dlg.Core().State().areaChosen);
  // A list never saved enables the area's stations, so the start searches the stored list.
  EXPECT_EQ(dlg.Core().ChannelList().GetEnabledIndices(),
            (std::vector<int32_t>{7, 8, 9, 10, 11, 12, 13, 14}));
  dlg.OnClose();
}

std::vector<ChannelEntry> Found() {
  std::vector<ChannelEntry> entries;
  const char16_t* names[] = {u"TOKYO MX", u"FUJI", u"NHK"};
  for (int i = 0; i < 3; ++i) {
    ChannelEntry e;
    e.index = 12 + i;
    e.name = names[i];
    e.scanOrder = 12 + i;
    e.valid = 1;
    e.serviceWord = 0xF1E00000u;
    e.availability = 1;
    e.tunerIndex = 12 + i;
    entries.push_back(e);
  }
  return entries;
}

TEST(ChannelPanelWindow, ThePanelDocksFollowsTheWindowAndTakesItsRowsFromTheTable) {
  WindowUnderTest w("tevalo-channel-panel");
  CPlayerDlg& dlg = StartWithStoredArea(w);
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  for (CommandId id : {1005u, 1013u, 1014u, 1092u, 1093u, 1094u, 32810u})
    EXPECT_TRUE(dlg.Commands().HasHandler(id)) << id;

  // The core's view calls reach the panel.
  dlg.RefreshChannelPanel(Found());
  auto* panel = dlg.findChild<CChannelPanel*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Model().RowCount(), 3);
  EXPECT_EQ(panel->ListBox()->count(), 3);
  dlg.ChannelLockChanged(13, false);
  EXPECT_EQ(panel->Model().RowRecord(1)->availability, 0);

  // Shown by the menu row: right of the main window, tops aligned, docked.
  EXPECT_EQ(dlg.OnCommand(32810), DispatchResult::Handled);
  ASSERT_TRUE(PumpUntil([&] { return panel->isVisible(); }));
  const QRect main = dlg.frameGeometry();
  EXPECT_EQ(panel->pos(), QPoint(main.x() + main.width(), main.y()));
  EXPECT_TRUE(panel->Dock().docked);
  // The screen around both windows, as users see them side by side.
  const QRect both = main.united(panel->frameGeometry()).adjusted(-8, -8, 8, 8);
  QImage screen(both.size(), QImage::Format_RGB32);
  screen.fill(QColor(0x3a, 0x6e, 0xa5));
  {
    QPainter p(&screen);
    for (QWidget* window : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(panel)}) {
      const QPoint at = window->frameGeometry().topLeft() - both.topLeft();
      p.save();
      if (!window->mask().isEmpty()) p.setClipRegion(window->mask().translated(at));
      p.drawPixmap(at, window->grab());
      p.restore();
    }
  }
  screen.save(QString::fromStdString((ScreenshotFolder() / "window-with-panel.png").string()));

  // The main window moves: the docked panel goes with it.
  dlg.move(dlg.pos() + QPoint(40, 30));
  const QPoint expected = QPoint(main.x() + main.width() + 40, main.y() + 30);
  ASSERT_TRUE(PumpUntil([&] { return panel->pos() == expected; }))
      << panel->pos().x() << "," << panel->pos().y();

  // Keys in the panel reach the window's key table: Ctrl+F is the full search, which forgets the
  // stored channel before it scans.
  QTest::keyClick(panel, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(profile::ReadString(w.options.core.configPath, u"DMBControl", u"CurrentChannel", u""),
            u"No-Channel");
  EXPECT_EQ(panel->Model().RowCount(), 0);  // the full search empties the list

  // The close row hides it; the hide call of a pulled stick leaves it hidden.
  EXPECT_EQ(dlg.OnCommand(1005), DispatchResult::Handled);
  EXPECT_FALSE(panel->IsShown());
  dlg.HideChannelPanel();
  EXPECT_FALSE(panel->IsShown());
  dlg.OnClose();
  EXPECT_EQ(dlg.findChild<CChannelPanel*>(), nullptr);
}

}  // namespace
}  // namespace tevalo::shell::test
