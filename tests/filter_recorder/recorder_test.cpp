#include "filter/source/recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "filter/playback/rec_reader.h"
#include "test_host.h"

using halvik::CHalvik;
using halvik::CRecorder;
using testhost::ChannelWriter;

namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A filter with a recorder on the platform's store and settings files in a folder of its own.
struct RecorderTest : ::testing::Test {
  fs::path dir;
  std::atomic<uint64_t> free_bytes{1ull << 40};
  std::atomic<uint32_t> tick{1000};
  std::shared_ptr<testhost::Host> host = std::make_shared<testhost::Host>();
  std::unique_ptr<CHalvik> filter;
  CRecorder* recorder = nullptr;
  ChannelWriter writer{host->box, &host->wake};
  std::mutex notices_mutex;
  std::vector<std::string> notices;

  void SetUp() override {
    dir = fs::path(std::getenv("XDG_RUNTIME_DIR")) /
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir / "user");
    std::ofstream(dir / "registry.ini") << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n"
                                        << "\"User_Dir\"=\"" << (dir / "user").string() << "\\\\\"\n"
                                        << "\"rec_Dir\"=\"" << dir.string() << "/\"\n";
    setenv("TEVALO_REGISTRY", (dir / "registry.ini").c_str(), 1);
    CRecorder::Options options;
    options.free_space = [this](int) -> std::optional<uint64_t> { return free_bytes.load(); };
    options.tick = [this] { return tick.load(); };
    halvik::SetRecorderFactory([&, options](CHalvik& f) {
      auto r = std::make_unique<CRecorder>(f, options);
      recorder = r.get();
      return r;
    });
    filter = std::make_unique<CHalvik>(host);
    halvik::SetRecorderFactory(nullptr);
    filter->SetNotice([this](const std::string& t) {
      std::lock_guard l(notices_mutex);
      notices.push_back(t);
    });
    ASSERT_TRUE(filter->Load("x-dmb://14141"));
    filter->Pause();
  }
  void TearDown() override {
    filter.reset();
    unsetenv("TEVALO_REGISTRY");
  }
  void SetFileName(const std::string& value) {
    std::ofstream(dir / "user" / "config.ini") << "[RECControl]\nFileName=" << value << "\n";
  }
  // A message, then a harmless one whose acknowledgement says the first was handled.
  void Send(const std::vector<uint8_t>& msg) {
    writer.Write(msg);
    writer.Write(ChannelWriter::Control(263, 0, 0));
    writer.Write(ChannelWriter::Control(263, 0, 0));
  }
  void SendConfigs() {
    Send(ChannelWriter::Format(257, {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x0C}));
    Send(ChannelWriter::Format(258, {0xFF, 0xF8, 0x58, 0x80, 0x2F, 0xDF, 0xFC}));
  }
  // What a pin copies while the recording runs.
  void Copy(int32_t type, int64_t time, uint8_t fill, size_t n) {
    auto r = std::make_unique<halvik::FrameRecord>();
    r->type = type;
    r->payload.assign(n, fill);
    if (type == 260 && n >= 2) r->payload[0] = 0xFF, r->payload[1] = 0xF8;
    r->length = uint32_t(n);
    r->values[1] = time;
    r->time = time;
    filter->record_queue().Push(std::move(r));
  }
  // Waits until the record thread has handled every copied frame: it takes each from the queue and
  // writes it under the recorder's lock, which path() takes too.
  bool WaitQueueEmpty() {
    for (int i = 0; i < 60000; ++i) {
      if (filter->record_queue().Size() == 0) {
        (void)recorder->path();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
  std::vector<rec::Record> ReadAll(const std::string& path) {
    rec::CRecReader reader;
    EXPECT_EQ(reader.Open(path), rec::CRecReader::OpenResult::Ok) << path;
    std::vector<rec::Record> out;
    rec::Record r;
    while (reader.ReadRecord(r) == rec::CRecReader::ReadResult::Record) out.push_back(r);
    return out;
  }
  std::vector<std::string> Notices() {
    std::lock_guard l(notices_mutex);
    return notices;
  }
};

TEST_F(RecorderTest, RecordsTheConfigurationsAndEveryCopiedFrameWithItsTime) {
  const std::string path = (dir / "one.rec").string();
  SetFileName(path);
  SendConfigs();
  Send(ChannelWriter::Control(264, 12, 1));
  ASSERT_TRUE(recorder->recording());
  EXPECT_TRUE(filter->recording_flag());
  for (int i = 0; i < 6; ++i) {
    tick += 40;
    Copy(i % 2 ? 260 : 259, 1'000'000 + i * 400'000, uint8_t(i), 100 + size_t(i));
    ASSERT_TRUE(WaitQueueEmpty());
  }
  // Readable while it runs: the header already has an end.
  rec::CRecReader live;
  ASSERT_EQ(live.Open(path), rec::CRecReader::OpenResult::Ok);
  tick = 5000;
  Send(ChannelWriter::Control(264, 12, 2));
  EXPECT_FALSE(recorder->recording());
  EXPECT_FALSE(filter->recording_flag());

  const std::string bytes = Slurp(path);
  ASSERT_GE(bytes.size(), 2056u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data())), 1000u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4), 5000u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 8), 257u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 12), 8u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 1032), 258u);
  EXPECT_EQ(rec::GetU32(reinterpret_cast<const uint8_t*>(bytes.data()) + 1036), 7u);
  const auto records = ReadAll(path);
  ASSERT_EQ(records.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(records[size_t(i)].head.type, i % 2 ? 260u : 259u);
    EXPECT_EQ(records[size_t(i)].head.time, 1'000'000 + i * 400'000);
    EXPECT_EQ(records[size_t(i)].head.tick, 1040u + 40u * uint32_t(i));
    EXPECT_EQ(records[size_t(i)].payload.size(), 100u + size_t(i));
  }
  EXPECT_TRUE(Notices().empty());
}

