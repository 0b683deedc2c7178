// Tables of the updater's plain logic: version choice, installer names, progress texts and the
// progress bookkeeping; the FTP URL helpers.
#include <gtest/gtest.h>

#include "updater/ftp_client.h"
#include "updater/ftp_listing.h"
#include "updater/resources/updater_resources.h"
#include "updater/update_logic.h"

namespace tevalo::updater {
namespace {

class LogicTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallUpdaterResources(); }
};

TEST_F(LogicTest, ByteCounts) {
  const std::vector<std::pair<int64_t, QString>> cases = {
      {0, "0 Bytes"},         {1023, "1023 Bytes"}, {1024, "1.0 KB"},
      {1048575, "1024.0 KB"}, {1048576, "1.00 MB"}, {5000000000, "4768.37 MB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatByteCount(bytes), text) << bytes;
}

TEST_F(LogicTest, TimesLeft) {
  const std::vector<std::pair<int64_t, QString>> cases = {
      {0, "0 sec"},        {59, "59 sec"}, {60, "1 min"},
      {61, "1 min 1 sec"}, {120, "2 min"}, {3725, "62 min 5 sec"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatTimeLeft(seconds), text) << seconds;
}

TEST_F(LogicTest, Rates) {
  const std::vector<std::pair<double, QString>> cases = {
      {0.0, "0 Bytes/sec"},  {0.5, "512 Bytes/sec"}, {1.0, "1.00 KB/sec"},
      {5.25, "5.25 KB/sec"}, {12.6, "13 KB/sec"},    {1500.0, "1500 KB/sec"},
  };
  for (const auto& [rate, text] : cases) EXPECT_EQ(FormatTransferRate(rate), text) << rate;
}

TEST_F(LogicTest, BytesAndTimeAndCaption) {
  EXPECT_EQ(FormatBytesAndTimeLeft({61, 1024, 1048576}), "1 min 1 sec (1.0 KB of  1.00 MB copied)");
  EXPECT_EQ(FormatPercentCaption(37), "37% Update processing...");
}

TEST_F(LogicTest, NewestVersion) {
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"1.0.9", "1.0.10"}, "1.0.9"},  // plain order, not numeric
      {{"1.0.10", "1.0.9"}, "1.0.9"}, {{}, ""}, {{"1.0", "2.0", "10.0"}, "2.0"}, {{"b", "a", "b"}, "b"},
  };
  for (const auto& [list, newest] : cases)
    EXPECT_EQ(PickNewestVersion(list), newest) << list.join(',').toStdString();
}

TEST_F(LogicTest, NewestVersionTiesKeepTheFirst) {
  QStringList list{QString("1.0"), QString("1.0")};
  const QString first = list.front();
  EXPECT_EQ(PickNewestVersion(list).constData(),
            first.constData());  // the same string, not a copy of the second
}

TEST_F(LogicTest, CurrentOrNot) {
  struct Case {
    const char* newest;
    const char* installed;
    bool current;
  };
  const Case cases[] = {
      {"1.0.9", "1.0.9", true}, {"1.0.9", "1.0.0", false}, {"10.0", "2.0", true},  // plain order
      {"", "", true},           {"", "1.0", true},         {"1.0.9", "", false},   // no version installed
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsInstalledCurrent(c.newest, c.installed), c.current) << c.newest << " " << c.installed;
}

TEST_F(LogicTest, InstallerNames) {
  const std::vector<std::pair<QString, bool>> cases = {
      {"setup.run", true},
      {"セットアップ 1.0.run", true},
      {"..x", true},
      {".hidden", true},
      {"", false},
      {".", false},
      {"..", false},
      {"../x", false},
      {"a/b", false},
      {"a\\b", false},
      {"/abs", false},
      {QString("a\nb"), false},
      {QString("a\tb"), false},
      {QString("x") + QChar(0x7F), false},
  };
  for (const auto& [name, ok] : cases) EXPECT_EQ(IsAcceptableInstallerName(name), ok) << name.toStdString();
}

TEST_F(LogicTest, ProgressMeter) {
  ProgressMeter meter;
  meter.SetTotal(1000);
  meter.Start(5000);
  ProgressChange c = meter.Update(10, 5100);
  EXPECT_EQ(c.percent, 1);
  EXPECT_FALSE(c.rate);
  EXPECT_TRUE(meter.Update(19, 5200).Empty());  // still 1 %, within the second
  c = meter.Update(500, 6000);                  // exactly 1000 ms: no rate yet
  EXPECT_EQ(c.percent, 50);
  EXPECT_FALSE(c.rate);
  c = meter.Update(505, 6001);
  EXPECT_FALSE(c.percent);
  ASSERT_TRUE(c.rate);
  EXPECT_DOUBLE_EQ(*c.rate, 505.0 / 1001.0);
  ASSERT_TRUE(c.timeLeft);
  EXPECT_EQ(c.timeLeft->seconds, static_cast<int64_t>(1001.0 / 505.0 * 495.0 * 0.001));
  EXPECT_EQ(c.timeLeft->received, 505);
  EXPECT_EQ(c.timeLeft->total, 1000);
  EXPECT_TRUE(meter.Update(600, 7001).percent);  // 60 %, and 1000 ms since the rate: none
  c = meter.Update(700, 61001);                  // a minute after the start
  EXPECT_EQ(c.percent, 70);
  EXPECT_DOUBLE_EQ(*c.rate, 195.0 / 55000.0);
  EXPECT_EQ(c.timeLeft->seconds, 24);  // 56 s for 700 bytes, 300 bytes to go
  c = meter.Update(1000, 62100);
  EXPECT_EQ(c.percent, 100);
  EXPECT_EQ(c.timeLeft->seconds, 0);
}

