#include "tuner/device/isdbt_dll.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tuner/device/device_paths.h"
#include "tuner/device/testing/fake_stick.h"
#include "tuner/device/testing/wait_for.h"

using testing_support::Command;
using testing_support::FakePacketNumber;
using testing_support::FakeStick;
using Clock = std::chrono::steady_clock;
using testing_support::MsSince;
using testing_support::WaitFor;

namespace {

// Each test gets its own device root, so sticks of one test never show up in another.
class QuondaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::signal(SIGPIPE, SIG_DFL);  // a write to a vanished stick must not kill us anyway
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    root = std::string(runtime ? runtime : "/tmp") + "/devroot-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    ::setenv("TEVALO_DEVICE_ROOT", root.c_str(), 1);
    classFolder = quonda::InterfaceClassFolder();
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  std::unique_ptr<FakeStick> Plug(const std::string& name = "stick0") {
    return std::make_unique<FakeStick>(classFolder, name);
  }

  std::string root;
  std::string classFolder;
};

}  // namespace

TEST_F(QuondaTest, WithoutStickEveryExchangeFails) {
  CISDBTDll dev;
  EXPECT_EQ(dev.Ostrel_IsUSB(), 1);
  EXPECT_EQ(dev.Ostrel_Open(), 2);
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  EXPECT_EQ(dev.Ostrel_Reset(), 2);
  EXPECT_EQ(dev.Ostrel_SearchChannel(0), 2);
  EXPECT_EQ(dev.Ostrel_SelectChannel(0), 2);
  unsigned char status = 77;
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(0, &status), 2);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dev.Ostrel_StartTS(), 2);
  EXPECT_EQ(dev.Ostrel_StopTS(), 2);
  EXPECT_EQ(dev.Ostrel_Close(), 2);
  unsigned char buf[1128];
  unsigned long got = 9;
  EXPECT_EQ(dev.Ostrel_GetTS(buf, sizeof buf, &got, 0), 5);
  EXPECT_EQ(got, 0u);
}

TEST_F(QuondaTest, FolderWithoutDriverIsNoStick) {
  // Pipes left behind with nobody serving them, and a folder without pipes.
  std::filesystem::create_directories(classFolder + "/dead");
  ::mkfifo((classFolder + "/dead/PIPE00").c_str(), 0600);
  ::mkfifo((classFolder + "/dead/PIPE01").c_str(), 0600);
  std::filesystem::create_directories(classFolder + "/empty");
  CISDBTDll dev;
  EXPECT_EQ(dev.Ostrel_IsUSB(), 1);
  EXPECT_EQ(dev.Ostrel_Open(), 2);

  // A live stick after the dead ones is still found.
  auto stick = Plug("zlive");
  EXPECT_EQ(dev.Ostrel_IsUSB(), 0);
  EXPECT_EQ(dev.Ostrel_Open(), 0);
}

TEST_F(QuondaTest, CommandsCarryCodeAndUhfChannel) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_IsUSB(), 0);
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  stick->ClearCommands();

  unsigned char status = 0;
  struct Case {
    std::function<int()> call;
    Command sent;
  } cases[] = {
      {[&] { return dev.Ostrel_Init(); }, {2, 0, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_Reset(); }, {3, 0, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_SearchChannel(0); }, {4, 13, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_SearchChannel(49); }, {4, 62, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_SelectChannel(14); }, {5, 27, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_ReadChannelStatus(1, &status); }, {6, 14, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_StopTS(); }, {9, 0, 0, 0, 0, 0}},
      {[&] { return dev.Ostrel_Close(); }, {1, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    stick->ClearCommands();
    EXPECT_EQ(c.call(), 0) << int(c.sent[0]);
    auto log = stick->Commands();
    ASSERT_EQ(log.size(), 1u) << int(c.sent[0]);
    EXPECT_EQ(log[0], c.sent);
  }
  // After Close nothing reaches the stick any more.
  stick->ClearCommands();
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  EXPECT_TRUE(stick->Commands().empty());
}

TEST_F(QuondaTest, SearchStatusComesFromReplyByteOne) {
  auto stick = Plug();
  stick->SetChannel(20, {true, 2});
  stick->SetChannel(21, {false, 0});
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  unsigned char status = 0;
  ASSERT_EQ(dev.Ostrel_SearchChannel(7), 0);
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(7, &status), 0);
  EXPECT_EQ(status, 2);  // still searching
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(7, &status), 0);
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(7, &status), 0);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(dev.Ostrel_SearchChannel(8), 0);
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(8, &status), 0);
  EXPECT_EQ(status, 0);
}

