#include "filter/playback/rec_reader.h"
#include "filter/playback/rec_timeline.h"
#include "filter/source/rec_writer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace rec;

namespace {

fs::path TempDir() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  static const fs::path dir = [&] {
    fs::path d = fs::path(run ? run : "/tmp") / "recfile";
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::vector<uint8_t> Payload(uint32_t type, size_t n, uint8_t seed) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed + i * 7);
  if (type == kAudioType && n >= 2) {
    p[0] = 0xFF;
    p[1] = 0xF8;
  }
  return p;
}

std::vector<uint8_t> Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void Store(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

const std::vector<uint8_t> kSps = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x0D, 0, 0, 0, 1, 0x68, 0xCE};
const std::vector<uint8_t> kAdts = {0xFF, 0xF8, 0x58, 0x80, 0x2E, 0x7F, 0xFC};

struct Written {
  uint32_t tick;
  uint32_t type;
  int64_t time;
  std::vector<uint8_t> payload;
};

// A recording of `count` frames, one every 40 ms from startTick, alternating audio and video.
std::vector<Written> MakeRecording(const fs::path& path, uint32_t startTick, int count, size_t size = 300) {
  CRecWriter w([](int) { return std::optional<uint64_t>(1ull << 40); });
  EXPECT_TRUE(w.Start(path.string(), MakeInfoBlock(kVideoInfoType, kSps),
                      MakeInfoBlock(kAudioInfoType, kAdts), startTick));
  std::vector<Written> out;
  for (int i = 0; i < count; ++i) {
    const uint32_t type = (i % 2) ? kVideoType : kAudioType;
    Written r{startTick + 40u * (i + 1), type, int64_t(i) * 400000,
              Payload(type, size + (i % 5) * 13, uint8_t(i))};
    EXPECT_EQ(w.WriteRecord(r.type, r.time, r.payload, r.tick), CRecWriter::WriteResult::Written);
    out.push_back(std::move(r));
  }
  w.Stop(startTick + 40u * (count + 1));
  return out;
}

TEST(RecFile, RoundTrip) {
  const fs::path path = TempDir() / "round.rec";
  const auto written = MakeRecording(path, 1000, 20);
  CRecReader r;
  ASSERT_EQ(r.Open(path.string()), CRecReader::OpenResult::Ok);
  EXPECT_EQ(r.Header().startTick, 1000u);
  EXPECT_EQ(r.DurationMs(), 40u * 21);
  EXPECT_EQ(r.Duration(), int64_t(40 * 21) * 10000);
  EXPECT_EQ(*InfoBody(r.VideoInfo(), kVideoInfoType), kSps);
  EXPECT_EQ(*InfoBody(r.AudioInfo(), kAudioInfoType), kAdts);
  Record rec;
  for (const auto& w : written) {
    ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
    EXPECT_EQ(rec.head.tick, w.tick);
    EXPECT_EQ(rec.head.type, w.type);
    EXPECT_EQ(rec.head.time, w.time);
    EXPECT_EQ(rec.payload, w.payload);
  }
  EXPECT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::End);
  EXPECT_EQ(r.Resyncs(), 0u);
}

TEST(RecFile, LayoutIsLittleEndianAtFixedOffsets) {
  const fs::path path = TempDir() / "layout.rec";
  MakeRecording(path, 0x01020304, 1, 10);
  const auto b = Bytes(path);
  ASSERT_EQ(b.size(), kFirstRecordOffset + kRecordOverhead + 10);
  EXPECT_EQ(GetU32(&b[0]), 0x01020304u);
  EXPECT_EQ(GetU32(&b[8]), 257u);
  EXPECT_EQ(GetU32(&b[12]), kSps.size());
  EXPECT_EQ(GetU32(&b[1032]), 258u);
  EXPECT_EQ(GetU32(&b[1036]), 7u);
  const uint8_t* r = &b[2056];
  EXPECT_EQ(std::vector<uint8_t>(r, r + 4), (std::vector<uint8_t>{0, 0, 1, 0xFA}));
  EXPECT_EQ(GetU32(r + 8), 260u);
  EXPECT_EQ(GetU32(r + 12), 10u);
  EXPECT_EQ(GetI64(r + 16), -1);
  EXPECT_EQ(GetI64(r + 24), 0);
  EXPECT_EQ(GetI64(r + 32), -1);
  EXPECT_EQ(GetI64(r + 40), -1);
}

