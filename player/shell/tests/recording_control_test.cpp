// Recording control: refusals, the free-space rule, names reserved in the folder, the messages a
// filter-side reader gets, and the question before a reservation's recording stops.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "ipc/filter_protocol.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/path/path.h"
#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "player/pipeline/channel_sink.h"
#include "player/shell/recording_control.h"
#include "player/shell/recording_name.h"
#include "player/shell/tests/local_time.h"

namespace tevalo::shell {
namespace {

namespace fs = std::filesystem;

using test::At;

std::u16string U16(const fs::path& p) { return tevalo::text::ToUtf16(p.string()); }
std::string Native(const std::u16string& p) { return tevalo::path::NativeUtf8(p); }

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tevalo-rec-XXXXXX";
    m_path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

constexpr uint64_t kMB = 1 << 20;
FreeSpaceProbe Plenty() {
  return [](const std::string&) { return std::optional<uint64_t>(1000 * kMB); };
}

struct FakeHost : IRecordingHost {
  bool Ask(const Prompt& p) override {
    log.push_back("ask " + tevalo::text::ToUtf8(p.text));
    return answer;
  }
  void ShowStatus(const std::u16string& text, int ticks) override {
    log.push_back("status " + tevalo::text::ToUtf8(text) + " " + std::to_string(ticks));
  }
  void StopReservationTimer() override { log.push_back("stop 106"); }
  void WriteFileNameSetting(const std::u16string& path) override {
    if (!configPath.empty()) profile::WriteString(configPath, u"RECControl", u"FileName", path);
    log.push_back("FileName");
  }
  bool WriteRecordMessage(bool start) override {
    log.push_back(start ? "264 start" : "264 stop");
    return sink ? sink->WriteRecord(start) : written;
  }
  void ShowRecording(bool on) override { log.push_back(on ? "REC on" : "REC off"); }
  void ReservedRecordingEnded() override { log.push_back("reservation ended"); }