TEST_F(QuondaTest, MissingOrWrongReplyFails) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);

  stick->SetWrongReply(2, true);
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  stick->SetWrongReply(2, false);

  stick->SetWrongReply(6, true);
  unsigned char status = 9;
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(3, &status), 2);
  EXPECT_EQ(status, 0);
  stick->SetWrongReply(6, false);

  stick->SetSilent(3, true);
  auto start = Clock::now();
  EXPECT_EQ(dev.Ostrel_Reset(), 2);
  EXPECT_GE(MsSince(start), CISDBTDll::kTransferTimeoutMs - 50);  // its time was given
  stick->SetSilent(3, false);
  EXPECT_EQ(dev.Ostrel_Reset(), 0);
}

TEST_F(QuondaTest, LateOrDoubledReplyIsNotTakenForTheNext) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);

  stick->SetExtraReply(2, true);
  EXPECT_EQ(dev.Ostrel_Init(), 0);
  EXPECT_EQ(dev.Ostrel_Reset(), 0);  // the second "16" is gone before the reset goes out
  stick->SetExtraReply(2, false);

  stick->SetReplyDelayMs(2, 1200);
  const std::size_t answered = stick->Answered(2);
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  ASSERT_TRUE(WaitFor([&] { return stick->Answered(2) > answered; }));  // the late reply lands
  EXPECT_EQ(dev.Ostrel_Reset(), 0);
}

TEST_F(QuondaTest, DevicePathLengthLimit) {
  // classFolder/<name>/PIPE00 must fit 255 characters.
  auto deviceName = [&](std::size_t pathLength) {
    return std::string(pathLength - classFolder.size() - 1, 'd');
  };
  ASSERT_LT(classFolder.size() + 2, 240u);
  {
    auto stick = Plug(deviceName(248));
    CISDBTDll dev;
    EXPECT_EQ(dev.Ostrel_Open(), 0);
  }
  {
    auto stick = Plug(deviceName(250));
    CISDBTDll dev;
    EXPECT_EQ(dev.Ostrel_IsUSB(), 0);
    EXPECT_EQ(dev.Ostrel_Open(), 2);
  }
  {
    // Longer than the path buffer: not even taken as present.
    auto stick = Plug(std::string(256 - classFolder.size(), 'e'));
    CISDBTDll dev;
    EXPECT_EQ(dev.Ostrel_IsUSB(), 1);
  }
}

TEST_F(QuondaTest, GetTsTakesWholePacketsOnlyWhenEnoughAreQueued) {
  auto stick = Plug();
  stick->SetBatches(2);  // exactly 12 packets
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() == 12; }));

  unsigned char buf[1128];
  unsigned long got = 0;
  EXPECT_EQ(dev.Ostrel_GetTS(buf, 1127, &got, 0), 0);  // five whole packets
  EXPECT_EQ(got, 940u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(FakePacketNumber(buf + i * 188), std::uint32_t(i));
  EXPECT_EQ(dev.QueuedPackets(), 7u);
  EXPECT_EQ(dev.Ostrel_GetTS(buf, 1128, &got, 0), 0);
  EXPECT_EQ(got, 1128u);
  EXPECT_EQ(FakePacketNumber(buf), 5u);
  EXPECT_EQ(FakePacketNumber(buf + 5 * 188), 10u);
  EXPECT_EQ(dev.QueuedPackets(), 1u);
  EXPECT_EQ(dev.Ostrel_GetTS(buf, 1128, &got, 0), 5);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(dev.QueuedPackets(), 1u);

  // Stopping empties the queue.
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
  EXPECT_EQ(dev.QueuedPackets(), 0u);
}