TEST(RecFile, OpenRefusals) {
  const fs::path dir = TempDir();
  const fs::path good = dir / "good.rec";
  MakeRecording(good, 500, 4);
  const auto bytes = Bytes(good);
  auto variant = [&](const char* name, auto edit) {
    auto b = bytes;
    edit(b);
    Store(dir / name, b);
    return (dir / name).string();
  };
  struct Case {
    std::string path;
    CRecReader::OpenResult expected;
  } cases[] = {
      {"x-dmb://ch", CRecReader::OpenResult::NotRecPath},
      {variant("a.txt", [](auto&) {}), CRecReader::OpenResult::NotRecPath},
      {variant("UPPER.REC", [](auto&) {}), CRecReader::OpenResult::Ok},
      {(dir / "missing.rec").string(), CRecReader::OpenResult::CannotOpen},
      {variant("noend.rec", [](auto& b) { PutU32(&b[4], kNoEndTick); }), CRecReader::OpenResult::BadHeader},
      {variant("empty.rec", [](auto& b) { PutU32(&b[4], 500); }), CRecReader::OpenResult::BadHeader},
      {variant("short.rec", [](auto& b) { b.resize(5); }), CRecReader::OpenResult::BadHeader},
      {variant("vtype.rec", [](auto& b) { PutU32(&b[8], 258); }), CRecReader::OpenResult::BadVideoInfo},
      {variant("vlen.rec", [](auto& b) { PutU32(&b[12], 1017); }), CRecReader::OpenResult::BadVideoInfo},
      {variant("alen.rec", [](auto& b) { PutU32(&b[1036], 0xFFFFFFF0); }),
       CRecReader::OpenResult::BadAudioInfo},
      {variant("noblocks.rec", [](auto& b) { b.resize(1500); }), CRecReader::OpenResult::BadAudioInfo},
  };
  for (const auto& c : cases) {
    CRecReader r;
    EXPECT_EQ(r.Open(c.path), c.expected) << c.path;
    EXPECT_EQ(r.IsOpen(), c.expected == CRecReader::OpenResult::Ok) << c.path;
  }
  // A second open releases the first file.
  CRecReader r;
  ASSERT_EQ(r.Open(good.string()), CRecReader::OpenResult::Ok);
  EXPECT_EQ(r.Open((dir / "missing.rec").string()), CRecReader::OpenResult::CannotOpen);
  EXPECT_FALSE(r.IsOpen());
}

TEST(RecFile, DamagedFilesPlayWhatIsWhole) {
  const fs::path dir = TempDir();
  const fs::path path = dir / "base.rec";
  const auto written = MakeRecording(path, 0, 12);
  const auto bytes = Bytes(path);
  std::vector<uint64_t> starts;
  for (uint64_t at = kFirstRecordOffset; at < bytes.size(); at += kRecordOverhead + GetU32(&bytes[at + 12]))
    starts.push_back(at);
  ASSERT_EQ(starts.size(), 12u);

  auto readAll = [](const std::string& p, uint64_t* resyncs = nullptr) {
    CRecReader r;
    EXPECT_EQ(r.Open(p), CRecReader::OpenResult::Ok);
    std::vector<uint32_t> ticks;
    Record rec;
    for (int guard = 0; guard < 1000; ++guard) {
      const auto res = r.ReadRecord(rec);
      if (res == CRecReader::ReadResult::End) break;
      if (res == CRecReader::ReadResult::Record) ticks.push_back(rec.head.tick);
    }
    if (resyncs) *resyncs = r.Resyncs();
    return ticks;
  };
  auto ticksExcept = [&](std::initializer_list<int> lost) {
    std::vector<uint32_t> t;
    for (int i = 0; i < 12; ++i)
      if (std::find(lost.begin(), lost.end(), i) == lost.end()) t.push_back(written[size_t(i)].tick);
    return t;
  };

  // Cut in the middle of record 9 (a player killed mid-write): records 0-8 play.
  auto cut = bytes;
  cut.resize(starts[9] + 20);
  Store(dir / "cut.rec", cut);
  EXPECT_EQ(readAll((dir / "cut.rec").string()), ticksExcept({9, 10, 11}));

  // Garbage over record 4 (including a fake marker): playback resumes at record 5.
  auto garbage = bytes;
  for (uint64_t i = starts[4]; i < starts[5] - 3; ++i) garbage[i] = 0xA5;
  garbage[starts[4] + 10] = 0;
  garbage[starts[4] + 11] = 0;
  garbage[starts[4] + 12] = 1;
  garbage[starts[4] + 13] = 0xFA;
  Store(dir / "garbage.rec", garbage);
  uint64_t resyncs = 0;
  EXPECT_EQ(readAll((dir / "garbage.rec").string(), &resyncs), ticksExcept({4}));
  EXPECT_GE(resyncs, 1u);

  // An oversize length in record 2 is refused, not allocated or read past.
  auto oversize = bytes;
  PutU32(&oversize[starts[2] + 12], 0x7FFFFFF0);
  Store(dir / "oversize.rec", oversize);
  EXPECT_EQ(readAll((dir / "oversize.rec").string()), ticksExcept({2}));

  // A length beyond the file's end on the last record is a record still being written.
  auto beyond = bytes;
  PutU32(&beyond[starts[11] + 12], 5000);
  Store(dir / "beyond.rec", beyond);
  EXPECT_EQ(readAll((dir / "beyond.rec").string()), ticksExcept({11}));
}

