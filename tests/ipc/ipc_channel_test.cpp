// The channel between a player and a filter in two processes (the helper child on one or both
// sides), and both ends in one process as the system runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ipc/filter_protocol.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/kernel.h"
#include "tests/common/child_process.h"
#include "tests/ipc/ipc_pattern.h"

using namespace tvk;
using tevalo_test::ChildProcess;

namespace {

const std::string kMapping = std::string("FILEMAP_") + kIpcChannelName;
const std::string kDataMutex = std::string("MUTEX_") + kIpcChannelName;
const std::string kPlayerEvent = std::string("CLIENTEVENT_") + kIpcChannelName + "_2";
const std::string kFilterEvent = std::string("SERVEREVENT_") + kIpcChannelName + "_1";

std::vector<long long> Values(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  EXPECT_EQ(word, "ok") << line;
  std::vector<long long> v;
  long long x;
  while (in >> x) v.push_back(x);
  return v;
}

class Side : public ChildProcess {
 public:
  Side() : ChildProcess("tevalo-ipc-helper") {}
  // Constructs the side's channel object; returns {usable, milliseconds taken}.
  std::pair<long long, long long> New(const char* role) {
    auto v = Values(Call(std::string("new ") + role));
    return v.size() == 3 ? std::make_pair(v[0], v[2]) : std::make_pair(-1LL, -1LL);
  }
  long long Connect() { return Values(Call("connect")).at(0); }
  // Writes a message; returns {result, milliseconds taken}.
  std::pair<long long, long long> Write(int type, int wait, long long value = 0, long long stamp = -1) {
    auto v = Values(Call("write " + std::to_string(type) + " " + std::to_string(wait) + " " +
                         std::to_string(value) + " " + std::to_string(stamp)));
    return v.size() == 2 ? std::make_pair(v[0], v[1]) : std::make_pair(-1LL, -1LL);
  }
  void SendWrite(int type, int wait, long long value = 0) {
    Send("write " + std::to_string(type) + " " + std::to_string(wait) + " " + std::to_string(value));
  }
  // Reads one message: result (0 none, 1 message, 2 refused), type, length, argument, stamp, intact.
  std::vector<long long> Read(int waitMs = 60000) { return Values(Call("read " + std::to_string(waitMs))); }
};

// Both slot words, read through a mapping handle of our own.
std::pair<uint32_t, uint32_t> Slots() {
  Handle map = OpenFileMapping(kMapping);
  if (!map) return {0xFFFFFFFF, 0xFFFFFFFF};
  auto* words = static_cast<uint32_t*>(MapViewOfFile(map));
  std::pair<uint32_t, uint32_t> slots{words[0], words[1]};
  UnmapViewOfFile(words);
  return slots;
}

// A connected filter and player in two children.
struct Pair {
  Side filter, player;
  Pair() {
    EXPECT_EQ(filter.New("filter").first, 1);
    EXPECT_EQ(player.New("player").first, 1);
    EXPECT_EQ(player.Connect(), 1);
    EXPECT_EQ(filter.Connect(), 1);
  }
};

TEST(IpcChannel, CreationOrderNamesAndTheFormatHandOver) {
  Side filter, player;
  EXPECT_EQ(filter.New("filter").first, 1);
  Handle map = OpenFileMapping(kMapping);
  ASSERT_TRUE(map);
  EXPECT_GE(GetMappingSize(map), 40009u);
  EXPECT_TRUE(OpenMutex(kDataMutex));
  EXPECT_EQ(Slots(), std::make_pair(1u, 0u));
  EXPECT_EQ(filter.Connect(), 0);  // the player's slot is still empty

  EXPECT_EQ(player.New("player").first, 1);
  EXPECT_EQ(Slots(), std::make_pair(1u, 2u));
  EXPECT_FALSE(OpenEvent(kPlayerEvent));

  // Nothing is written before Connect.
  EXPECT_EQ(player.Write(IPC_VIDEO_CONFIG, 0, 20).first, 0);
  auto* payload = static_cast<uint8_t*>(MapViewOfFile(map)) + 8;
  EXPECT_EQ(ipcle::GetI32(payload), 0);

  EXPECT_EQ(player.Connect(), 1);
  EXPECT_TRUE(OpenEvent(kPlayerEvent));
  EXPECT_TRUE(OpenEvent(kFilterEvent));
  EXPECT_EQ(filter.Connect(), 1);

  // 257 without waiting, then 258 waiting: the second waits for the first to be read.
  EXPECT_EQ(player.Write(IPC_VIDEO_CONFIG, 0, 20).first, 1);
  player.SendWrite(IPC_AUDIO_CONFIG, 1, 7);
  EXPECT_FALSE(player.ReadLine(200).has_value()) << "258 overwrote 257 before it was read";
  auto first = filter.Read();
  EXPECT_EQ(first, (std::vector<long long>{1, IPC_VIDEO_CONFIG, 20, 0, 0, 1}));
  auto written = Values(player.ReadLine(60000).value_or(""));
  EXPECT_EQ(written.at(0), 1);
  auto second = filter.Read();
  EXPECT_EQ(second.at(1), IPC_AUDIO_CONFIG);
  EXPECT_EQ(second.at(2), 7);
  EXPECT_EQ(second.at(5), 1);
  EXPECT_EQ(ipcle::GetI32(payload + 4), 7);
  EXPECT_EQ(payload[15], 0);  // zeros after the 7-byte header
  UnmapViewOfFile(payload - 8);
}

TEST(IpcChannel, LengthsAreCheckedOnBothSides) {
  Pair p;
  // Over the payload: refused by the writer.
  EXPECT_EQ(Values(p.player.Call("writeraw 40002 259 0")).at(0), 0);
  // A format body over 1016 bytes is refused by the reader, which still acknowledges it: the next
  // write does not wait for the acknowledgement.
  EXPECT_EQ(Values(p.player.Call("writeraw 1024 257 2000")).at(0), 1);
  EXPECT_EQ(p.filter.Read().at(0), 2);
  auto next = p.player.Write(IPC_PING, 1);
  EXPECT_EQ(next.first, 1);
  EXPECT_LT(next.second, 500);
  EXPECT_EQ(p.filter.Read().at(1), IPC_PING);  // read and acknowledged without effect
  // A frame longer than its record, and a read beyond the payload.
  EXPECT_EQ(Values(p.player.Call("writeraw 40000 260 20000")).at(0), 1);
  EXPECT_EQ(p.filter.Read().at(0), 2);
  EXPECT_EQ(p.player.Write(IPC_AUDIO_FRAME, 1, 10240, 77).second < 500, true);
  EXPECT_EQ(Values(p.filter.Call("readmode 0 0 8 1000")).at(0), 1);
  EXPECT_EQ(Values(p.filter.Call("readmode 2 40000 2 0")).at(0), 0);  // refused, still released
  Handle mutex = OpenMutex(kDataMutex);
  EXPECT_EQ(WaitForSingleObject(mutex, 500), WAIT_OBJECT_0);
  ReleaseMutex(mutex);
  EXPECT_LT(p.player.Write(IPC_VIDEO_FRAME, 1, 100).second, 500);  // it was acknowledged
}

TEST(IpcChannel, AHeldDataMutexMakesWriteFailAfterItsWait) {
  Pair p;
  Handle mutex = OpenMutex(kDataMutex);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  auto [result, took] = p.player.Write(IPC_VIDEO_FRAME, 1, 100);
  EXPECT_EQ(result, 0);
  EXPECT_GE(took, 1000);  // it gave up after its second, never before
  ReleaseMutex(mutex);
  EXPECT_EQ(p.player.Write(IPC_VIDEO_FRAME, 1, 100).first, 1);
  EXPECT_EQ(p.filter.Read().at(1), IPC_VIDEO_FRAME);
}

TEST(IpcChannel, AMissingAcknowledgementCostsASecondAndTheMessageGoesThrough) {
  Pair p;
  auto first = p.player.Write(IPC_VIDEO_FRAME, 1, 100, 1);
  EXPECT_EQ(first.first, 1);
  EXPECT_LT(first.second, 1000);                             // the first message after Connect does not wait
  auto second = p.player.Write(IPC_AUDIO_FRAME, 1, 200, 2);  // nobody reads
  EXPECT_EQ(second.first, 1);
  EXPECT_GE(second.second, 1000);
  auto got = p.filter.Read();
  EXPECT_EQ(got.at(1), IPC_AUDIO_FRAME);
  EXPECT_EQ(got.at(4), 2);
  EXPECT_EQ(got.at(5), 1);
}

TEST(IpcChannel, ReadingModes) {
  Pair p;
  // Mode 0 without a message: 0 after its wait.
  auto none = Values(p.filter.Call("readmode 0 0 8 100"));
  EXPECT_EQ(none.at(0), 0);
  EXPECT_GE(none.at(1), 100);

  EXPECT_EQ(p.player.Write(IPC_VIDEO_FRAME, 1, 64, 1234).first, 1);
  auto head = Values(p.filter.Call("readmode 0 0 8 1000"));
  EXPECT_EQ(head.at(0), 1);
  EXPECT_EQ(head.at(2), IPC_VIDEO_FRAME);
  Handle mutex = OpenMutex(kDataMutex);
  EXPECT_EQ(WaitForSingleObject(mutex, 100), WAIT_TIMEOUT);  // mode 0 holds the data mutex

  auto stamp = Values(p.filter.Call("readmode 1 16 8 0"));
  EXPECT_EQ(stamp.at(2), 1234);                              // low word of the stamp
  EXPECT_EQ(WaitForSingleObject(mutex, 100), WAIT_TIMEOUT);  // mode 1 keeps it

  p.player.SendWrite(IPC_AUDIO_FRAME, 1, 10);
  EXPECT_FALSE(p.player.ReadLine(300).has_value())
      << "a write went through while the reader held the message";
  EXPECT_EQ(Values(p.filter.Call("readmode 2 40 64 0")).at(0), 1);  // releases and acknowledges
  auto written = Values(p.player.ReadLine(60000).value_or(""));
  EXPECT_EQ(written.at(0), 1);
  EXPECT_LT(written.at(1), 1000);
  EXPECT_EQ(p.filter.Read().at(1), IPC_AUDIO_FRAME);
}

TEST(IpcChannel, AClearedSlotMakesConnectFailAndEachSideClearsOnlyItsOwn) {
  Side filter, player, late;
  filter.New("filter");
  player.New("player");
  filter.Call("delete");
  EXPECT_EQ(Slots(), std::make_pair(0u, 2u));
  EXPECT_EQ(player.Connect(), 0);

  // A filter that comes now opens the mapping and takes slot 1; the player leaving keeps it.
  late.New("filter");
  EXPECT_EQ(Slots(), std::make_pair(0u, 1u));
  player.Call("delete");
  EXPECT_EQ(Slots(), std::make_pair(0u, 1u));
}

TEST(IpcChannel, AWriterKilledHoldingEverythingLeavesAUsableChannel) {
  {
    Pair p;
    EXPECT_EQ(p.player.Write(IPC_VIDEO_FRAME, 1, 100).first, 1);
    EXPECT_EQ(Values(p.player.Call("hold")).at(0), 2);
    p.player.Kill();

    // The filter still holds the objects: a new player joins it, the abandoned mutexes count as
    // acquired.
    Side player;
    auto made = player.New("player");
    EXPECT_EQ(made.first, 1);
    EXPECT_LT(made.second, 500);
    EXPECT_EQ(player.Connect(), 1);
    EXPECT_EQ(p.filter.Read().at(1), IPC_VIDEO_FRAME);  // the message before the kill
    EXPECT_EQ(player.Write(IPC_RECORD, 1, IPC_RECORD_START).first, 1);
    auto got = p.filter.Read();
    EXPECT_EQ(got.at(1), IPC_RECORD);
    EXPECT_EQ(got.at(3), IPC_RECORD_START);
    EXPECT_EQ(Values(player.Call("hold")).at(0), 2);
    player.Kill();
  }
  // And a new pair after everything is gone.
  Pair fresh;
  EXPECT_EQ(fresh.player.Write(IPC_AUDIO_MODE, 1, IPC_AUDIO_MODE_SUB).first, 1);
  auto got = fresh.filter.Read();
  EXPECT_EQ(got.at(1), IPC_AUDIO_MODE);
  EXPECT_EQ(got.at(3), IPC_AUDIO_MODE_SUB);
}

TEST(IpcChannel, AControlMessageWrittenWithoutWaitIsNeverOverwrittenUnread) {
  Side filter;
  filter.New("filter");
  CSharedMemoryIpc player(IpcRole::Player);
  ASSERT_TRUE(player.Usable());
  ASSERT_EQ(player.Connect(), 1);
  ASSERT_EQ(filter.Connect(), 1);
  // The player sends a frame, which is read and acknowledged; then, to a slow reader, the recording
  // start without waiting and more frames.
  auto frame = ipc_test::BuildMessage(IPC_VIDEO_FRAME, 100, 1);
  auto start = ipc_test::BuildMessage(IPC_RECORD, IPC_RECORD_START, -1);
  filter.Send("read 60000");
  EXPECT_EQ(player.Write(frame.data(), kVideoFrameMessageBytes, 1), 1);
  const std::string first = filter.ReadLine(60000).value_or("");
  ASSERT_EQ(first.substr(0, 9), "ok " + std::to_string(int(IpcReadResult::Message)) + " 259 ") << first;
  filter.Send("readloop 3 150");
  EXPECT_EQ(player.Write(start.data(), kControlMessageBytes, 0), 1);
  EXPECT_EQ(player.Write(frame.data(), kVideoFrameMessageBytes, 1), 1);
  EXPECT_EQ(player.Write(frame.data(), kVideoFrameMessageBytes, 1), 1);
  EXPECT_EQ(filter.ReadLine(60000).value_or(""), "ok 264 259 259");
}

TEST(IpcChannel, BothEndsInOneProcessPassEveryFrameInOrder) {
  CSharedMemoryIpc filter(IpcRole::Filter);
  CSharedMemoryIpc player(IpcRole::Player);
  ASSERT_TRUE(filter.Usable() && player.Usable());
  ASSERT_EQ(player.Connect(), 1);
  ASSERT_EQ(filter.Connect(), 1);
  EXPECT_TRUE(filter.HoldsSlot0());
  EXPECT_FALSE(player.HoldsSlot0());
  constexpr int kFrames = 300;
  std::vector<int64_t> stamps;
  bool intact = true;
  std::thread reader([&] {
    IpcIncoming msg;
    while (stamps.size() < kFrames) {
      const IpcReadResult r = ReadIpcMessage(filter, msg, 60000);
      if (r != IpcReadResult::Message) break;
      stamps.push_back(msg.values[1]);
      intact = intact && ipc_test::Intact(msg);
    }
  });
  for (int i = 0; i < kFrames; ++i) {
    const int32_t type = i % 3 ? IPC_AUDIO_FRAME : IPC_VIDEO_FRAME;
    auto bytes = ipc_test::BuildMessage(type, type == IPC_VIDEO_FRAME ? 30000 : 700, i);
    ASSERT_EQ(player.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1), 1);
  }
  reader.join();
  ASSERT_EQ(stamps.size(), size_t(kFrames));
  for (int i = 0; i < kFrames; ++i) ASSERT_EQ(stamps[i], i);
  EXPECT_TRUE(intact);
}