  std::vector<std::string> log;
  bool answer = false;
  bool written = true;
  std::u16string configPath;
  pipeline::CChannelSink* sink = nullptr;
};

RecordingRequest Live(const std::u16string& folder, const std::u16string& name = u"ＮＨＫ総合") {
  RecordingRequest r;
  r.formatsKnown = true;
  r.levelBars = 3;
  r.folder = folder;
  r.channelName = name;
  r.local = At(2009, 12, 5, 21, 30);
  return r;
}

TEST(RecordingNames, CountUpUntilFreeAndNeverTakeAnExistingFile) {
  TempDir dir;
  const std::u16string folder = U16(dir.path());
  const std::tm t = At(2009, 12, 5, 21, 30);
  const std::u16string expect[] = {u"ＮＨＫ総合_091205_2130.rec", u"ＮＨＫ総合_091205_2130_0.rec",
                                   u"ＮＨＫ総合_091205_2130_1.rec"};
  for (const auto& e : expect) EXPECT_EQ(ReserveRecordName(folder, u"ＮＨＫ総合", t).path, folder + u"/" + e);

  // A restart that finds the first and _0 taken (the count is not remembered) takes _1.
  TempDir again;
  for (const char16_t* taken : {u"ＮＨＫ総合_091205_2130.rec", u"ＮＨＫ総合_091205_2130_0.rec"})
    std::ofstream(Native(U16(again.path()) + u"/" + taken)) << "old";
  const auto next = ReserveRecordName(U16(again.path()), u"ＮＨＫ総合", t);
  EXPECT_EQ(next.path, U16(again.path()) + u"/ＮＨＫ総合_091205_2130_1.rec");
  std::ifstream kept(Native(U16(again.path()) + u"/ＮＨＫ総合_091205_2130_0.rec"));
  std::string content;
  kept >> content;
  EXPECT_EQ(content, "old");
}

TEST(RecordingNames, FoldersAndChannelNames) {
  TempDir dir;
  const std::u16string base = U16(dir.path());
  struct Case {
    std::u16string folder, channel, file;
  };
  const Case cases[] = {
      // A folder with ".rec" in it is made with its parents and never cut.
      {base + u"/a/my.rec.d", u"ＮＨＫ総合", base + u"/a/my.rec.d/ＮＨＫ総合_091205_2130.rec"},
      {base + u"/a/my.rec.d", u"ＮＨＫ総合", base + u"/a/my.rec.d/ＮＨＫ総合_091205_2130_0.rec"},
      // Separators in a station name stay in the name.
      {base, u"A/B\\C", base + u"/A_B_C_091205_2130.rec"},
      {base + u"/", std::u16string(u"X\0Y", 3), base + u"/X_Y_091205_2130.rec"},
  };
  for (const auto& c : cases) {
    const auto r = ReserveRecordName(c.folder, c.channel, At(2009, 12, 5, 21, 30));
    EXPECT_EQ(r.path, c.file);
    EXPECT_TRUE(fs::is_regular_file(Native(c.file)));
  }
  // Under a file no folder can be made: nothing is reserved and the reason is kept.
  std::ofstream(dir.path() / "plain") << "x";
  const auto bad = ReserveRecordName(base + u"/plain/sub", u"CH", At(2009, 12, 5, 21, 30));
  EXPECT_TRUE(bad.path.empty());
  EXPECT_NE(bad.error, 0);
}

TEST(RecordingSpace, MoreThanTwoHundredWholeMegabytes) {
  struct Case {
    std::optional<uint64_t> bytes;
    SpaceCheck result;
  };
  const Case cases[] = {
      {200 * kMB, SpaceCheck::kShort}, {201 * kMB - 1, SpaceCheck::kShort},  {201 * kMB, SpaceCheck::kEnough},
      {0, SpaceCheck::kShort},         {std::nullopt, SpaceCheck::kUnknown},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckDiskSpace(u"/x", [&](const std::string&) { return c.bytes; }), c.result);
}

TEST(RecordingSpace, ProbesTheNearestExistingFolder) {
  TempDir dir;
  EXPECT_EQ(NearestExistingFolder(""), ".");
  EXPECT_EQ(NearestExistingFolder(dir.path().string()), dir.path().string());
  EXPECT_EQ(NearestExistingFolder((dir.path() / "not" / "yet").string()), dir.path().string());
  std::string probed;
  CheckDiskSpace(U16(dir.path() / "later"), [&](const std::string& f) {
    probed = f;
    return StatvfsFreeBytes(f);
  });
  EXPECT_EQ(probed, dir.path().string());
  EXPECT_TRUE(StatvfsFreeBytes(dir.path().string()).has_value());
  EXPECT_FALSE(StatvfsFreeBytes((dir.path() / "none").string()).has_value());
}

TEST(RecordingStartStop, RefusalsWriteNothing) {
  TempDir dir;
  struct Case {
    const char* what;
    std::function<void(RecordingRequest&)> change;
    RecordingStart result;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"a file is open", [](RecordingRequest& r) { r.notLiveMedia = true; }, RecordingStart::kRefused, {}},
      {"no signal", [](RecordingRequest& r) { r.levelBars = 0; }, RecordingStart::kRefused, {}},
      {"no headers yet", [](RecordingRequest& r) { r.formatsKnown = false; }, RecordingStart::kRefused, {}},
      {"timeshift",
       [](RecordingRequest& r) { r.timeshift = true; },
       RecordingStart::kTimeshift,
       {"ask タイムシフト中には録画ができません。"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    CRecordingControl control(host, Plenty());
    RecordingRequest r = Live(U16(dir.path()));
    c.change(r);
    EXPECT_EQ(control.Start(r), c.result);
    EXPECT_EQ(host.log, c.log);
    EXPECT_FALSE(control.Recording());
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(RecordingStartStop, ShortDiskAndUnwritableFolderSaySoAndStayIdle) {
  TempDir dir;
  FakeHost host;
  CRecordingControl exact(host, [](const std::string&) { return std::optional<uint64_t>(200 * kMB); });
  EXPECT_EQ(exact.Start(Live(U16(dir.path()))), RecordingStart::kDiskShort);
  EXPECT_EQ(host.log, (std::vector<std::string>{"stop 106", "status ディスク容量が不足しています。 200"}));

  host.log.clear();
  CRecordingControl unknown(host, [](const std::string&) { return std::nullopt; });
  EXPECT_EQ(unknown.Start(Live(U16(dir.path()))), RecordingStart::kDiskShort);
  EXPECT_TRUE(host.log.empty());

  host.log.clear();
  std::ofstream(dir.path() / "plain") << "x";
  CRecordingControl blocked(host, Plenty());
  EXPECT_EQ(blocked.Start(Live(U16(dir.path() / "plain" / "rec"))), RecordingStart::kFolderUnwritable);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0].rfind("status 録画フォルダに書き込めません。", 0), 0u);
  EXPECT_FALSE(blocked.Recording());
}

TEST(RecordingStartStop, AStartTheFilterDidNotTakeLeavesNoFileAndNoState) {
  TempDir dir;
  FakeHost host;
  host.written = false;
  CRecordingControl control(host, Plenty());
  EXPECT_EQ(control.Start(Live(U16(dir.path()))), RecordingStart::kNotSent);
  EXPECT_EQ(host.log, (std::vector<std::string>{"FileName", "264 start"}));
  EXPECT_FALSE(control.Recording());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(RecordingStartStop, TheReaderGetsTheStartAfterTheNameAndTheStopAfterIt) {
  TempDir dir;
  const std::u16string config = U16(dir.path() / "config.ini");
  const std::string channel = "tevalo-rec-test-" + std::to_string(::getpid());
  CSharedMemoryIpc filter(IpcRole::Filter, channel);
  ASSERT_TRUE(filter.Usable());
  pipeline::CChannelSink sink(channel);
  ASSERT_TRUE(sink.Connect());
  ASSERT_EQ(filter.Connect(), 1);

  struct Seen {
    int32_t type, length, argument;
    std::u16string fileName;  // [RECControl] "FileName" when the message arrived
  };
  std::mutex lock;
  std::vector<Seen> seen;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    IpcIncoming msg;
    while (!stop) {
      if (ReadIpcMessage(filter, msg, 20) != IpcReadResult::Message) continue;
      std::lock_guard g(lock);
      seen.push_back({msg.header.type, msg.header.length, msg.argument,
                      profile::ReadString(config, u"RECControl", u"FileName", u"")});
    }
  });

  FakeHost host;
  host.configPath = config;
  host.sink = &sink;
  CRecordingControl control(host, Plenty());
  ASSERT_EQ(control.Start(Live(U16(dir.path() / "rec"))), RecordingStart::kStarted);
  EXPECT_TRUE(control.Recording());
  EXPECT_EQ(control.Path(), U16(dir.path() / "rec") + u"/ＮＨＫ総合_091205_2130.rec");
  EXPECT_TRUE(control.Stop(true, false));  // the user's own recording stops without asking
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard g(lock);
      if (seen.size() >= 2) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop = true;
  reader.join();

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ((std::vector<int32_t>{seen[0].type, seen[0].length, seen[0].argument}),
            (std::vector<int32_t>{264, 12, 1}));
  EXPECT_EQ(seen[0].fileName, control.Path());
  EXPECT_EQ((std::vector<int32_t>{seen[1].type, seen[1].length, seen[1].argument}),
            (std::vector<int32_t>{264, 12, 2}));
  EXPECT_EQ(host.log, (std::vector<std::string>{"FileName", "264 start", "REC on", "264 stop", "REC off"}));
}

TEST(RecordingStartStop, AReservationsStopAsksUnlessClosing) {
  TempDir dir;
  struct Case {
    const char* what;
    bool reserved, ask, closing, answer;
    bool stopped;
    bool asked;
  };
  const Case cases[] = {
      {"stop button, No", true, true, false, false, false, true},
      {"stop button, Yes", true, true, false, true, true, true},
      {"closing", true, true, true, false, true, false},
      {"channel change", true, false, false, false, true, false},
      {"the user's own", false, true, false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.answer = c.answer;
    CRecordingControl control(host, Plenty());
    ASSERT_EQ(control.Start(Live(U16(dir.path()))), RecordingStart::kStarted);
    control.SetReserved(c.reserved);
    host.log.clear();
    EXPECT_EQ(control.Stop(c.ask, c.closing), c.stopped);
    EXPECT_EQ(control.Recording(), !c.stopped);
    EXPECT_EQ(!host.log.empty() && host.log[0].rfind("ask ", 0) == 0, c.asked);
    const bool sentStop = std::find(host.log.begin(), host.log.end(), "264 stop") != host.log.end();
    EXPECT_EQ(sentStop, c.stopped);
    if (c.stopped && c.reserved) {
      EXPECT_EQ(host.log.back(), "reservation ended");
    }
  }
}

TEST(RecordingClock, CountsElapsedSecondsAndStandsStillWithoutSignal) {
  CRecordingClock clock;
  clock.Start(5000);
  struct Step {
    uint64_t tick;
    int bars;
    std::optional<std::u16string> shown;
  };
  const Step steps[] = {
      {5500, 3, std::nullopt},
      {6000, 3, u"00:00:01"},
      {7000, 3, u"00:00:02"},
      {8000, 0, std::nullopt},
      {9000, 0, std::nullopt},
      {10000, 2, u"00:00:03"},
      {5000 + 3723000 + 2000, 4, u"01:02:03"},
  };
  for (const auto& s : steps) EXPECT_EQ(clock.Tick(s.tick, s.bars), s.shown) << s.tick;
}

}  // namespace
}  // namespace tevalo::shell
