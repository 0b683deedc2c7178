// The start's plain logic: the argument, the hand-over to a running player, the set-up and close
// orders, and the settings store over real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "player/shell/channel_code.h"
#include "player/shell/installation_check.h"
#include "player/shell/settings_store.h"
#include "player/shell/start_argument.h"
#include "player/shell/window_steps.h"

namespace tevalo::shell {
namespace {

namespace fs = std::filesystem;

// ---- the argument ----

TEST(StartArgumentTest, KindsOfTheFirstArgument) {
  struct Case {
    const char* arg;
    StartKind kind;
  } cases[] = {
      {nullptr, StartKind::kNone},       {"", StartKind::kNone},
      {"+tray", StartKind::kTray},       {"+x", StartKind::kExit},
      {"+rsv", StartKind::kReservation}, {"/home/u/番組.pl", StartKind::kFile},
      {"+RSV", StartKind::kFile},        {"+xx", StartKind::kFile},
  };
  for (const Case& c : cases) {
    const char* argv[] = {"tevalo", c.arg, nullptr};
    const StartArgument a = ParseStartArgument(c.arg ? 2 : 1, argv);
    EXPECT_EQ(a.kind, c.kind) << (c.arg ? c.arg : "(none)");
    if (c.arg) EXPECT_EQ(a.text, text::ToUtf16(c.arg));
  }
}

TEST(StartArgumentTest, CodeSixteenCarriesTheTextAndItsZeroInUtf16le) {
  const auto bytes = EncodeCopyDataText(u"/tmp/abc.pl");  // 11 characters
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes[0], '/');
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[22], 0);
  EXPECT_EQ(bytes[23], 0);
  const auto wide = EncodeCopyDataText(u"番");
  EXPECT_EQ(wide, (std::vector<uint8_t>{0x6A, 0x75, 0, 0}));
}

// ---- the hand-over ----

struct FakeFirstInstance {
  int windowAfter = 0;  // attempts before the window answers; -1 never
  int lockFreeAfter = -1;
  int attempts = 0;
  std::vector<std::string> calls;
  std::vector<std::vector<uint8_t>> sent;

  HandOverOps Ops() {
    HandOverOps ops;
    ops.findWindow = [this] {
      ++attempts;
      return windowAfter >= 0 && attempts > windowAfter;
    };
    ops.tryTakeLock = [this] { return lockFreeAfter >= 0 && attempts > lockFreeAfter; };
    ops.restore = [this] { calls.push_back("restore"); };
    ops.sendArgument = [this](const std::vector<uint8_t>& p) {
      calls.push_back("send");
      sent.push_back(p);
    };
    ops.waitStep = [this] { calls.push_back("wait"); };
    return ops;
  }
};

TEST(HandOverTest, NoArgumentRestoresAndSendsNothing) {
  FakeFirstInstance first;
  EXPECT_EQ(HandOverToRunningPlayer({}, first.Ops(), 100), HandOverResult::kHandedOver);
  EXPECT_EQ(first.calls, (std::vector<std::string>{"restore"}));
}

TEST(HandOverTest, APathIsSentAfterTheRestore) {
  FakeFirstInstance first;
  const StartArgument a{StartKind::kFile, u"/tmp/abc.pl"};
  EXPECT_EQ(HandOverToRunningPlayer(a, first.Ops(), 100), HandOverResult::kHandedOver);
  EXPECT_EQ(first.calls, (std::vector<std::string>{"restore", "send"}));
  ASSERT_EQ(first.sent.size(), 1u);
  EXPECT_EQ(first.sent[0].size(), 24u);
}

TEST(HandOverTest, DuringTheFirstOnesSplashItKeepsLookingUntilTheWindowAnswers) {
  FakeFirstInstance first;
  first.windowAfter = 30;
  const StartArgument a{StartKind::kFile, u"/tmp/abc.pl"};
  EXPECT_EQ(HandOverToRunningPlayer(a, first.Ops(), 100), HandOverResult::kHandedOver);
  EXPECT_EQ(std::count(first.calls.begin(), first.calls.end(), "wait"), 30);
  EXPECT_EQ(first.calls.back(), "send");
}