TEST(IpcChannel, APlayerLeavingDoesNotHandTheLastFrameOverAgain) {
  CSharedMemoryIpc filter(IpcRole::Filter);
  auto player = std::make_unique<CSharedMemoryIpc>(IpcRole::Player);
  ASSERT_EQ(player->Connect(), 1);
  ASSERT_EQ(filter.Connect(), 1);
  auto bytes = ipc_test::BuildMessage(IPC_VIDEO_FRAME, 1000, 7);
  ASSERT_EQ(player->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1), 1);
  IpcIncoming msg;
  ASSERT_EQ(ReadIpcMessage(filter, msg, 60000), IpcReadResult::Message);
  EXPECT_EQ(msg.values[1], 7);
  player.reset();  // wakes the reader once more
  const IpcReadResult r = ReadIpcMessage(filter, msg, 200);
  EXPECT_TRUE(r == IpcReadResult::None || (r == IpcReadResult::Message && msg.header.type == 0))
      << "the reader saw type " << msg.header.type << " again";
}

TEST(IpcChannel, APlayerLeavingRightAfterAWriteLetsTheReaderTakeIt) {
  CSharedMemoryIpc filter(IpcRole::Filter);
  auto player = std::make_unique<CSharedMemoryIpc>(IpcRole::Player);
  ASSERT_EQ(player->Connect(), 1);
  ASSERT_EQ(filter.Connect(), 1);
  uint8_t stop[kControlMessageBytes];
  EncodeControlMessage(MakeControlMessage(IPC_RECORD, IPC_RECORD_STOP), stop);
  std::vector<int32_t> types;
  std::thread reader([&] {
    IpcIncoming msg;
    // The message, then two more reads that must not find it again.
    for (int i = 0; i < 3; ++i)
      if (ReadIpcMessage(filter, msg, i == 0 ? 60000 : 500) == IpcReadResult::Message)
        types.push_back(msg.header.type);
  });
  ASSERT_EQ(player->Write(stop, kControlMessageBytes, 0), 1);
  player.reset();
  reader.join();
  ASSERT_FALSE(types.empty());
  EXPECT_EQ(types.front(), IPC_RECORD);
  EXPECT_EQ(std::count(types.begin(), types.end(), IPC_RECORD), 1);
}