TEST_F(LogicTest, ProgressMeterWithoutSizeAndAcrossTheTickWrap) {
  ProgressMeter meter;
  meter.SetTotal(0);  // unknown
  meter.Start(0xFFFFFF00u);
  EXPECT_TRUE(meter.Update(100, 0xFFFFFFF0u).Empty());
  const ProgressChange c = meter.Update(2048, 0x00000400u);  // 1280 ms later, past the wrap
  EXPECT_FALSE(c.percent);
  EXPECT_FALSE(c.timeLeft);
  ASSERT_TRUE(c.rate);
  EXPECT_DOUBLE_EQ(*c.rate, 2048.0 / 1280.0);
}

TEST_F(LogicTest, ReceivedBeyondTheTotalStaysAtOneHundred) {
  ProgressMeter meter;
  meter.SetTotal(100);
  meter.Start(0);
  EXPECT_EQ(meter.Update(150, 10).percent, 100);
}

TEST(FtpListing, UnixAndDosLines) {
  struct Case {
    const char* line;
    const char* name;  // nullptr: no entry
    bool directory;
  };
  const Case cases[] = {
      {"drwxr-xr-x   2 owner    group        4096 Jan 01 12:00 1.0.9", "1.0.9", true},
      {"-rw-r--r--   1 owner    group      262144 Dec 31  2023 setup 1.0.9.run", "setup 1.0.9.run", false},
      {"drwxr-xr-x 2 owner 4096 Jan 01 12:00 no group", "no group", true},
      {"lrwxrwxrwx   1 owner    group           9 Mar  3 09:15 latest -> 1.0.9", "latest", false},
      {"-rw-r--r--   1 owner    group         100 Jan 01 00:00 ../x", "../x", false},  // refused later
      {"-rw-r--r--   1 owner    group         100 jan 01 00:00 a/b", "a/b", false},
      {"-rw-r--r--   1 owner    group         100 Jan 01 00:00 インストーラ.run", "インストーラ.run", false},
      {"01-31-20  12:00PM       <DIR>          1.0.9", "1.0.9", true},
      {"02-01-2021  09:05AM              262144 setup.run", "setup.run", false},
      {"drwxr-xr-x   2 owner    group        4096 Jan 01 12:00 .", nullptr, false},
      {"drwxr-xr-x   2 owner    group        4096 Jan 01 12:00 ..", nullptr, false},
      {"-rw-r--r--   1 owner    group         100 Jan 01 00:00 ", nullptr, false},
      {"total 12", nullptr, false},
      {"", nullptr, false},
      {"-rw-r--r-- what is this", nullptr, false},
      {"01-31-20  12:00PM       <DIR>", nullptr, false},
  };
  for (const Case& c : cases) {
    const auto entries = ParseListing(std::string(c.line) + "\r\n");
    if (!c.name) {
      EXPECT_TRUE(entries.empty()) << c.line;
      continue;
    }
    ASSERT_EQ(entries.size(), 1u) << c.line;
    EXPECT_EQ(entries[0].name, c.name);
    EXPECT_EQ(entries[0].directory, c.directory) << c.line;
  }
}

TEST(FtpListing, KeepsTheServersOrder) {
  const auto entries = ParseListing(
      "total 3\n-rw-r--r-- 1 o g 5 Jan 01 00:00 b\ndrwxr-xr-x 2 o g 4096 Jan 01 00:00 a\n"
      "-rw-r--r-- 1 o g 5 Jan 01 00:00 c");  // the last line without its end
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "b");
  EXPECT_EQ(entries[1].name, "a");
  EXPECT_TRUE(entries[1].directory);
  EXPECT_EQ(entries[2].name, "c");
}

TEST(FtpUrls, ServerNames) {
  EXPECT_EQ(FtpServerName("update.example.org"), "update.example.org");
  EXPECT_EQ(FtpServerName("ftp://update.example.org/"), "update.example.org");
  EXPECT_EQ(FtpServerName("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(FtpServerName("http://update.example.org/"), std::nullopt);
  EXPECT_EQ(FtpServerName(""), std::nullopt);
  EXPECT_EQ(FtpServerName("bad host name"), std::nullopt);
}

TEST(FtpUrls, PathsAreAbsoluteAndEscaped) {
  const FtpAccount account{"127.0.0.1", 2121, "u", "p", false};
  EXPECT_EQ(FtpUrl(account, "/Update/1SEG/KANORU/"), "ftp://127.0.0.1:2121/%2FUpdate/1SEG/KANORU/");
  EXPECT_EQ(FtpUrl(account, "/Update/1SEG/KANORU/1.0.9/set up#1?.run"),
            "ftp://127.0.0.1:2121/%2FUpdate/1SEG/KANORU/1.0.9/set%20up%231%3F.run");
  EXPECT_EQ(FtpUrl(account, "/"), "ftp://127.0.0.1:2121/%2F");
  EXPECT_EQ(FtpUrl(FtpAccount{"::1", 21, "", "", false}, "/a"), "ftp://[::1]:21/%2Fa");
}

}  // namespace
}  // namespace tevalo::updater
