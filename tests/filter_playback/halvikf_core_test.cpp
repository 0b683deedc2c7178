// The playback filter's object without the media framework: loading, the read thread's batches
// and timeline, and seeks beside the read thread and the pins.
#include "filter/playback/halvikf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "rec_graph.h"

namespace {

namespace fs = std::filesystem;
using halvikf::CHalvikF;
using Open = rec::CRecReader::OpenResult;

std::string TestPath(const std::string& name) {
  return (fs::path(std::getenv("XDG_RUNTIME_DIR")) / name).string();
}

const testgraph::Stream& Basic() {
  static const testgraph::Stream s = testgraph::FixtureStream("basic");
  return s;
}

TEST(CHalvikF, LoadTakesRecordingsOnlyAndASecondLoadReplacesTheFirst) {
  const std::string good = TestPath("core.rec");
  const uint32_t ms = recgraph::WriteRecording(good, Basic(), 1);
  CHalvikF f;
  EXPECT_EQ(f.Load("x-dmb://14141"), Open::NotRecPath);
  EXPECT_EQ(f.Load(TestPath("core.ts")), Open::NotRecPath);
  EXPECT_EQ(f.Load(TestPath("missing.rec")), Open::CannotOpen);
  EXPECT_FALSE(f.loaded());
  ASSERT_EQ(f.Load(good), Open::Ok);
  EXPECT_EQ(f.Duration(), int64_t(ms) * 10000);
  EXPECT_EQ(f.video_size(), (halvik::PictureSize{320, 180}));
  EXPECT_EQ(f.audio_rate(), 48000);
  EXPECT_EQ(f.GetCurFile(), good);
  const std::string other = TestPath("core2.rec");
  recgraph::WriteRecording(other, Basic(), 2);
  f.Pause();
  EXPECT_NE(f.Load(other), Open::Ok) << "not under a running read thread";
  EXPECT_EQ(f.GetCurFile(), good);
  f.Stop();
  ASSERT_EQ(f.Load(other), Open::Ok);
  EXPECT_GT(f.Duration(), int64_t(ms) * 10000);
}

TEST(CHalvikF, BatchesStartTheTimesAtTheFirstSoundAndRespectTheQueueBounds) {
  const std::string path = TestPath("batch.rec");
  recgraph::WriteRecording(path, Basic(), 3);
  CHalvikF f;
  ASSERT_EQ(f.Load(path), Open::Ok);
  ASSERT_TRUE(f.ReadRecords(0));
  EXPECT_EQ(f.queued_video() + f.queued_audio(), 40u);  // below 60 queued: a batch of 40
  std::vector<uint8_t> pcm(halvik::kAudioBufferSize);
  const auto first = f.audio_pin().FillBuffer(pcm.data());
  ASSERT_TRUE(first.deliver);
  EXPECT_EQ(first.time, 0);
  while (f.ReadRecords(0)) {
  }
  // The end of the file: every turn comes up short and nothing more arrives.
  const size_t all = f.queued_video() + f.queued_audio();
  EXPECT_FALSE(f.ReadRecords(0));
  EXPECT_EQ(f.queued_video() + f.queued_audio(), all);
  EXPECT_FALSE(f.SetRate(0));
  EXPECT_FALSE(f.SetRate(-1));
  EXPECT_TRUE(f.SetRate(2.0));
  f.Pause();
  f.Stop();
  EXPECT_EQ(f.rate(), 1.0);
  EXPECT_EQ(f.queued_video() + f.queued_audio(), 0u);
  // Stopped, it starts again from the first record.
  ASSERT_TRUE(f.ReadRecords(0));
  EXPECT_EQ(f.audio_pin().FillBuffer(pcm.data()).time, 0);
}

TEST(CHalvikF, ASeekEmptiesTheQueuesAndTheFirstFrameShownIsAtTheTarget) {
  const std::string path = TestPath("seekcore.rec");
  recgraph::WriteRecording(path, Basic(), 1);
  CHalvikF f;
  ASSERT_EQ(f.Load(path), Open::Ok);
  ASSERT_TRUE(f.ReadRecords(0));
  ASSERT_GT(f.queued_video(), 0u);
  ASSERT_TRUE(f.Seek(2'000 * 10'000));
  EXPECT_EQ(f.queued_video() + f.queued_audio(), 0u);
  for (int i = 0; i < 3; ++i) f.ReadRecords(0);
  // Decoding starts at the key picture (frame 30) before the target; times before it are negative.
  std::vector<uint8_t> picture(size_t(320) * 180 * 4);
  int shown = -1;
  bool negative_seen = false;
  while (f.queued_video() > 0 && shown < 0) {
    const auto v = f.video_pin().FillBuffer(picture.data(), {320, 180}, 320 * 4);
    if (v.kind != halvik::CHalvikVideoStream::Fill::kDeliver) continue;
    if (v.time < 0) {
      negative_seen = true;
      continue;
    }
    shown = tevalo::test::ReadFrameCodeBgrx(picture.data(), 320, 180, 320 * 4);
  }
  EXPECT_TRUE(negative_seen);
  EXPECT_NEAR((3840 + 6000.0 * shown) / 90.0, 2000.0, 100.0) << shown;
}

// The recorder's pins write independently, so the first picture can reach the file before the
// first sound: it is still shown, at its distance from that sound, whether playback starts at the
// beginning or seeks back to it.
TEST(CHalvikF, APictureWrittenBeforeTheFirstSoundIsShown) {
  testgraph::Stream s = Basic();
  const auto first_video =
      std::find_if(s.units.begin(), s.units.end(), [](auto& u) { return u.type == 259; });
  ASSERT_NE(first_video, s.units.begin());
  ASSERT_GT(first_video->pts90, s.units.front().pts90);
  std::rotate(s.units.begin(), first_video, first_video + 1);
  const int64_t lead = (s.units.front().pts90 - s.units[1].pts90) * 1000 / 9;  // 100 ns
  const std::string path = TestPath("picturefirst.rec");
  recgraph::WriteRecording(path, s, 1);
  const size_t pictures = testgraph::CountUnits(s, 259);
  const size_t records = pictures + testgraph::CountUnits(s, 260);

  for (const bool seek : {false, true}) {
    SCOPED_TRACE(seek ? "seek to the start" : "start");
    CHalvikF f;
    ASSERT_EQ(f.Load(path), Open::Ok);
    if (seek) {
      ASSERT_TRUE(f.ReadRecords(0));
      ASSERT_TRUE(f.Seek(0));
      while (f.ReadRecords(0)) {
      }
    } else {
      f.Pause();  // the read thread reads the whole file: the queues' bound is far above it
      for (int i = 0; i < 60000 && f.queued_video() + f.queued_audio() < records; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(f.queued_video(), pictures);
    std::vector<uint8_t> picture(size_t(320) * 180 * 4);
    std::vector<int> codes;
    std::vector<int64_t> times;
    while (f.queued_video() > 0) {
      const auto v = f.video_pin().FillBuffer(picture.data(), {320, 180}, 320 * 4);
      if (v.kind != halvik::CHalvikVideoStream::Fill::kDeliver) continue;
      codes.push_back(tevalo::test::ReadFrameCodeBgrx(picture.data(), 320, 180, 320 * 4));
      times.push_back(v.time);
    }
    ASSERT_EQ(codes.size(), pictures);
    EXPECT_EQ(codes.front(), 0);
    EXPECT_EQ(codes.back(), int(pictures) - 1);
    EXPECT_EQ(times.front(), lead);
    f.Stop();
  }
}

TEST(CHalvikF, SeeksBesideTheReadThreadAndThePins) {
  const std::string path = TestPath("race.rec");
  recgraph::WriteRecording(path, Basic(), 2);
  CHalvikF f;
  ASSERT_EQ(f.Load(path), Open::Ok);
  f.Pause();
  f.Run();
  std::atomic<bool> done{false};
  std::thread pins([&] {
    std::vector<uint8_t> picture(size_t(320) * 180 * 4), pcm(halvik::kAudioBufferSize);
    while (!done) {
      f.video_pin().FillBuffer(picture.data(), {320, 180}, 320 * 4);
      f.audio_pin().FillBuffer(pcm.data());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::mt19937 rng(99);
  for (int i = 0; i < 30; ++i) {
    // The element idles the pins around a seek; here they only share the queues.
    f.Seek(int64_t(rng() % uint32_t(f.Duration() + 1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 60));
  }
  done = true;
  pins.join();
  f.Pause();
  f.Stop();
  EXPECT_EQ(f.queued_video() + f.queued_audio(), 0u);
}

// A crash can leave a recording followed by zeros, written or a hole: what a seek or one read
// turn past the last record (the wait a stop has) reads must not grow with them.
TEST(CRecReader, AZeroTailCostsSeeksAndReadTurnsNoMoreThanWithout) {
  struct Tail {
    const char* name;
    uint64_t bytes;
    bool sparse;
  };
  const Tail tails[] = {{"none", 0, false},
                        {"16 MB", 16ull << 20, false},
                        {"64 MB", 64ull << 20, false},
                        {"5 GB", 5ull << 30, true}};
  const std::string clean = TestPath("tail.rec");
  const uint32_t ms = recgraph::WriteRecording(clean, Basic(), 2);
  constexpr uint64_t kSlack = rec::CRecReader::kScanBudget;
  uint64_t cleanSeek = 0;
  for (const Tail& t : tails) {
    SCOPED_TRACE(t.name);
    const std::string path = TestPath("tail-x.rec");
    fs::copy_file(clean, path, fs::copy_options::overwrite_existing);
    if (t.sparse) {
      fs::resize_file(path, fs::file_size(path) + t.bytes);
    } else {
      std::ofstream out(path, std::ios::binary | std::ios::app);
      const std::vector<char> zeros(1 << 20);
      for (uint64_t n = 0; n < t.bytes; n += zeros.size())
        out.write(zeros.data(), std::streamsize(zeros.size()));
    }
    rec::CRecReader r;
    ASSERT_EQ(r.Open(path), Open::Ok);
    uint64_t seek = 0;
    for (const uint64_t target : {uint64_t(ms) / 4, uint64_t(ms) / 2, uint64_t(ms) - 1}) {
      const uint64_t before = r.BytesRead();
      ASSERT_TRUE(r.SeekToTime(target)) << target;
      seek = std::max(seek, r.BytesRead() - before);
    }
    if (t.bytes == 0) cleanSeek = seek;
    EXPECT_LE(seek, cleanSeek + kSlack);
    ASSERT_TRUE(r.SeekToTime(0));
    rec::Record rec;
    rec::CRecReader::ReadResult result;
    uint64_t turn = 0;
    do {
      const uint64_t before = r.BytesRead();
      result = r.ReadRecord(rec);
      turn = r.BytesRead() - before;
    } while (result == rec::CRecReader::ReadResult::Record);
    EXPECT_LE(turn, kSlack + (256u << 10));
    fs::remove(path);
  }
}

}  // namespace
