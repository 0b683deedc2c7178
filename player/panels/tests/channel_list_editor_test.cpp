#include "player/panels/channel_list_editor.h"

#include <gtest/gtest.h>

#include "list_store.h"

namespace tevalo::panels {
namespace {

using testing::Store;

class ChannelListEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = channels::testing::ListFileIn(channels::testing::FreshFolder("editor")); }
  std::u16string path_;
};

TEST_F(ChannelListEditorTest, RowsShowStoredPresetOrUhfNames) {
  Store store(path_);
  store.list_.SetName(14, u"総合");
  CChannelListEditor editor(store);
  editor.Open(7);
  EXPECT_TRUE(editor.Saved());
  EXPECT_EQ(editor.RowText(14), u"総合");
  EXPECT_EQ(editor.RowText(13), u"ＮＨＫ教育");
  EXPECT_EQ(editor.RowText(0), u"CH13");
  EXPECT_EQ(editor.DefaultName(14), u"ＮＨＫ総合");
  EXPECT_TRUE(editor.RowTicked(7));
  EXPECT_FALSE(editor.RowTicked(0));
}

TEST_F(ChannelListEditorTest, RenamesStoreOnlyNamesThatDifferFromTheDefault) {
  Store store(path_);
  CChannelListEditor editor(store);
  editor.Open(7);
  struct Case {
    int row;
    std::optional<std::u16string> text;
    std::u16string shown, stored;
    bool unsaved;
  } cases[] = {
      {14, u"総合", u"総合", u"総合", true},
      {14, u"ＮＨＫ総合", u"ＮＨＫ総合", u"", true},  // back to the default: no name stored
      {0, u"", u"CH13", u"", true},                   // empty: the default name
      {13, u"", u"ＮＨＫ教育", u"", true},            // empty with a preset: the preset
  };
  for (const auto& c : cases) {
    editor.Open(7);
    EXPECT_EQ(editor.EndLabelEdit(c.row, c.text), c.shown);
    EXPECT_EQ(editor.RowText(c.row), c.shown);
    EXPECT_EQ(editor.Working().GetName(c.row), c.stored);
    EXPECT_EQ(!editor.Saved(), c.unsaved);
  }
  // A cancelled rename changes nothing.
  editor.Open(7);
  editor.EndLabelEdit(5, u"five");
  ASSERT_TRUE(editor.Apply());
  EXPECT_EQ(editor.EndLabelEdit(5, std::nullopt), u"five");
  EXPECT_EQ(editor.Working().GetName(5), u"five");
  EXPECT_TRUE(editor.Saved());
}

TEST_F(ChannelListEditorTest, TicksAndApplySaveTheCurrentListOnce) {
  Store store(path_);
  CChannelListEditor editor(store);
  editor.Open(7);
  editor.SetTicked(7, true);  // already ticked: nothing to save
  EXPECT_TRUE(editor.Saved());
  editor.SetTicked(7, false);
  editor.SetTicked(30, true);
  editor.EndLabelEdit(30, std::u16string(60, u'x'));
  EXPECT_FALSE(editor.Saved());
  ASSERT_TRUE(editor.Apply());
  EXPECT_TRUE(editor.Saved());
  const channels::CChannelList stored = store.Stored(7);
  EXPECT_EQ(stored.GetEnabledIndices(), (std::vector<int32_t>{8, 9, 10, 11, 12, 13, 14, 30}));
  EXPECT_EQ(stored.GetName(30), std::u16string(49, u'x')) << "names are cut to 49 characters";
  EXPECT_EQ(store.list_.GetEnabledCount(), 8) << "the current list took the working copy";
  const channels::SearchList search = editor.SearchList();
  EXPECT_EQ(search.indices, stored.GetEnabledIndices());
  EXPECT_EQ(search.names.back(), std::u16string(49, u'x'));
}

TEST_F(ChannelListEditorTest, SwitchingTheAreaLoadsItsOwnList) {
  Store store(path_);
  CChannelListEditor editor(store);
  editor.Open(7);
  editor.SetTicked(40, true);
  ASSERT_TRUE(editor.Apply());  // area 7 saved with 40 on
  editor.SwitchArea(0);
  EXPECT_EQ(store.loads.back(), 0);
  EXPECT_EQ(editor.Area(), 0);
  EXPECT_TRUE(editor.Saved());
  EXPECT_EQ(editor.RowText(2), u"ＮＨＫ総合") << "Hokkaido's presets";
  EXPECT_FALSE(editor.RowTicked(40));
  editor.SwitchArea(7);
  EXPECT_TRUE(editor.RowTicked(40)) << "each area keeps its own list";
}

TEST_F(ChannelListEditorTest, ASaveThatFailsStaysUnsaved) {
  Store store(path_ + u"/missing/chlist.ini");
  CChannelListEditor editor(store);
  editor.Open(7);
  editor.SetTicked(3, true);
  EXPECT_FALSE(editor.Apply());
  EXPECT_FALSE(editor.Saved());
}

}  // namespace
}  // namespace tevalo::panels