TEST_F(QuondaTest, StreamKeepsPacketsInOrderAndDropsCutBatches) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  std::vector<std::uint32_t> seen;
  unsigned char buf[188];
  unsigned long got;
  auto collect = [&](std::size_t n) {
    return WaitFor([&] {
      while (dev.Ostrel_GetTS(buf, 188, &got, 0) == 0) {
        EXPECT_EQ(buf[0], 0x47);
        seen.push_back(FakePacketNumber(buf));
      }
      return seen.size() >= n;
    });
  };
  ASSERT_TRUE(collect(60));
  stick->CutNextBatch();
  std::size_t before = seen.size();
  ASSERT_TRUE(collect(before + 60));
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);

  // Packet numbers rise by one, except one gap of a whole batch (six) where the cut batch was.
  int gaps = 0;
  for (std::size_t i = 1; i < seen.size(); ++i) {
    if (seen[i] == seen[i - 1] + 1) continue;
    ++gaps;
    EXPECT_EQ(seen[i], seen[i - 1] + 7) << "at " << i;
  }
  EXPECT_LE(gaps, 1);
}

TEST_F(QuondaTest, LevelCodesMapToStoredLevel) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  unsigned int level = 1234;
  dev.Ostrel_GetRFLevel(&level);
  EXPECT_EQ(level, 0u);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  auto levelIs = [&](unsigned int want) {
    return WaitFor([&] {
      dev.Ostrel_GetRFLevel(&level);
      return level == want;
    });
  };
  struct Step {
    std::uint32_t code;
    unsigned int level;
  } steps[] = {{1, 20}, {2, 45}, {3, 55}, {4, 100}, {0, 0}, {4, 100}};
  for (auto s : steps) {
    stick->SetLevelCode(s.code);
    EXPECT_TRUE(levelIs(s.level)) << "code " << s.code;
  }
  // Codes from 5 on, and a wrong reply code, leave the level where it was.
  // Two more level reads show that the stream thread has taken an answer with the new code.
  auto twoMoreReads = [&] {
    const std::size_t reads = stick->Received(10);
    return WaitFor([&] { return stick->Received(10) >= reads + 2; });
  };
  for (std::uint32_t code : {5u, 0x01000000u}) {
    stick->SetLevelCode(code);
    ASSERT_TRUE(twoMoreReads());
    dev.Ostrel_GetRFLevel(&level);
    EXPECT_EQ(level, 100u) << code;
  }
  stick->SetLevelCode(2);
  stick->SetWrongReply(10, true);
  ASSERT_TRUE(twoMoreReads());
  dev.Ostrel_GetRFLevel(&level);
  EXPECT_EQ(level, 100u);
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
}

TEST_F(QuondaTest, StopWakesAStalledTransfer) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  stick->SetSilent(8, true);
  const std::size_t asked = stick->Received(8);
  // Once a question goes unanswered, the stream thread sits in a read that would last the whole
  // transfer time; the stop must not wait it out.
  ASSERT_TRUE(WaitFor([&] { return stick->Received(8) > asked; }));
  auto start = Clock::now();
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);
}

// The stop wakes the stream thread out of its transfer, but the stick still answers the command it
// took, here only once the next command has gone out. That answer must not pass for the next
// reply: the stop, the retune and the restart succeed, and the new stream starts clean.
TEST_F(QuondaTest, AnswerToAStoppedTransferIsNotTakenForTheNextReply) {
  for (const std::uint8_t held : {8, 10, 13}) {
    SCOPED_TRACE(::testing::Message() << "answer to command " << int(held) << " held");
    auto stick = Plug();
    CISDBTDll dev;
    ASSERT_EQ(dev.Ostrel_Open(), 0);
    ASSERT_EQ(dev.Ostrel_StartTS(), 0);
    const std::size_t asked = stick->Received(held);
    stick->HoldNextAnswer(held);
    ASSERT_TRUE(WaitFor([&] { return stick->Received(held) > asked; }));
    EXPECT_EQ(dev.Ostrel_StopTS(), 0);
    EXPECT_EQ(dev.Ostrel_SelectChannel(1), 0);
    ASSERT_EQ(dev.Ostrel_StartTS(), 0);
    ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 6; }));
    unsigned char packet[CISDBTDll::kPacketSize];
    unsigned long got = 0;
    ASSERT_EQ(dev.Ostrel_GetTS(packet, sizeof packet, &got, 0), 0);
    EXPECT_EQ(FakePacketNumber(packet), 0u);
    EXPECT_EQ(dev.Ostrel_StopTS(), 0);
  }
}