TEST(HandOverTest, AFirstOneThatDiedLeavesTheLockAndThisStartRuns) {
  FakeFirstInstance first;
  first.windowAfter = -1;
  first.lockFreeAfter = 3;
  EXPECT_EQ(HandOverToRunningPlayer({}, first.Ops(), 100), HandOverResult::kRunAsFirst);
  EXPECT_TRUE(first.sent.empty());
}

TEST(HandOverTest, GivesUpAfterItsAttempts) {
  FakeFirstInstance first;
  first.windowAfter = -1;
  EXPECT_EQ(HandOverToRunningPlayer({StartKind::kFile, u"a"}, first.Ops(), 100), HandOverResult::kNoWindow);
  EXPECT_EQ(first.attempts, 100);
  EXPECT_EQ(std::count(first.calls.begin(), first.calls.end(), "wait"), 99);
}

// ---- orders ----

std::vector<std::string_view> Names(const std::vector<InitStep>& steps) {
  std::vector<std::string_view> names;
  for (InitStep s : steps) names.push_back(StepName(s));
  return names;
}

size_t IndexOf(const std::vector<InitStep>& steps, InitStep step) {
  return std::find(steps.begin(), steps.end(), step) - steps.begin();
}

TEST(WindowStepsTest, AFileArgumentIsReadAfterTheSettingsAndBeforeTheTuner) {
  const auto steps = InitSteps(StartKind::kFile);
  EXPECT_LT(IndexOf(steps, InitStep::kLoadPaths), IndexOf(steps, InitStep::kLoadSettings));
  EXPECT_LT(IndexOf(steps, InitStep::kLoadSettings), IndexOf(steps, InitStep::kReadIepgArgument));
  EXPECT_EQ(IndexOf(steps, InitStep::kReadIepgArgument) + 1, IndexOf(steps, InitStep::kStartTuner));
  EXPECT_EQ(IndexOf(steps, InitStep::kStartTuner) + 1, IndexOf(steps, InitStep::kLoadReservations));
  EXPECT_LT(IndexOf(steps, InitStep::kStartStartupThread), IndexOf(steps, InitStep::kRegisterWindow));
}

TEST(WindowStepsTest, TheArgumentDecidesWhatRuns) {
  for (StartKind k : {StartKind::kNone, StartKind::kTray, StartKind::kReservation}) {
    const auto steps = InitSteps(k);
    EXPECT_EQ(IndexOf(steps, InitStep::kReadIepgArgument), steps.size());
    EXPECT_EQ(IndexOf(steps, InitStep::kTrayWait) < steps.size(), k == StartKind::kTray);
    EXPECT_EQ(steps.back(), InitStep::kPlaceWindowLast);
  }
  EXPECT_EQ(Names(InitSteps(StartKind::kExit)), (std::vector<std::string_view>{"BaseInit", "Quit"}));
}

TEST(WindowStepsTest, ClosingStopsThreadsBeforeWhatTheyUse) {
  std::vector<std::string_view> names;
  for (CloseStep s : CloseSteps()) names.push_back(StepName(s));
  EXPECT_EQ(names, (std::vector<std::string_view>{
                       "BeginClose", "StopStartupThread", "StopChannelSearch", "CloseMediaGraph",
                       "CloseStreamChannel", "ClearChannelEntries", "SaveSettings", "StopPlayback",
                       "DestroyPanels", "CloseTuner", "ReleaseScreenSaver", "EndClose"}));
}

// ---- settings ----

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tevalo-settings-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    file = text::ToUtf16((dir / "config.ini").string());
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& text) { std::ofstream(dir / "config.ini") << text; }
  std::string Read() {
    std::ifstream in(dir / "config.ini");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir;
  std::u16string file;
};

