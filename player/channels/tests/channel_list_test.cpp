#include "player/channels/channel_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/path/utf.h"
#include "test_folder.h"

namespace tevalo::channels {
namespace {

class ChannelListFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::FreshFolder("chlist");
    path_ = testing::ListFileIn(dir_);
  }
  void Put(const std::string& bytes) const { std::ofstream(dir_ + "/chlist.ini", std::ios::binary) << bytes; }
  std::string Get() const {
    std::ifstream in(dir_ + "/chlist.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::vector<int32_t> On(const CChannelList& list) { return list.GetEnabledIndices(); }

  std::string dir_;
  std::u16string path_;
};

TEST_F(ChannelListFile, AFreshListEnablesTheAreasPresetsUntilItIsSaved) {
  CChannelList list;
  EXPECT_EQ(list.ListName(), u"Channel List");
  EXPECT_EQ(list.Index(), -1);
  EXPECT_EQ(list.Load(), 0) << "no ini path";
  list.Reset(7, path_);
  EXPECT_EQ(list.ListName(), u"Channel List 7");
  ASSERT_EQ(list.Load(), 1);
  EXPECT_EQ(list.ListName(), u"チャンネルリスト 8");
  EXPECT_EQ(On(list), (std::vector<int32_t>{7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(list.GetEnabledCount(), 8);

  list.SetEnable(9, 0);
  list.SetEnable(30, 1);
  ASSERT_EQ(list.Save(), 1);
  const std::string file = Get();
  EXPECT_NE(file.find("[LIST7]\nLIST7_LISTNAME=チャンネルリスト 8\nLIST7_COUNT=1\nLIST7_CH0_ENABLE=0\n"),
            std::string::npos)
      << file;
  EXPECT_EQ(file.find("_NAME="), std::string::npos) << "empty names store no key";

  CChannelList again;
  again.Reset(7, path_);
  again.Load();
  EXPECT_EQ(On(again), (std::vector<int32_t>{7, 8, 10, 11, 12, 13, 14, 30})) << "stored flags only";
}

TEST_F(ChannelListFile, AreasWithoutPresetsLoadWithNothingOn) {
  for (int area : {-1, 47}) {
    CChannelList list;
    list.Reset(area, path_);
    ASSERT_EQ(list.Load(), 1);
    EXPECT_EQ(list.GetEnabledCount(), 0) << area;
    EXPECT_EQ(list.DisplayName(0), u"CH13");
    EXPECT_EQ(list.DisplayName(49), u"CH62");
  }
}

TEST_F(ChannelListFile, NamesStoredPresetOrUhfAndCutForTheTuner) {
  CChannelList list;
  list.Reset(7, path_);
  list.Load();
  list.SetEnable(0, 1);
  list.SetEnable(49, 1);
  list.SetName(8, std::u16string(60, u'あ'));
  list.SetName(50, u"out of range");
  list.SetName(-1, u"out of range");
  const auto names = list.GetEnabledNames();
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[0], u"CH13");
  EXPECT_EQ(names[1], u"ＭＸテレビ") << "channel index 7 is 東京's last station";
  EXPECT_EQ(names[2], std::u16string(49, u'あ'));
  EXPECT_EQ(names.back(), u"CH62");
  EXPECT_EQ(list.GetName(8).size(), 60u) << "the list keeps the whole name";
  EXPECT_EQ(list.GetName(50), u"");
  EXPECT_EQ(list.GetEnable(-1), 0);
  EXPECT_EQ(list.SetEnable(50, 1), 50);
  const SearchList search = list.GetSearchList();
  EXPECT_EQ(search.indices, list.GetEnabledIndices());
  EXPECT_EQ(search.names, names);

  EXPECT_EQ(PresetName(7, 14), u"ＮＨＫ総合");
  EXPECT_EQ(PresetName(7, 20), u"");
  EXPECT_EQ(PresetName(7, 50), u"");
  EXPECT_EQ(PresetName(47, 14), u"");
}

TEST_F(ChannelListFile, ACleanedNameDoesNotComeBackAndOtherSectionsStay) {
  Put("[LIST3]\nLIST3_COUNT=1\nLIST3_CH5_ENABLE=1\n[LIST7]\nLIST7_CH5_NAME=old\nLIST7_CH6_NAME=keep\n");
  CChannelList list;
  list.Reset(7, path_);
  list.Load();
  EXPECT_EQ(list.GetName(5), u"old");
  EXPECT_EQ(list.GetName(6), u"keep");
  list.SetName(5, u"");
  ASSERT_EQ(list.Save(), 1);
  CChannelList again;
  again.Reset(7, path_);
  again.Load();
  EXPECT_EQ(again.GetName(5), u"");
  EXPECT_EQ(again.GetName(6), u"keep");
  EXPECT_EQ(Get().rfind("[LIST3]\nLIST3_COUNT=1\nLIST3_CH5_ENABLE=1\n", 0), 0u);
  CChannelList other;
  other.Reset(3, path_);
  other.Load();
  EXPECT_EQ(On(other), std::vector<int32_t>{5});
}

TEST_F(ChannelListFile, ValuesAreReadAsThroughAHundredCharacterBuffer) {
  Put("[LIST7]\nLIST7_COUNT=1\nLIST7_LISTNAME=" + std::string(120, 'n') +
      "\nLIST7_CH2_NAME=" + std::string(120, 'x') + "\nLIST7_CH3_ENABLE=5\nLIST7_CH4_ENABLE=abc\n");
  CChannelList list;
  list.Reset(7, path_);
  list.Load();
  EXPECT_EQ(list.ListName().size(), 99u);
  EXPECT_EQ(list.GetName(2).size(), 99u);
  EXPECT_EQ(list.GetEnable(3), 5) << "any non-zero flag is on";
  EXPECT_EQ(list.GetEnable(4), 0);
  EXPECT_EQ(On(list), std::vector<int32_t>{3});
}

TEST_F(ChannelListFile, ASaveThatCannotWriteSaysSoAndLeavesTheFile) {
  CChannelList list;
  list.Reset(7, text::ToUtf16(dir_ + "/missing/chlist.ini"));
  EXPECT_EQ(list.Save(), 0);
  list.Reset(7);
  EXPECT_EQ(list.Save(), 0) << "no ini path";
}

TEST(ChannelList, CopyResetAndClear) {
  CChannelList a;
  a.Reset(7, u"/a/chlist.ini");
  a.SetName(3, u"three");
  a.SetEnable(3, 1);
  CChannelList b;
  b.Reset(9, u"/b/chlist.ini");
  b.CopyFrom(&a);
  EXPECT_EQ(b.GetName(3), u"three");
  EXPECT_EQ(b.GetEnable(3), 1);
  EXPECT_EQ(b.ListName(), u"Channel List 7");
  EXPECT_EQ(b.Index(), 9) << "index and path are not copied";
  EXPECT_EQ(b.IniPath(), u"/b/chlist.ini");
  b.CopyFrom(nullptr);
  EXPECT_EQ(b.GetName(3), u"three");
  b.ClearNames();
  EXPECT_EQ(b.GetName(3), u"");
  EXPECT_EQ(b.GetEnable(3), 1);
  b.Clear();
  EXPECT_EQ(b.GetEnabledCount(), 0);
  EXPECT_EQ(b.CopyFlags(), ChannelFlags{});
}

TEST(ChannelList, StatusesFollowTheListPositions) {
  ChannelFlags flags{};
  flags[14] = 1;
  flags[20] = 2;
  const SearchList list{{20, 14, 7, 60}, {u"a", u"b", u"c", u"d"}};
  EXPECT_EQ(StatusesOf(list, flags), (std::vector<int32_t>{2, 1, 0, 0}));
}

}  // namespace
}  // namespace tevalo::channels
