// The channel panel joined to the main window: the area dialog of a first start, the panel's rows of
// the window's command table, the core's panel calls, docking and following the window's moves.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "modal_wait.h"
#include "platform/profile/profile.h"
#include "player/panels/area_select_dlg.h"
#include "player/panels/channel_list_box.h"
#include "player/panels/channel_list_dlg.h"
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
  OnModal<CAreaSelectDlg>([answer, seen](CAreaSelectDlg& dialog) {
    *seen = true;
    if (answer.row >= 0) dialog.AreaList()->setCurrentRow(answer.row);
    if (answer.shot)
      dialog.grab().toImage().save(QString::fromStdString((ScreenshotFolder() / answer.shot).string()));
    QTest::mouseClick(answer.ok ? dialog.OkButton() : dialog.CancelButton(), Qt::LeftButton);
  });
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

std::string ChannelListFile(const WindowUnderTest& w) { return (w.folder / "chlist.ini").string(); }

std::u16string Stored(const WindowUnderTest& w, const char* section, const char* key) {
  return profile::ReadString(text::ToUtf16(ChannelListFile(w)), text::ToUtf16(section), text::ToUtf16(key),
                             u"-");
}

TEST(ChannelPanelWindow, TheListEditorCommandRunsTheEditorAndItsAreaQuestionHasThreeAnswers) {
  WindowUnderTest w("tevalo-list-editor");
  CPlayerDlg& dlg = StartWithStoredArea(w);
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  ASSERT_EQ(dlg.Core().AreaIndex(), 7);
  // Each change of area with a tick not saved: Cancel, then No, then Yes.
  w.prompter.Answer(Prompt::Reply::kCancel);
  w.prompter.Answer(Prompt::Reply::kNo);
  w.prompter.Answer(Prompt::Reply::kYes);
  bool ran = false;
  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    ran = true;
    editor.grab().save(
        QString::fromStdString((ScreenshotFolder() / "channel-list-editor-window.png").string()));
    QTableWidgetItem* row0 = editor.ChannelList()->item(0, 0);
    const Qt::CheckState before = row0->checkState();
    const Qt::CheckState flipped = before == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    row0->setCheckState(flipped);
    editor.AreaCombo()->setCurrentIndex(12);  // Cancel: the area and the tick stay
    EXPECT_EQ(editor.AreaIndex(), 7);
    EXPECT_EQ(editor.AreaCombo()->currentIndex(), 7);
    EXPECT_EQ(row0->checkState(), flipped);
    editor.AreaCombo()->setCurrentIndex(12);  // No: area 12 without saving area 7's tick
    EXPECT_EQ(editor.AreaIndex(), 12);
    EXPECT_EQ(Stored(w, "LIST7", "LIST7_COUNT"), u"-");
    editor.ChannelList()->item(3, 0)->setCheckState(Qt::Checked);
    editor.AreaCombo()->setCurrentIndex(20);  // Yes: area 12's list saved first
    EXPECT_EQ(editor.AreaIndex(), 20);
    EXPECT_EQ(Stored(w, "LIST12", "LIST12_CH3_ENABLE"), u"1");
    editor.reject();
  });
  EXPECT_EQ(dlg.OnCommand(32871), DispatchResult::Handled);
  EXPECT_TRUE(ran);
  ASSERT_EQ(w.prompter.Asked().size(), 3u);
  EXPECT_EQ(w.prompter.Asked()[0].text, u"リストが変更されました. セーブしますか");
  EXPECT_EQ(w.prompter.Asked()[0].title, u"警告");
  EXPECT_EQ(w.prompter.Asked()[0].buttons, Prompt::Buttons::kYesNoCancel);
  // The editor's Cancel: the area in force before, its list as stored.
  EXPECT_EQ(dlg.Core().AreaIndex(), 7);
  EXPECT_EQ(dlg.Core().ChannelList().GetEnable(0), 0);
  EXPECT_EQ(dlg.Core().ChannelList().GetEnable(7), 1);
}

TEST(ChannelPanelWindow, TheEditorsOkSavesTheTicksAndForgetsTheStoredChannel) {
  WindowUnderTest w("tevalo-list-editor-ok");
  CPlayerDlg& dlg = StartWithStoredArea(w);
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  profile::WriteString(w.options.core.configPath, u"DMBControl", u"CurrentChannel", u"27271");
  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    for (int i = 0; i < CChannelListDlg::kRows; ++i)
      editor.ChannelList()->item(i, 0)->setCheckState(i == 13 ? Qt::Checked : Qt::Unchecked);
    QTest::mouseClick(editor.Button(1), Qt::LeftButton);
  });
  EXPECT_EQ(dlg.OnCommand(32871), DispatchResult::Handled);
  EXPECT_EQ(Stored(w, "LIST7", "LIST7_CH13_ENABLE"), u"1");
  EXPECT_EQ(Stored(w, "LIST7", "LIST7_CH14_ENABLE"), u"0");
  EXPECT_EQ(profile::ReadString(w.options.core.configPath, u"DMBControl", u"CurrentChannel", u""),
            u"No-Channel");
  EXPECT_EQ(dlg.Core().AreaIndex(), 7);
  EXPECT_FALSE(dlg.Core().State().searching);
}

TEST(ChannelPanelWindow, ClosingTheWindowAnswersAnOpenAreaQuestionAsCancel) {
  WindowUnderTest w("tevalo-list-editor-close");
  w.options.core.prompter = nullptr;  // the window's own message boxes
  CPlayerDlg& dlg = StartWithStoredArea(w);
  ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
  int comboArea = -1;  // the area the combo box shows once the question was answered
  QStringList buttons;
  OnModal<QMessageBox>([&](QMessageBox& box) {
    for (QAbstractButton* b : box.buttons()) buttons << b->text();
    box.grab().save(QString::fromStdString((ScreenshotFolder() / "area-question.png").string()));
    dlg.RequestClose();
  });
  OnModal<CChannelListDlg>([&](CChannelListDlg& editor) {
    QComboBox* combo = editor.AreaCombo();
    QObject::connect(combo, &QComboBox::currentIndexChanged,
                     [&comboArea, combo] { comboArea = combo->currentIndex(); });
    editor.ChannelList()->item(0, 0)->setCheckState(Qt::Unchecked);
    editor.ChannelList()->item(1, 0)->setCheckState(Qt::Checked);
    editor.AreaCombo()->setCurrentIndex(12);
  });
  EXPECT_EQ(dlg.OnCommand(32871), DispatchResult::Handled);
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"いいえ(&N)", "はい(&Y)", "キャンセル"}));
  // Cancel puts the combo box back; nothing was saved; the closing goes on.
  EXPECT_EQ(comboArea, 7);
  EXPECT_EQ(Stored(w, "LIST7", "LIST7_COUNT"), u"-");
  EXPECT_EQ(dlg.Core().AreaIndex(), 7);
  EXPECT_TRUE(PumpUntil([&] { return Position(w.Log(), "EndClose") >= 0; }));
}

}  // namespace
}  // namespace tevalo::shell::test