TEST_F(SettingsStoreTest, NoFileGivesTheDefaults) {
  const PlayerSettings s = ReadSettings(file, true);
  EXPECT_EQ(s.volume, 900);
  EXPECT_EQ(s.muted, 0);
  EXPECT_EQ(s.StartView(), 0);
  EXPECT_EQ(s.always, 0);
  EXPECT_EQ(s.areaIndex, -1);
  EXPECT_EQ(s.userPass, u"");
  EXPECT_FALSE(fs::exists(dir / "config.ini"));
}

TEST_F(SettingsStoreTest, StoredValuesAreBroughtIntoRange) {
  struct Case {
    const char* lines;
    int volume, area;
    const char16_t* pass;
  } cases[] = {
      {"VOLUME_POS=450\nAREA_NUM=13\nUSERPASS=[pw]\n", 450, 13, u"pw"},
      {"VOLUME_POS=5000\nAREA_NUM=47\nUSERPASS=x\n", 900, -1, u""},
      {"VOLUME_POS=-3\nAREA_NUM=-7\nUSERPASS=[]\n", 0, -1, u""},
      {"VOLUME_POS=loud\nAREA_NUM=0\n", 0, 0, u""},
      {"AREA_NUM=46\n", 900, 46, u""},
  };
  for (const Case& c : cases) {
    Write(std::string("[SETUP]\n") + c.lines);
    const PlayerSettings s = ReadSettings(file, true);
    EXPECT_EQ(s.volume, c.volume) << c.lines;
    EXPECT_EQ(s.areaIndex, c.area) << c.lines;
    EXPECT_EQ(s.userPass, c.pass) << c.lines;
  }
  Write("[SETUP]\nUSERPASS=[pw]\n");
  EXPECT_EQ(ReadSettings(file, false).userPass, u"");
}

TEST_F(SettingsStoreTest, StartViewFollowsStartViewLast) {
  Write("[SETUP]\nDEFAULT_VIEW=1\nLAST_VIEW=2\nSTART_VIEW_LAST=0\n");
  EXPECT_EQ(ReadSettings(file, false).StartView(), 1);
  Write("[SETUP]\nDEFAULT_VIEW=1\nLAST_VIEW=2\nSTART_VIEW_LAST=1\n");
  EXPECT_EQ(ReadSettings(file, false).StartView(), 2);
}

TEST_F(SettingsStoreTest, ClosingMutedSavesThePositionBeforeMutingAndKeepsOtherLines) {
  Write("[SETUP]\nUSERPASS=[pw]\n[DMBControl]\nCurrentChannel=20201\n");
  PlayerSettings s;
  s.volume = 0;
  s.muted = 1;
  s.areaIndex = 13;
  s.useTrayMode = 1;
  ASSERT_TRUE(WriteSettings(file, s, 640));
  const PlayerSettings back = ReadSettings(file, true);
  EXPECT_EQ(back.volume, 640);
  EXPECT_EQ(back.muted, 1);
  EXPECT_EQ(back.areaIndex, 13);
  EXPECT_EQ(back.useTrayMode, 1);
  EXPECT_EQ(back.userPass, u"pw");
  EXPECT_EQ(profile::ReadString(file, u"DMBControl", u"CurrentChannel", u""), u"20201");
}

TEST(StartSearchTest, KindAndAreaFromTheStoredAreaAndItsList) {
  int asked = -100;
  auto ask = [&](std::optional<int> answer) {
    return [&asked, answer](int pre) {
      asked = pre;
      return answer;
    };
  };
  auto list = [](bool enabled) { return [enabled](int) { return enabled; }; };
  // First start: the dialog with 7 preselected; its answer, or 7 when it ended without one.
  StartSearch s = DecideStartSearch(-1, ask(22), list(true));
  EXPECT_EQ(asked, 7);
  EXPECT_EQ(s.areaIndex, 22);
  EXPECT_TRUE(s.areaChosen);
  EXPECT_EQ(s.kind, SearchKind::kArea);
  s = DecideStartSearch(-1, ask(std::nullopt), list(false));
  EXPECT_EQ(s.areaIndex, 7);
  s = DecideStartSearch(-1, ask(99), list(false));
  EXPECT_EQ(s.areaIndex, 7);
  // A stored area never asks; its list decides the kind.
  asked = -100;
  s = DecideStartSearch(13, ask(1), list(false));
  EXPECT_EQ(asked, -100);
  EXPECT_EQ(s.areaIndex, 13);
  EXPECT_FALSE(s.areaChosen);
  EXPECT_EQ(s.kind, SearchKind::kArea);
  s = DecideStartSearch(13, ask(1), list(true));
  EXPECT_EQ(s.kind, SearchKind::kStoredList);
  s = DecideStartSearch(13, nullptr, nullptr);
  EXPECT_EQ(s.kind, SearchKind::kArea);
}

