#include "player/panels/channel_panel_model.h"

#include <gtest/gtest.h>

#include "channel_fixtures.h"

namespace tevalo::panels {
namespace {

using testing::FoundChannel;
using testing::ScanEntries;
using testing::Tokyo;

TEST(ChannelPanelModel, RecordsAndRowsFromTheTunerTables) {
  // 13 is not found, 10 is excluded by the list flags, 20 carries no 1seg service.
  std::vector<FoundChannel> found = Tokyo();
  found[1].found = false;
  found.push_back({20, true, 0x12345678u});
  CChannelPanelModel model;
  model.Fill(ScanEntries(7, found, {10}), u"09031");
  ASSERT_EQ(model.Records().size(), 8u) << "every 1seg service has a record";
  ASSERT_EQ(model.RowCount(), 7) << "the excluded channel has no row";
  EXPECT_EQ(model.RowText(0), u"20    ＭＸテレビ") << "channel-index order, UHF = index + 13";
  EXPECT_EQ(model.RowText(6), u"27    ＮＨＫ総合");
  EXPECT_EQ(model.RowCode(6), u"14001");
  EXPECT_EQ(model.RowRecord(5)->availability, 0) << "13 was not found";
  EXPECT_EQ(model.RecordOfChannel(10)->availability, -1);
  EXPECT_EQ(model.RowOfChannel(10), -1);
  EXPECT_EQ(model.RowRecord(7), nullptr);
  EXPECT_EQ(model.Selected(), model.RowOfChannel(9)) << "the current channel's row";
  EXPECT_TRUE(model.NeedsScrollBar());
  EXPECT_EQ(model.ListWidth(), 252);

  model.Fill(ScanEntries(7, Tokyo(), {10, 11}), u"25251");
  EXPECT_EQ(model.RowCount(), 6);
  EXPECT_FALSE(model.NeedsScrollBar());
  EXPECT_EQ(model.ListWidth(), 261);
  EXPECT_EQ(model.Selected(), -1) << "the current channel is not listed";

  EXPECT_TRUE(model.SetAvailability(14, 0));
  EXPECT_EQ(model.RecordOfChannel(14)->availability, 0);
  EXPECT_FALSE(model.SetAvailability(10, 1)) << "an excluded channel stays excluded";
  EXPECT_FALSE(model.SetAvailability(30, 1));
}

TEST(ChannelPanelModel, ASingleSearchScansTheSelectedRowsOwnChannel) {
  // Rows: 7 8 9 11 12 13 14; 13 is not found, 10 is found but excluded, so the n-th found channel
  // is not row n's from row 3 on.
  std::vector<FoundChannel> found = Tokyo();
  found[1].found = false;
  CChannelPanelModel model;
  model.Fill(ScanEntries(7, found, {10}), u"No-Channel");
  struct Case {
    int row;
    int channel;
  };
  const Case cases[] = {
      {-1, 0},                   // no selection
      {0, 7},  {2, 9}, {3, 11},  // the third found channel would be the excluded 10
      {5, 13},                   // not found, still the row's channel
      {6, 14},
  };
  for (const Case& c : cases) {
    model.Select(c.row);
    EXPECT_EQ(model.SingleSearchChannel(), c.channel) << "row " << c.row;
  }

  // A record no scan filled has no tuner index; the tuner looks the row's channel up itself.
  found = Tokyo();
  found[3].tunerIndex = -1;  // channel 9
  model.Fill(ScanEntries(7, found), u"No-Channel");
  model.SelectChannel(9);
  EXPECT_EQ(model.RowRecord(model.Selected())->tunerIndex, -1);
  EXPECT_EQ(model.SingleSearchChannel(), 9);
}

TEST(ChannelPanelModel, SteppingSkipsWhatHasNoRowOrOtherCodesAndDoesNotWrap) {
  std::vector<FoundChannel> found = Tokyo();
  found[4].valid = 0;  // channel 8's code ends in 0
  CChannelPanelModel model;
  model.Fill(ScanEntries(7, found, {9}), u"07071");
  // Rows: 7, 8 (code ...0), 10, 11, 12, 13, 14.
  ASSERT_EQ(model.Selected(), 0);
  EXPECT_FALSE(model.SelectAdjacent(true, u"07071")) << "up on the first row";
  EXPECT_TRUE(model.SelectAdjacent(false, u"07071"));
  EXPECT_EQ(model.RowRecord(model.Selected())->channelIndex, 10) << "8 has another code suffix, 9 no row";
  model.SelectChannel(14);
  EXPECT_FALSE(model.SelectAdjacent(false, u"14001")) << "down on the last row";
  EXPECT_EQ(model.RowRecord(model.Selected())->channelIndex, 14);
  EXPECT_TRUE(model.SelectAdjacent(true, u"14001"));
  EXPECT_EQ(model.RowRecord(model.Selected())->channelIndex, 13);
  model.Select(-1);
  EXPECT_FALSE(model.SelectAdjacent(true, u"14001")) << "no selection";
}

TEST(ChannelPanelModel, TuningTheSelectedRow) {
  CChannelPanelModel model;
  model.Fill(ScanEntries(7, Tokyo()), u"14001");
  const int tuned = model.RowOfChannel(14), other = model.RowOfChannel(13);
  struct Case {
    int row;
    bool pick;  // the user's pick, or the panel's own tune (a step)
    bool recording, filePlayback;
    TuneDecision want;
  } cases[] = {
      {other, true, false, false, TuneDecision::Change},
      {tuned, true, false, false, TuneDecision::Nothing},  // the channel already tuned
      {tuned, true, false, true, TuneDecision::Change},    // ... except while a recording file plays
      {tuned, false, false, false, TuneDecision::Change},  // a step tunes anyway
      {other, true, true, false, TuneDecision::RefuseRecording},
      {other, false, true, false, TuneDecision::RefuseRecording},
      {tuned, true, true, false, TuneDecision::Nothing},
      {-1, true, false, false, TuneDecision::Nothing},
  };
  for (const auto& c : cases) {
    model.Select(c.row);
    const PlayerState state{
        .recording = c.recording, .filePlayback = c.filePlayback, .currentChannel = u"14001"};
    EXPECT_EQ(model.DecideTune(state, c.pick), c.want)
        << "row " << c.row << " pick " << c.pick << " rec " << c.recording << " file " << c.filePlayback;
  }
}

TEST(ChannelPanelModel, HistoryWalksTheUsersChanges) {
  CChannelPanelModel model;
  model.Fill(ScanEntries(7, Tokyo()), u"14001");
  EXPECT_EQ(model.HistoryPosition(), -1);
  EXPECT_FALSE(model.HistoryBack(u"14001"));
  EXPECT_FALSE(model.HistoryForward(u"14001"));
  for (const char16_t* code : {u"14001", u"13011", u"12021"}) model.PushHistory(code);
  ASSERT_EQ(model.HistoryPosition(), 2);

  auto back = model.HistoryBack(u"12021");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->code, u"13011");
  EXPECT_EQ(back->row, model.RowOfChannel(13));
  back = model.HistoryBack(u"13011");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->code, u"14001");
  EXPECT_FALSE(model.HistoryBack(u"14001")) << "at position 0";
  EXPECT_EQ(model.HistoryPosition(), 0);
  // The entry of the channel already tuned moves the position but tunes nothing.
  EXPECT_FALSE(model.HistoryForward(u"13011"));
  EXPECT_EQ(model.HistoryPosition(), 1);