TEST(RecFile, SeekLandsOnTheRecordAtOrBeforeTheTarget) {
  const fs::path path = TempDir() / "seek.rec";
  // ~600 KB so the estimate and the back-off both come into play.
  const auto written = MakeRecording(path, 100, 2000, 300);
  CRecReader r;
  ASSERT_EQ(r.Open(path.string()), CRecReader::OpenResult::Ok);
  auto landed = [&](uint64_t ms) -> int64_t {
    if (!r.SeekToTime(ms)) return -1;
    Record rec;
    if (r.ReadRecord(rec) != CRecReader::ReadResult::Record) return -2;
    return int64_t(rec.head.tick) - 100;
  };
  EXPECT_TRUE(r.SeekToTime(0));
  // Back to a record read before; nowhere else.
  {
    Record first, second;
    ASSERT_EQ(r.ReadRecord(first), CRecReader::ReadResult::Record);
    ASSERT_EQ(r.ReadRecord(second), CRecReader::ReadResult::Record);
    EXPECT_FALSE(r.SeekToRecord(second.offset + 1));
    EXPECT_FALSE(r.SeekToRecord(0));
    EXPECT_EQ(r.Position(), second.offset + kRecordOverhead + second.payload.size());
    ASSERT_TRUE(r.SeekToRecord(second.offset));
    Record again;
    ASSERT_EQ(r.ReadRecord(again), CRecReader::ReadResult::Record);
    EXPECT_EQ(again.payload, second.payload);
    ASSERT_TRUE(r.SeekToTime(0));
  }
  EXPECT_EQ(r.Position(), kFirstRecordOffset);
  struct Case {
    uint64_t target;
    int64_t landsAt;
  } cases[] = {
      {10, 40},         // before the first record: the first record
      {40, 40},         // on the first record
      {4000, 4000},     // exactly a record's tick
      {4019, 4000},     // between two records: the earlier
      {8000, 8000},     // ~10 %
      {40000, 40000},   // ~50 %
      {72013, 72000},   // ~90 %
      {79990, 79960},   // inside the last 64 KB
      {999999, 80000},  // beyond the end: the last record
      {20, 40},         // back near the start after seeking far
      {40000, 40000},   // and to a position sought before
  };
  for (const auto& c : cases) EXPECT_EQ(landed(c.target), c.landsAt) << c.target;
}

TEST(RecFile, RecordingAcrossTheTickWrap) {
  const fs::path path = TempDir() / "wrap.rec";
  const uint32_t start = 0xFFFFFFFFu - 200;  // wraps after five records
  const auto written = MakeRecording(path, start, 40);
  CRecReader r;
  ASSERT_EQ(r.Open(path.string()), CRecReader::OpenResult::Ok);
  EXPECT_EQ(r.DurationMs(), 40u * 41);
  ASSERT_TRUE(r.SeekToTime(400));
  Record rec;
  ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
  EXPECT_EQ(uint32_t(rec.head.tick - start), 400u);
}

