// Recording file names: channel, date and time, and the count that keeps them apart.
#include <gtest/gtest.h>

#include <set>

#include "player/shell/recording_name.h"
#include "player/shell/tests/local_time.h"

namespace tevalo::shell {
namespace {

using test::At;

TEST(RecordingName, ChannelDateAndTimeThenACountWhileTheNameIsTaken) {
  std::set<std::u16string> files;
  auto exists = [&](const std::u16string& p) { return files.count(p) != 0; };
  const std::tm t = At(2009, 12, 5, 21, 30);
  const std::u16string expect[] = {u"/rec/ＮＨＫ総合_091205_2130.rec", u"/rec/ＮＨＫ総合_091205_2130_0.rec",
                                   u"/rec/ＮＨＫ総合_091205_2130_1.rec"};
  for (const auto& e : expect) {
    const std::u16string path = MakeRecordPath(u"/rec", u"ＮＨＫ総合", t, exists);
    EXPECT_EQ(path, e);
    files.insert(path);
  }
  // A later start that finds _0 taken but the first free takes the first again.
  files.erase(expect[0]);
  EXPECT_EQ(MakeRecordPath(u"/rec/", u"ＮＨＫ総合", t, exists), expect[0]);
}

TEST(RecordingName, FoldersAndTimes) {
  struct Case {
    std::u16string folder;
    std::tm time;
    std::u16string path;
  };
  const Case cases[] = {
      {u"", At(2010, 1, 2, 3, 4), u"CH_100102_0304.rec"},  // the current folder
      {u"/srv/rec/", At(2000, 10, 31, 23, 59), u"/srv/rec/CH_001031_2359.rec"},
      {u"C:\\rec\\", At(2099, 7, 1, 0, 0), u"C:\\rec\\CH_990701_0000.rec"},  // a separator is kept
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeRecordPath(c.folder, u"CH", c.time, [](const std::u16string&) { return false; }), c.path);
}

}  // namespace
}  // namespace tevalo::shell
