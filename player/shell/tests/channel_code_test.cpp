#include "player/shell/channel_code.h"

#include <gtest/gtest.h>

namespace tevalo::shell {
namespace {

TEST(ChannelCode, CodesAndTexts) {
  EXPECT_EQ(NormalizeChannelCode(u"5"), u"005");
  EXPECT_EQ(ChannelIndexOfCode(NormalizeChannelCode(u"5")), 0);
  EXPECT_EQ(NormalizeChannelCode(u"14141"), u"14141");
  EXPECT_EQ(NormalizeChannelCode(u""), u"");
  EXPECT_EQ(NormalizeChannelCode(u"1414"), u"001414");
  EXPECT_EQ(ChannelIndexOfCode(u"14141"), 14);
  EXPECT_EQ(ChannelIndexOfCode(u"x"), -1);
  EXPECT_EQ(ChannelIndexOfCode(u"ab141"), 0);
  for (const char16_t* named : {u"14141", u"005", u"99141"}) EXPECT_TRUE(IsDigitCode(named));
  for (const char16_t* none : {u"", u"5", u"ab141", u"No-Channel", u"1414x"}) EXPECT_FALSE(IsDigitCode(none));

  EXPECT_EQ(ChannelStripText(u"x-dmb://ch1"), u"チャンネル : CH1");
  EXPECT_EQ(ChannelStripText(u"x-dmb:/"), u"チャンネル : ");
  EXPECT_EQ(ChannelStripText(u"X-DMB://ch1"), u"X-DMB://ch1");  // exact case only
  EXPECT_EQ(ChannelStripText(u"録画"), u"録画");
  EXPECT_EQ(OpenedStripText(u"x-dmb://ch1"), u"チャンネル : CH1");
  EXPECT_EQ(OpenedStripText(u"/home/u/Record/ＮＨＫ総合_091205_2130.rec"), u"ＮＨＫ総合_091205_2130.rec");
  EXPECT_EQ(OpenedStripText(u"C:\\rec\\a.rec"), u"a.rec");
  EXPECT_EQ(OpenedStripText(u"a.rec"), u"a.rec");

  EXPECT_EQ(PathExtension(u"/a/b.rec"), u".rec");
  EXPECT_EQ(PathExtension(u"/a.d/b"), u"");
  EXPECT_EQ(PathExtension(u"C:\\x.y\\file.REC"), u".REC");
  EXPECT_TRUE(StartsWithNoCase(u"X-dmb://a", kDmbScheme));
  EXPECT_FALSE(StartsWith(u"X-dmb://a", kDmbScheme));

  ChannelEntry e;
  e.index = 14;
  e.scanOrder = 3;
  e.valid = 1;
  e.name = u"NHK総合";
  EXPECT_EQ(ChannelCodeOf(e), u"14031");
  EXPECT_EQ(ChannelUrlOf(e), u"x-dmb://nhk総合");
}

}  // namespace
}  // namespace tevalo::shell
