#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "channel_widgets_env.h"
#include "list_store.h"
#include "platform/path/utf.h"
#include "player/panels/area_select_dlg.h"
#include "player/panels/channel_list_dlg.h"
#include "tuner/wrapper/station_table.h"

namespace tevalo::panels {
namespace {

using testing::FakePrompter;
using testing::Pump;
using testing::SaveShot;

TEST(AreaSelectDlg, ListsTheAreasAndReturnsThePick) {
  CAreaSelectDlg dlg;
  dlg.m_nSelected = 7;
  dlg.OnInitDialog();
  ASSERT_EQ(dlg.AreaList()->count(), 47);
  for (int i = 0; i < 47; ++i)
    EXPECT_EQ(dlg.AreaList()->item(i)->text().toStdU16String(),
              StationTable::kAreaName[static_cast<size_t>(i)]);
  EXPECT_EQ(dlg.AreaList()->item(0)->text(), QStringLiteral("北海道"));
  EXPECT_EQ(dlg.AreaList()->item(46)->text(), QStringLiteral("沖縄"));
  EXPECT_EQ(dlg.AreaList()->currentRow(), 7);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("地域選択"));
  dlg.show();
  Pump();
  SaveShot(dlg.grab().toImage(), "area-dialog.png");

  dlg.AreaList()->setCurrentRow(24);
  QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(dlg.m_nSelected, 7) << "Cancel keeps the caller's index";

  dlg.show();
  dlg.AreaList()->setCurrentRow(24);
  QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_nSelected, 24);

  dlg.show();
  dlg.AreaList()->clearSelection();
  QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
  EXPECT_EQ(dlg.m_nSelected, -1) << "OK without a row";
  EXPECT_EQ(CAreaSelectDlg::FirstStartArea(true, -1), 7);
  EXPECT_EQ(CAreaSelectDlg::FirstStartArea(false, 24), 7);
  EXPECT_EQ(CAreaSelectDlg::FirstStartArea(true, 24), 24);
}

class Runner : public IChannelSearchRunner {
 public:
  void SearchEditedList(int area, const channels::SearchList& list, std::function<void()> finished) override {
    areas.push_back(area);
    lists.push_back(list);
    done = std::move(finished);
  }
  std::vector<int> areas;
  std::vector<channels::SearchList> lists;
  std::function<void()> done;
};

using testing::Store;

// An editor over a list file of the test's own, opened at Tokyo and shown.
class ChannelListDlgTest : public ::testing::Test {
 protected:
  std::unique_ptr<CChannelListDlg> Open(IChannelSearchRunner* runner = nullptr) {
    auto dlg = std::make_unique<CChannelListDlg>(store, prompter, runner);
    dlg->SetAreaIndex(7);
    dlg->OnInitDialog();
    dlg->show();
    Pump();
    return dlg;
  }
  std::u16string path_ = channels::testing::ListFileIn(channels::testing::FreshFolder("editor-dlg"));
  Store store{path_};
  FakePrompter prompter;
};

QTableWidgetItem* Row(CChannelListDlg& dlg, int row) { return dlg.ChannelList()->item(row, 0); }

void Rename(CChannelListDlg& dlg, int row, const QString& text) {
  QTableWidget* list = dlg.ChannelList();
  list->setCurrentCell(row, 0);
  list->editItem(list->item(row, 0));
  auto* editor = list->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(text);
  list->setFocus();  // leaving the editor ends the rename
  Pump();
}

TEST_F(ChannelListDlgTest, ShowsTheAreasListAndEditsIt) {
  auto owned = Open();
  CChannelListDlg& dlg = *owned;
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("チャンネルリストの設定"));
  EXPECT_EQ(dlg.AreaCombo()->count(), 47);
  EXPECT_EQ(dlg.AreaCombo()->currentText(), QStringLiteral("東京"));
  EXPECT_EQ(Row(dlg, 14)->text(), QStringLiteral("ＮＨＫ総合"));
  EXPECT_EQ(Row(dlg, 0)->text(), QStringLiteral("CH13"));
  EXPECT_EQ(dlg.ChannelList()->item(0, 1)->text(), QStringLiteral("13"));
  EXPECT_EQ(Row(dlg, 7)->checkState(), Qt::Checked);
  EXPECT_EQ(Row(dlg, 6)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(dlg.Editor().Saved());
  SaveShot(dlg.grab().toImage(), "channel-list-editor.png");

  Rename(dlg, 14, QStringLiteral("総合"));
  EXPECT_EQ(Row(dlg, 14)->text(), QStringLiteral("総合"));
  Rename(dlg, 13, QString());
  EXPECT_EQ(Row(dlg, 13)->text(), QStringLiteral("ＮＨＫ教育")) << "an empty name shows the default";
  Row(dlg, 30)->setCheckState(Qt::Checked);
  EXPECT_FALSE(dlg.Editor().Saved());

  // Escape and Enter neither close the dialog nor reach the list.
  QTest::keyClick(dlg.ChannelList(), Qt::Key_Escape);
  QTest::keyClick(dlg.ChannelList(), Qt::Key_Return);
  QTest::keyClick(&dlg, Qt::Key_Enter);
  EXPECT_TRUE(dlg.isVisible());

  QTest::mouseClick(dlg.Button(CChannelListDlg::kApplyButton), Qt::LeftButton);
  EXPECT_TRUE(dlg.Editor().Saved());
  const channels::CChannelList stored = store.Stored(7);
  EXPECT_EQ(stored.GetName(14), u"総合");
  EXPECT_EQ(stored.GetName(13), u"") << "the default name is not stored";
  EXPECT_EQ(stored.GetEnable(30), 1);
  EXPECT_EQ(dlg.ChannelList()->currentRow(), 0);
}