TEST(RecWriter, StartStopAndRestart) {
  const fs::path dir = TempDir();
  CRecWriter w([](int) { return std::optional<uint64_t>(1ull << 40); });
  w.Stop(5);  // without a start: nothing
  EXPECT_FALSE(w.IsOpen());
  EXPECT_FALSE(w.Start((dir / "no-such-dir" / "x.rec").string(), {}, {}, 1));
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(w.WriteRecord(kVideoType, 0, Payload(kVideoType, 10, 1), 2), CRecWriter::WriteResult::NotOpen);

  // Blocks of zeros when no configuration was known yet.
  ASSERT_TRUE(w.Start((dir / "first.rec").string(), {}, {}, 10));
  auto b = Bytes(dir / "first.rec");
  ASSERT_EQ(b.size(), kFirstRecordOffset);
  EXPECT_EQ(GetU32(&b[4]), kNoEndTick);
  EXPECT_TRUE(std::all_of(b.begin() + 8, b.end(), [](uint8_t v) { return v == 0; }));
  ASSERT_EQ(w.WriteRecord(kAudioType, 0, Payload(kAudioType, 50, 1), 20), CRecWriter::WriteResult::Written);
  b = Bytes(dir / "first.rec");
  EXPECT_EQ(GetU32(&b[4]), 20u) << "the header is current after every record";

  // A start while a file is open finishes that file first.
  ASSERT_TRUE(w.Start((dir / "second.rec").string(), {}, {}, 30));
  b = Bytes(dir / "first.rec");
  EXPECT_EQ(GetU32(&b[4]), 30u);
  EXPECT_EQ(b.size(), kFirstRecordOffset + kRecordOverhead + 50);
  EXPECT_EQ(w.WriteRecord(kVideoType, 0, Payload(kVideoType, kMaxVideoPayload + 1, 1), 40),
            CRecWriter::WriteResult::Refused);
  EXPECT_EQ(w.WriteRecord(263, 0, Payload(kVideoType, 4, 1), 40), CRecWriter::WriteResult::Refused);
  w.Stop(50);
  EXPECT_EQ(GetU32(&Bytes(dir / "second.rec")[4]), 50u);
}

TEST(RecWriter, LowSpaceSkipsRecordsAndKeepsTheFileValid) {
  const fs::path path = TempDir() / "space.rec";
  uint64_t free = 1ull << 30;
  CRecWriter w([&](int) { return std::optional<uint64_t>(free); });
  ASSERT_TRUE(
      w.Start(path.string(), MakeInfoBlock(kVideoInfoType, kSps), MakeInfoBlock(kAudioInfoType, kAdts), 0));
  ASSERT_EQ(w.WriteRecord(kAudioType, 0, Payload(kAudioType, 40, 1), 10), CRecWriter::WriteResult::Written);
  free = CRecWriter::kMinFreeBytes;  // exactly 200 MB: skipped
  EXPECT_EQ(w.WriteRecord(kAudioType, 1, Payload(kAudioType, 40, 2), 20), CRecWriter::WriteResult::LowSpace);
  free = CRecWriter::kMinFreeBytes + 1;
  ASSERT_EQ(w.WriteRecord(kAudioType, 2, Payload(kAudioType, 40, 3), 30), CRecWriter::WriteResult::Written);
  w.Stop(40);
  EXPECT_EQ(w.RecordsSkipped(), 1u);
  CRecReader r;
  ASSERT_EQ(r.Open(path.string()), CRecReader::OpenResult::Ok);
  Record rec;
  ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
  ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
  EXPECT_EQ(rec.head.time, 2);
  EXPECT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::End);

  // Free space unknown: skipped too.
  CRecWriter unknown([](int) { return std::optional<uint64_t>(); });
  ASSERT_TRUE(unknown.Start((TempDir() / "unknown.rec").string(), {}, {}, 0));
  EXPECT_EQ(unknown.WriteRecord(kAudioType, 0, Payload(kAudioType, 4, 1), 1),
            CRecWriter::WriteResult::LowSpace);
  // The real check reads this file system.
  EXPECT_TRUE(CRecWriter::FileSystemFreeSpace(STDOUT_FILENO).has_value() ||
              CRecWriter::FileSystemFreeSpace(STDIN_FILENO).has_value());
}

TEST(RecWriter, FailedWriteRollsBackToTheRecordStart) {
  const fs::path path = TempDir() / "full.rec";
  CRecWriter w([](int) { return std::optional<uint64_t>(1ull << 40); });
  ASSERT_TRUE(
      w.Start(path.string(), MakeInfoBlock(kVideoInfoType, kSps), MakeInfoBlock(kAudioInfoType, kAdts), 0));
  ASSERT_EQ(w.WriteRecord(kAudioType, 0, Payload(kAudioType, 100, 1), 10), CRecWriter::WriteResult::Written);
  const uint64_t whole = kFirstRecordOffset + kRecordOverhead + 100;
  // Let the file grow by only part of the next record, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = whole + 500;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = w.WriteRecord(kVideoType, 1, Payload(kVideoType, 4000, 2), 20);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(result, CRecWriter::WriteResult::Failed);
  EXPECT_EQ(fs::file_size(path), whole);
  ASSERT_EQ(w.WriteRecord(kAudioType, 2, Payload(kAudioType, 100, 3), 30), CRecWriter::WriteResult::Written);
  w.Stop(40);
  CRecReader r;
  ASSERT_EQ(r.Open(path.string()), CRecReader::OpenResult::Ok);
  Record rec;
  ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
  ASSERT_EQ(r.ReadRecord(rec), CRecReader::ReadResult::Record);
  EXPECT_EQ(rec.head.time, 2);
  EXPECT_EQ(r.Resyncs(), 0u);
}