  // A change after stepping back drops what followed.
  model.PushHistory(u"07071");
  EXPECT_EQ(model.History(), (std::vector<std::u16string>{u"14001", u"13011", u"07071"}));
  EXPECT_FALSE(model.HistoryForward(u"07071")) << "at the last entry";

  // An entry whose channel is no longer listed moves the position without tuning.
  model.PushHistory(u"33331");
  EXPECT_TRUE(model.HistoryBack(u"33331"));
  EXPECT_FALSE(model.HistoryForward(u"07071"));
  EXPECT_EQ(model.HistoryPosition(), 3);

  model.Fill(ScanEntries(7, Tokyo()), u"14001");
  EXPECT_TRUE(model.History().empty()) << "a refill empties the history";
  EXPECT_EQ(model.HistoryPosition(), -1);
}

TEST(ChannelPanelModel, WhatEachSearchDoesFirst) {
  struct Case {
    int kind;
    std::optional<SearchSteps> want;
  } cases[] = {
      {0, SearchSteps{true, true, true, true, true, true, false}},
      {1, SearchSteps{false, false, true, true, false, true, false}},
      {2, SearchSteps{}},
      {3, SearchSteps{true, true, true, true, true, true, true}},
      {4, std::nullopt},
      {-1, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(StepsForSearch(c.kind), c.want) << c.kind;
}

}  // namespace
}  // namespace tevalo::panels