TEST_F(RecorderTest, ARecordingBeforeAnyConfigurationHoldsZeroBlocks) {
  const std::string path = (dir / "early.rec").string();
  SetFileName(path);
  Send(ChannelWriter::Control(264, 12, 1));
  Send(ChannelWriter::Control(264, 12, 2));
  const std::string bytes = Slurp(path);
  ASSERT_EQ(bytes.size(), 2056u);
  EXPECT_EQ(bytes.substr(8), std::string(2048, '\0'));
}

TEST_F(RecorderTest, AStartThatCannotRecordIsReportedAndRecordsNothing) {
  struct Case {
    const char* what;
    std::string file_name;  // empty: no FileName key at all
  };
  const Case cases[] = {
      {"no FileName", ""},
      {"folder missing", (dir / "missing" / "x.rec").string()},
      {"a folder", (dir / "user").string()},
  };
  for (const Case& c : cases) {
    if (c.file_name.empty())
      std::ofstream(dir / "user" / "config.ini") << "[RECControl]\n";
    else
      SetFileName(c.file_name);
    const size_t before = Notices().size();
    Send(ChannelWriter::Control(264, 12, 1));
    EXPECT_FALSE(recorder->recording()) << c.what;
    EXPECT_FALSE(filter->recording_flag()) << c.what;
    EXPECT_EQ(Notices().size(), before + 1) << c.what;
    Send(ChannelWriter::Control(264, 12, 2));  // closes nothing
  }
  EXPECT_NE(Notices().back().find((dir / "user").string()), std::string::npos);
  // Nothing was created beside the settings file.
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir / "user")) files += e.path().filename() != "config.ini";
  EXPECT_EQ(files, 0u);
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(RecorderTest, AStopWithoutAStartAndOtherArgumentsDoNothing) {
  const std::string path = (dir / "never.rec").string();
  SetFileName(path);
  Send(ChannelWriter::Control(264, 12, 2));
  Send(ChannelWriter::Control(264, 12, 7));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(recorder->recording());
}