TEST_F(SettingsStoreTest, ChannelLocksReadAndWriteOnlyWhatIsKnown) {
  Write("[CHANNEL_LOCK]\n5_LOCK=1\n7_LOCK=yes\n9_LOCK=2\n49_LOCK=1\n50_LOCK=1\n");
  auto locks = ReadChannelLocks(file);
  EXPECT_EQ(locks[5], 1);
  EXPECT_EQ(locks[7], 0);
  EXPECT_EQ(locks[9], 1);
  EXPECT_EQ(locks[49], 1);
  EXPECT_EQ(std::count(locks.begin(), locks.end(), 1), 3);
  // A closed tuner knows nothing: the stored flags stay.
  ASSERT_TRUE(WriteChannelLocks(file, [](int n) -> std::optional<int> {
    if (n == 5) return std::nullopt;
    return n == 3 ? 1 : 0;
  }));
  locks = ReadChannelLocks(file);
  EXPECT_EQ(locks[5], 1);
  EXPECT_EQ(locks[3], 1);
  EXPECT_EQ(locks[49], 0);
}

TEST(LockIndexTest, OnlyTwoDigitsOfAChannelIndexMark) {
  struct Case {
    const char16_t* code;
    int index;
  } cases[] = {{u"14141", 14}, {u"05", 5}, {u"49999", 49},      {u"50000", -1}, {u"ab141", -1},
               {u"1x", -1},    {u"7", -1}, {u"No-Channel", -1}, {u" 5", -1}};
  for (const Case& c : cases) EXPECT_EQ(LockIndexOfCode(c.code), c.index) << text::ToUtf8(c.code);
}

// ---- the installation values ----

TEST(InstallationCheckTest, TheLiveSourceAndTheUserFolderAreNeeded) {
  const fs::path folder = fs::temp_directory_path() / ("tevalo-install-check-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string registry = (folder / "registry.ini").string();
  const char* const tevaloKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"User_Dir\"=\"/tmp/u/\"\n";
  const char* const source = "[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"halviksrc\"\n";
  struct Case {
    const char* content;  // nullptr: no file at all
    const char* missing;  // nullptr: complete
  } cases[] = {
      {nullptr, "x-dmb"},
      {"", "x-dmb"},
      {tevaloKey, "x-dmb"},
      {source, "User_Dir"},
      {"[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"\"\n", "x-dmb"},
  };
  const char* const saved = std::getenv("TEVALO_REGISTRY");
  const std::string savedValue = saved ? saved : "";
  ::setenv("TEVALO_REGISTRY", registry.c_str(), 1);
  for (const Case& c : cases) {
    fs::remove(registry);
    if (c.content) std::ofstream(registry) << c.content;
    const auto missing = MissingInstallation();
    ASSERT_TRUE(missing.has_value()) << (c.content ? c.content : "(no file)");
    EXPECT_NE(missing->find(c.missing), std::string::npos) << *missing;
    EXPECT_NE(missing->find(registry), std::string::npos) << *missing;
  }
  std::ofstream(registry) << tevaloKey << source;
  EXPECT_EQ(MissingInstallation(), std::nullopt);
  if (saved)
    ::setenv("TEVALO_REGISTRY", savedValue.c_str(), 1);
  else
    ::unsetenv("TEVALO_REGISTRY");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tevalo::shell