// Records skipped up to the stop are left out of the header's duration too.
TEST(RecWriter, AStopWhileSkippingEndsTheDurationAtTheLastWrittenRecord) {
  struct Case {
    const char* name;
    bool writeFirst;
    uint32_t endTick;
  };
  const Case cases[] = {{"guard after a record", true, 10}, {"guard from the start", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = TempDir() / "skipstop.rec";
    uint64_t free = 1ull << 30;
    CRecWriter w([&](int) { return std::optional<uint64_t>(free); });
    ASSERT_TRUE(
        w.Start(path.string(), MakeInfoBlock(kVideoInfoType, kSps), MakeInfoBlock(kAudioInfoType, kAdts), 0));
    if (c.writeFirst)
      ASSERT_EQ(w.WriteRecord(kAudioType, 0, Payload(kAudioType, 40, 1), 10),
                CRecWriter::WriteResult::Written);
    free = CRecWriter::kMinFreeBytes;
    EXPECT_EQ(w.WriteRecord(kAudioType, 1, Payload(kAudioType, 40, 2), 20),
              CRecWriter::WriteResult::LowSpace);
    w.Stop(40);
    EXPECT_EQ(GetU32(&Bytes(path)[4]), c.endTick);
  }
  // A failed write, the file system full.
  const fs::path path = TempDir() / "skipfail.rec";
  CRecWriter w([](int) { return std::optional<uint64_t>(1ull << 40); });
  ASSERT_TRUE(
      w.Start(path.string(), MakeInfoBlock(kVideoInfoType, kSps), MakeInfoBlock(kAudioInfoType, kAdts), 0));
  ASSERT_EQ(w.WriteRecord(kAudioType, 0, Payload(kAudioType, 100, 1), 10), CRecWriter::WriteResult::Written);
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = fs::file_size(path) + 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = w.WriteRecord(kVideoType, 1, Payload(kVideoType, 4000, 2), 20);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(result, CRecWriter::WriteResult::Failed);
  w.Stop(40);
  EXPECT_EQ(GetU32(&Bytes(path)[4]), 10u);
}

TEST(RecTimeline, BaseAndDrops) {
  RecTimeline t;
  EXPECT_FALSE(t.OnVideo(5000));
  EXPECT_FALSE(t.OnAudio(-1));
  EXPECT_EQ(t.OnAudio(10'000'000), 0);
  EXPECT_EQ(t.OnVideo(10'400'000), 400'000) << "video keeps its recorded relationship to audio";
  EXPECT_EQ(t.OnAudio(10'213'333), 213'333);
  t.Reset();
  EXPECT_FALSE(t.OnVideo(30'000'000));
  EXPECT_EQ(t.OnAudio(30'000'000), 0);
  // A seek that knows its target's time: what comes before it is negative.
  t.SetBase(50'000'000);
  EXPECT_EQ(t.OnVideo(49'000'000), -1'000'000);
  EXPECT_EQ(t.OnAudio(50'213'333), 213'333);
  // Damaged times too far from the base for the difference to fit are dropped, not wrapped.
  t.SetBase(INT64_MIN / 2 - 1);
  EXPECT_FALSE(t.OnVideo(INT64_MAX / 2 + 2));
  EXPECT_FALSE(t.OnAudio(INT64_MAX));
  EXPECT_EQ(t.OnVideo(INT64_MIN / 2), 1);
}

TEST(RecTimeline, BatchSize) {
  struct Case {
    size_t v, a;
    int batch;
  } cases[] = {{0, 0, 40}, {61, 60, 40}, {60, 61, 40}, {61, 61, 30}, {400, 100, 30}, {401, 100, 0}};
  for (const auto& c : cases) EXPECT_EQ(RecBatchSize(c.v, c.a), c.batch) << c.v << "," << c.a;
}

}  // namespace