TEST_F(RecorderTest, AStartWhileRecordingFinishesTheFirstFileWithItsQueuedFrames) {
  const std::string first = (dir / "first.rec").string(), second = (dir / "second.rec").string();
  SetFileName(first);
  SendConfigs();
  Send(ChannelWriter::Control(264, 12, 1));
  Copy(259, 0, 1, 50);
  ASSERT_TRUE(WaitQueueEmpty());
  tick = 2000;
  SetFileName(second);
  Send(ChannelWriter::Control(264, 12, 1));
  EXPECT_EQ(recorder->path(), second);
  Copy(260, 10, 2, 20);
  ASSERT_TRUE(WaitQueueEmpty());
  tick = 3000;
  Send(ChannelWriter::Control(264, 12, 2));

  rec::CRecReader a;
  ASSERT_EQ(a.Open(first), rec::CRecReader::OpenResult::Ok);
  EXPECT_EQ(a.Header().endTick, 2000u);
  EXPECT_EQ(ReadAll(first).size(), 1u);
  const auto b = ReadAll(second);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].head.type, 260u);
}

// The player hears once that records are being skipped and once that they are written again.
TEST_F(RecorderTest, LowSpaceSkipsFramesTheFileStaysValidAndThePlayerIsToldOnce) {
  auto writing_reports = [&] {
    std::vector<uint32_t> out;  // cbData of each report
    for (const auto& c : host->copydata())
      if (c.code == COPYDATA_RECORD_WRITING) {
        EXPECT_FALSE(c.block);  // the recorder never waits for the player
        out.push_back(c.cb_data);
      }
    return out;
  };
  const std::string path = (dir / "low.rec").string();
  SetFileName(path);
  SendConfigs();
  Send(ChannelWriter::Control(264, 12, 1));
  tick = 1100;
  Copy(259, 0, 1, 50);
  ASSERT_TRUE(WaitQueueEmpty());
  EXPECT_TRUE(writing_reports().empty());
  free_bytes = 200ull << 20;  // the guard's own figure: already too little
  for (int i = 0; i < 5; ++i) Copy(260, 10 * i, 2, 20);
  ASSERT_TRUE(WaitQueueEmpty());
  EXPECT_TRUE(recorder->recording());  // the recording goes on
  EXPECT_EQ(writing_reports(), (std::vector<uint32_t>{0}));
  {
    rec::CRecReader r;
    ASSERT_EQ(r.Open(path), rec::CRecReader::OpenResult::Ok);
    EXPECT_EQ(ReadAll(path).size(), 1u);
  }
  free_bytes = 1ull << 30;
  Copy(260, 99, 3, 20);
  Copy(260, 109, 3, 20);
  ASSERT_TRUE(WaitQueueEmpty());
  EXPECT_EQ(writing_reports(), (std::vector<uint32_t>{0, 1}));
  Send(ChannelWriter::Control(264, 12, 2));
  const auto records = ReadAll(path);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].head.time, 99);
}

TEST_F(RecorderTest, AFilterDestroyedWhileRecordingLeavesAPlayableFile) {
  const std::string path = (dir / "cut.rec").string();
  SetFileName(path);
  SendConfigs();
  Send(ChannelWriter::Control(264, 12, 1));
  tick = 1500;
  Copy(259, 0, 1, 50);
  ASSERT_TRUE(WaitQueueEmpty());
  tick = 1600;
  Copy(260, 0, 2, 20);  // may still be queued: it is written before the file closes
  filter->Pause();
  filter->Stop();
  filter.reset();
  rec::CRecReader r;
  ASSERT_EQ(r.Open(path), rec::CRecReader::OpenResult::Ok);
  EXPECT_EQ(r.Header().endTick, 1600u);
  EXPECT_EQ(ReadAll(path).size(), 2u);
}

}  // namespace