// A tune's select or start that the stick answers only after the transfer time (a slow machine, not a
// fault) is sent once more: the late answer is taken, the one still owed is read past, and the
// stream starts clean. A retry says so on stderr.
TEST_F(QuondaTest, ATuneCommandAnsweredTooLateIsSentOnceMore) {
  for (const std::uint8_t late : {5, 7}) {
    SCOPED_TRACE(::testing::Message() << "answer to command " << int(late) << " late");
    auto stick = Plug();
    CISDBTDll dev;
    ASSERT_EQ(dev.Ostrel_Open(), 0);
    stick->HoldNextAnswer(late);
    ::testing::internal::CaptureStderr();
    const int selected = late == 5 ? dev.Ostrel_SelectChannel(1) : 0;
    const int started = dev.Ostrel_StartTS();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(selected, 0);
    ASSERT_EQ(started, 0);
    // The held answer is let go as the second command arrives, before the stick has read it.
    EXPECT_TRUE(WaitFor([&] { return stick->Received(late) >= 2u; }));
    EXPECT_EQ(stick->Received(late), 2u);
    EXPECT_NE(log.find("no answer to command " + std::to_string(late)), std::string::npos) << log;
    ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 12; }));
    unsigned char packets[2 * CISDBTDll::kPacketSize];
    unsigned long got = 0;
    ASSERT_EQ(dev.Ostrel_GetTS(packets, sizeof packets, &got, 0), 0);
    EXPECT_EQ(FakePacketNumber(packets), 0u);
    EXPECT_EQ(FakePacketNumber(packets + CISDBTDll::kPacketSize), 1u);
    EXPECT_EQ(dev.Ostrel_StopTS(), 0);
    EXPECT_EQ(dev.Ostrel_Close(), 0);
  }
}

// An error answer, a stick that is gone, or one that stays silent through the second try: the tune
// fails, and only a time-out is worth a second try.
TEST_F(QuondaTest, ATuneCommandThatFailsOutrightIsNotSentAgain) {
  enum class Fault { kWrongCode, kRemoved, kSilent };
  struct Case {
    Fault fault;
    std::uint8_t command;
    std::size_t sends;  // what the stick receives
  } cases[] = {
      {Fault::kWrongCode, 5, 1}, {Fault::kWrongCode, 7, 1}, {Fault::kRemoved, 5, 0},
      {Fault::kRemoved, 7, 0},   {Fault::kSilent, 5, 2},    {Fault::kSilent, 7, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "fault " << int(c.fault) << " on command " << int(c.command));
    auto stick = Plug();
    CISDBTDll dev;
    ASSERT_EQ(dev.Ostrel_Open(), 0);
    stick->ClearCommands();
    if (c.fault == Fault::kWrongCode) stick->SetWrongReply(c.command, true);
    if (c.fault == Fault::kSilent) stick->SetSilent(c.command, true);
    if (c.fault == Fault::kRemoved) stick->Remove();
    ::testing::internal::CaptureStderr();
    const int result = c.command == 5 ? dev.Ostrel_SelectChannel(1) : dev.Ostrel_StartTS();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(stick->Received(c.command), c.sends);
    EXPECT_EQ(log.find("sending it again") != std::string::npos, c.fault == Fault::kSilent) << log;
    EXPECT_EQ(dev.QueuedPackets(), 0u);
  }
}

// A stop whose answer comes after its transfer time (a slow stick) is still owed: the select that
// follows reads past it instead of taking it for its own reply, and tunes at the first try.
TEST_F(QuondaTest, ALateStopAnswerIsNotTakenForTheSelectAfterIt) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 6; }));
  stick->HoldNextAnswer(9);
  EXPECT_EQ(dev.Ostrel_StopTS(), 2);  // its time ran out
  stick->ClearCommands();
  EXPECT_EQ(dev.Ostrel_SelectChannel(1), 0);
  EXPECT_EQ(stick->Received(5), 1u);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  EXPECT_EQ(stick->Received(7), 1u);
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
}