TEST_F(ChannelListDlgTest, ChangingTheAreaWithUnsavedChangesAsks) {
  auto owned = Open();
  CChannelListDlg& dlg = *owned;
  Row(dlg, 30)->setCheckState(Qt::Checked);

  prompter.answers = {PromptAnswer::Cancel};
  dlg.AreaCombo()->setCurrentIndex(0);
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0], QStringLiteral("リストが変更されました. セーブしますか"));
  EXPECT_EQ(prompter.titles[0], QStringLiteral("警告"));
  EXPECT_EQ(dlg.AreaCombo()->currentIndex(), 7) << "Cancel keeps the area";
  EXPECT_EQ(Row(dlg, 30)->checkState(), Qt::Checked) << "and the tick";
  EXPECT_EQ(dlg.AreaIndex(), 7);

  prompter.answers = {PromptAnswer::Yes};
  dlg.AreaCombo()->setCurrentIndex(0);
  EXPECT_EQ(dlg.AreaIndex(), 0);
  EXPECT_EQ(store.Stored(7).GetEnable(30), 1) << "Yes saved the old area";
  EXPECT_EQ(store.Stored(0).GetEnable(30), 0);
  EXPECT_EQ(store.loads.back(), 0);
  EXPECT_EQ(Row(dlg, 2)->text(), QStringLiteral("ＮＨＫ総合")) << "Hokkaido's list";
  EXPECT_EQ(Row(dlg, 30)->checkState(), Qt::Unchecked);

  Row(dlg, 33)->setCheckState(Qt::Checked);
  prompter.answers = {PromptAnswer::No};
  dlg.AreaCombo()->setCurrentIndex(7);
  EXPECT_EQ(dlg.AreaIndex(), 7);
  EXPECT_EQ(store.Stored(0).GetEnable(33), 0) << "No drops the change";
  EXPECT_EQ(Row(dlg, 30)->checkState(), Qt::Checked);

  dlg.AreaCombo()->setCurrentIndex(3);  // nothing unsaved: no question
  EXPECT_EQ(prompter.asked.size(), 3u);
  EXPECT_EQ(dlg.AreaIndex(), 3);
}

TEST_F(ChannelListDlgTest, OkSavesAndWaitsForTheSearchOfTheTickedChannels) {
  Runner runner;
  auto owned = Open(&runner);
  CChannelListDlg& dlg = *owned;
  for (int i = 7; i <= 14; ++i) Row(dlg, i)->setCheckState(i == 13 || i == 14 ? Qt::Checked : Qt::Unchecked);
  QTest::mouseClick(dlg.Button(1), Qt::LeftButton);
  ASSERT_EQ(runner.lists.size(), 1u);
  EXPECT_EQ(runner.areas[0], 7);
  EXPECT_EQ(runner.lists[0].indices, (std::vector<int32_t>{13, 14}));
  EXPECT_EQ(runner.lists[0].names, (std::vector<std::u16string>{u"ＮＨＫ教育", u"ＮＨＫ総合"}));
  EXPECT_EQ(store.Stored(7).GetEnabledIndices(), (std::vector<int32_t>{13, 14})) << "saved before the search";
  EXPECT_TRUE(dlg.Searching());
  EXPECT_TRUE(dlg.isVisible()) << "the dialog waits for the search";
  dlg.reject();
  EXPECT_TRUE(dlg.isVisible()) << "and cannot be cancelled meanwhile";
  runner.done();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);

  // OK with nothing ticked searches an empty list.
  auto second = Open(&runner);
  CChannelListDlg& empty = *second;
  for (int i = 0; i < CChannelListDlg::kRows; ++i) Row(empty, i)->setCheckState(Qt::Unchecked);
  empty.OnOK();
  ASSERT_EQ(runner.lists.size(), 2u);
  EXPECT_EQ(runner.lists[1].Count(), 0);
  runner.done();
  EXPECT_EQ(empty.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tevalo::panels