TEST(IpcChannel, AnAbandonedReaderIsNotWaitedForAnyMore) {
  CSharedMemoryIpc filter(IpcRole::Filter);
  CSharedMemoryIpc player(IpcRole::Player);
  ASSERT_EQ(player.Connect(), 1);
  ASSERT_EQ(filter.Connect(), 1);
  auto bytes = ipc_test::BuildMessage(IPC_AUDIO_FRAME, 100, 1);
  const auto size = static_cast<uint32_t>(bytes.size());
  // The reader reads nothing: the second write waits out the acknowledgement of the first.
  ASSERT_EQ(player.Write(bytes.data(), size, 1), 1);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(player.Write(bytes.data(), size, 1), 1);
  const auto oneWait = std::chrono::steady_clock::now() - t0;
  // Abandoned while a write waits: that write and ten more together take less than one wait did.
  const auto t1 = std::chrono::steady_clock::now();
  std::thread writer([&] {
    for (int i = 0; i < 11; ++i) EXPECT_EQ(player.Write(bytes.data(), size, 1), 1);
  });
  player.AbandonPeer();
  writer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t1, oneWait);
  // The messages still reach a reader that does read.
  IpcIncoming msg;
  EXPECT_EQ(ReadIpcMessage(filter, msg, 1000), IpcReadResult::Message);
  EXPECT_EQ(msg.header.type, IPC_AUDIO_FRAME);
}

}  // namespace