TEST_F(QuondaTest, StartWhileStreamingRestartsOneThread) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 12; }));
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
  // A failed start leaves no thread behind either.
  stick->SetWrongReply(7, true);
  EXPECT_EQ(dev.Ostrel_StartTS(), 2);
  EXPECT_EQ(dev.QueuedPackets(), 0u);
}

TEST_F(QuondaTest, StickRemovedMidStreamAndPluggedAgain) {
  auto stick = Plug();
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  ASSERT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 6; }));
  stick->Remove();
  EXPECT_EQ(dev.Ostrel_IsUSB(), 1);
  // The write meets no reader: EPIPE, no signal, and no waiting for the transfer time.
  auto start = Clock::now();
  EXPECT_EQ(dev.Ostrel_StopTS(), 2);
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);
  EXPECT_EQ(dev.Ostrel_Close(), 2);

  stick->Insert();
  EXPECT_EQ(dev.Ostrel_IsUSB(), 0);
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  ASSERT_EQ(dev.Ostrel_StartTS(), 0);
  EXPECT_TRUE(WaitFor([&] { return dev.QueuedPackets() >= 6; }));
  EXPECT_EQ(dev.Ostrel_StopTS(), 0);
  EXPECT_EQ(dev.Ostrel_Close(), 0);
}

TEST_F(QuondaTest, DestroyingWhileStreamingJoinsTheThread) {
  auto stick = Plug();
  auto dev = std::make_unique<CISDBTDll>();
  ASSERT_EQ(dev->Ostrel_Open(), 0);
  ASSERT_EQ(dev->Ostrel_StartTS(), 0);
  stick->SetSilent(10, true);
  const std::size_t asked = stick->Received(10);
  ASSERT_TRUE(WaitFor([&] { return stick->Received(10) > asked; }));  // an unanswered read runs
  auto start = Clock::now();
  dev.reset();
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);
}

TEST_F(QuondaTest, ErrorRatesAndSwitchAreInert) {
  CISDBTDll dev;
  double a = 1, b = 1;
  EXPECT_EQ(dev.Ostrel_GetBER_RS(&a, &b), 0);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, 0.0);
  EXPECT_EQ(dev.Ostrel_SwitchRS(true), 0);
}

TEST(DeviceRoot, ResolvedFromEnvironment) {
  const std::string saved[] = {std::getenv("TEVALO_DEVICE_ROOT") ? std::getenv("TEVALO_DEVICE_ROOT") : "",
                               std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "",
                               std::getenv("TMPDIR") ? std::getenv("TMPDIR") : ""};
  const std::string scratch = saved[1] + "/rootcase";
  std::filesystem::create_directories(scratch);
  const std::string own = scratch + "/tevalo-" + std::to_string(::getuid());

  ::setenv("TEVALO_DEVICE_ROOT", "/x/devs", 1);
  EXPECT_EQ(quonda::DeviceRoot(), "/x/devs");
  EXPECT_EQ(quonda::InterfaceClassFolder(), "/x/devs/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}");
  ::setenv("TEVALO_DEVICE_ROOT", "", 1);
  ::setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
  EXPECT_EQ(quonda::DeviceRoot(), "/run/user/77/tevalo/devices");
  ::unsetenv("XDG_RUNTIME_DIR");
  ::setenv("TMPDIR", scratch.c_str(), 1);
  EXPECT_EQ(quonda::DeviceRoot(), own + "/tevalo/devices");
  // Something else in the place of the per-user folder: no root at all, rather than someone's trap.
  { std::ofstream(own) << "x"; }
  EXPECT_EQ(quonda::DeviceRoot(), "");
  EXPECT_EQ(quonda::InterfaceClassFolder(), "");
  EXPECT_TRUE(quonda::ListInterfacePaths("").empty());
  std::filesystem::remove(own);

  ::setenv("TEVALO_DEVICE_ROOT", saved[0].c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", saved[1].c_str(), 1);
  if (saved[2].empty())
    ::unsetenv("TMPDIR");
  else
    ::setenv("TMPDIR", saved[2].c_str(), 1);
  std::filesystem::remove_all(scratch);
}
