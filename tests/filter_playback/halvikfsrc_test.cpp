#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>

#include "bsac_stream.h"
#include "filter/playback/rec_reader.h"
#include "filter/source/video_decoder_front.h"
#include "filter/source/yuv_to_bgrx.h"
#include "rec_graph.h"
#include "tone.h"

using recgraph::RecGraph;

namespace {

namespace fs = std::filesystem;

std::string TestPath(const std::string& name) {
  return (fs::path(std::getenv("XDG_RUNTIME_DIR")) / name).string();
}

const testgraph::Stream& Basic() {
  static const testgraph::Stream s = testgraph::FixtureStream("basic");
  return s;
}

// The file position (ms) of picture n of the basic fixture: its stamp after the first audio frame's,
// plus the decoder delay that delivered pictures wait for.
double PictureMs(int n) { return (3840 + 6000.0 * n) / 90.0 + 20.0; }

// The pictures the live filter's decoder front makes of the fixture's access units, in order.
std::vector<recgraph::Bytes> ReferencePictures() {
  std::vector<recgraph::Bytes> out;
  halvik::VideoDecoderFront front;
  EXPECT_TRUE(front.Open(Basic().video_config.data(), Basic().video_config.size()));
  for (const auto& u : Basic().units) {
    if (u.type != 259) continue;
    if (front.Decode(u.bytes.data(), u.bytes.size()) != halvik::VideoDecoderFront::Result::kPicture) continue;
    const halvik::YuvPlanes pic = front.picture();
    recgraph::Bytes b(size_t(pic.width) * pic.height * 4);
    halvik::ConvertYuv420ToBgrx(pic, b.data(), ptrdiff_t{pic.width} * 4);
    out.push_back(std::move(b));
  }
  return out;
}

gint64 Query(GstElement* e, GstQueryType type) {
  gint64 v = -1;
  if (type == GST_QUERY_DURATION)
    gst_element_query_duration(e, GST_FORMAT_TIME, &v);
  else
    gst_element_query_position(e, GST_FORMAT_TIME, &v);
  return v;
}

TEST(Halvikfsrc, ElementShapeAndQueries) {
  const std::string path = TestPath("shape.rec");
  const uint32_t ms = recgraph::WriteRecording(path, Basic(), 1);
  RecGraph g;
  GstElementFactory* f = gst_element_get_factory(g.src);
  EXPECT_STREQ(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME), "DMB REC Filter");
  for (const char* name : {"F_DMBStream_VIDEO", "F_DMBStream_AUDIO"}) {
    GstPad* pad = gst_element_get_static_pad(g.src, name);
    ASSERT_TRUE(pad) << name;
    gst_object_unref(pad);
  }
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_EQ(g.Set(GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
  EXPECT_FALSE(g.Seek(1.0)) << "nothing to seek before the preroll";
  ASSERT_EQ(g.Set(GST_STATE_PAUSED), GST_STATE_CHANGE_SUCCESS);
  GstPad* pad = gst_element_get_static_pad(g.src, "F_DMBStream_VIDEO");
  GstQuery* latency = gst_query_new_latency();
  ASSERT_TRUE(gst_pad_query(pad, latency));
  gboolean live = TRUE;
  gst_query_parse_latency(latency, &live, nullptr, nullptr);
  EXPECT_FALSE(live);
  gst_query_unref(latency);
  GstQuery* seeking = gst_query_new_seeking(GST_FORMAT_TIME);
  ASSERT_TRUE(gst_pad_query(pad, seeking));
  gboolean seekable = FALSE;
  gint64 start = -1, end = -1;
  gst_query_parse_seeking(seeking, nullptr, &seekable, &start, &end);
  EXPECT_TRUE(seekable);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, gint64(ms) * GST_MSECOND);
  gst_query_unref(seeking);
  gst_object_unref(pad);
  // Duration in 100-ns steps is (end tick - start tick) x 10000.
  EXPECT_EQ(Query(g.pipe, GST_QUERY_DURATION), gint64(ms) * GST_MSECOND);
  // Paused reached: both sinks prerolled on what was read while paused.
  EXPECT_EQ(g.prerolls.load(), 2);
}

TEST(Halvikfsrc, PlaysTheRecordedPicturesAndSoundInTheirRecordedRelationship) {
  const std::string path = TestPath("play.rec");
  recgraph::WriteRecording(path, Basic(), 1);
  const auto reference = ReferencePictures();
  ASSERT_EQ(reference.size(), 64u);
  RecGraph g;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitFor([](size_t p, size_t s) { return p >= 64 && s >= 100; }, 60000));
  const gint64 position = Query(g.pipe, GST_QUERY_POSITION);
  const auto pictures = g.pictures();
  const auto sounds = g.sounds();
  ASSERT_EQ(pictures.size(), 64u);
  for (size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_EQ(pictures[i].code, int(i));
    EXPECT_TRUE(pictures[i].bgrx == reference[i]) << "picture " << i;
    EXPECT_NEAR(double(pictures[i].stream_time) / GST_MSECOND, PictureMs(int(i)), 1.0) << i;
  }
  EXPECT_EQ(sounds.size(), 100u);  // no end-of-stream: nothing more after the last record
  EXPECT_EQ(sounds[0].stream_time, 0u);
  for (size_t i = 1; i < sounds.size(); ++i)
    EXPECT_NEAR(double(sounds[i].stream_time) / GST_MSECOND, (3840.0 * double(i)) / 90.0, 1.0);
  // The tones: 440 Hz left, 660 Hz right, once the decoder has settled.
  const auto* pcm = reinterpret_cast<const int16_t*>(sounds[50].pcm.data());
  EXPECT_GT(testes::ToneShare(pcm, 2048, 0, 440), 0.8);
  EXPECT_GT(testes::ToneShare(pcm, 2048, 1, 660), 0.8);
  EXPECT_GT(position, gint64(3 * GST_SECOND));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(g.pictures().size(), 64u);
}

TEST(Halvikfsrc, SeeksLandWithinASecondOfTheTarget) {
  // The second recording was made across the wrap of the 32-bit tick.
  for (const uint32_t start_tick : {5000u, 0xFFFFFFFFu - 2000u}) {
    SCOPED_TRACE(start_tick);
    const std::string path = TestPath("seek.rec");
    const uint32_t ms = recgraph::WriteRecording(path, Basic(), 1, start_tick);
    RecGraph g;
    g.keep_bytes = false;
    g_object_set(g.src, "location", path.c_str(), nullptr);
    ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(g.WaitFor([](size_t p, size_t) { return p >= 5; }, 60000));
    for (double fraction : {0.1, 0.5, 0.9, 0.0}) {
      const double target_ms = fraction * ms;
      ASSERT_TRUE(g.Seek(target_ms / 1000.0));
      const auto first = g.FirstPictureAfterSeek(60000);
      ASSERT_TRUE(first) << fraction;
      const double shown_ms = PictureMs(first->code);
      std::printf("seek to %.0f %% (%.0f ms): first picture %d (%.0f ms, %+.0f ms), stream time %.0f ms\n",
                  fraction * 100, target_ms, first->code, shown_ms, shown_ms - target_ms,
                  double(first->stream_time) / GST_MSECOND);
      EXPECT_LE(std::abs(shown_ms - target_ms), 150.0) << fraction;  // the picture at the target
      EXPECT_NEAR(double(first->stream_time) / GST_MSECOND, shown_ms, 40.0) << fraction;
      // Nothing queued for the old position comes after the seek.
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      for (const auto& p : g.pictures(g.mark_video)) EXPECT_GE(PictureMs(p.code), target_ms - 1000.0);
    }
  }
}

TEST(Halvikfsrc, ASeekOnBothPadsFlushesOnceAndRateScalesTheTimes) {
  const std::string path = TestPath("rate.rec");
  recgraph::WriteRecording(path, Basic(), 1);
  RecGraph g;
  g.keep_bytes = false;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  std::atomic<int> flushes{0};
  GstPad* sinkpad = gst_element_get_static_pad(g.vsink, "sink");
  gst_pad_add_probe(
      sinkpad, GST_PAD_PROBE_TYPE_EVENT_FLUSH,
      [](GstPad*, GstPadProbeInfo* info, gpointer data) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP)
          ++*static_cast<std::atomic<int>*>(data);
        return GST_PAD_PROBE_OK;
      },
      &flushes, nullptr);
  gst_object_unref(sinkpad);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitFor([](size_t p, size_t) { return p >= 3; }, 60000));
  // The pipeline hands the seek to both sinks, and each sends it up its own pad.
  ASSERT_TRUE(g.Seek(0.0, 2.0));
  EXPECT_EQ(flushes.load(), 1);
  ASSERT_TRUE(g.WaitFor([&](size_t p, size_t) { return p >= g.mark_video + 20; }, 60000));
  const auto pictures = g.pictures(g.mark_video);
  for (size_t i = 1; i < pictures.size(); ++i) {
    if (pictures[i].code != pictures[i - 1].code + 1) continue;
    // Half the distance between pictures in buffer time, the file's distance in stream time.
    EXPECT_NEAR(double(pictures[i].pts - pictures[i - 1].pts) / GST_MSECOND, 1000.0 / 30, 1.0);
    EXPECT_NEAR(double(pictures[i].stream_time - pictures[i - 1].stream_time) / GST_MSECOND, 1000.0 / 15,
                1.0);
  }
  // A rate of 0 or below is refused.
  EXPECT_FALSE(gst_element_seek(g.pipe, -1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, GST_SEEK_TYPE_SET, 0,
                                GST_SEEK_TYPE_NONE, -1));
  // Stopping returns the rate to 1.
  ASSERT_EQ(g.Set(GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
  const size_t before = g.pictures().size();
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitFor([&](size_t p, size_t) { return p >= before + 5; }, 60000));
  const auto again = g.pictures(before);
  EXPECT_EQ(again[0].code, 0);
  EXPECT_NEAR(double(again[1].pts - again[0].pts) / GST_MSECOND, 1000.0 / 15, 1.0);
}

TEST(Halvikfsrc, RandomSeeksDuringPlaybackNeitherCrashNorHang) {
  const std::string path = TestPath("random.rec");
  const uint32_t ms = recgraph::WriteRecording(path, Basic(), 3);
  RecGraph g(true);
  g.keep_bytes = false;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> where(0.0, ms / 1000.0);
  std::uniform_int_distribution<int> pause(0, 120);
  int far = 0;
  for (int i = 0; i < 50; ++i) {
    const double target = i % 10 == 9 ? ms / 1000.0 : where(rng);  // now and then the very end
    ASSERT_TRUE(g.Seek(target, i % 7 == 3 ? 2.0 : 1.0)) << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
    if (i % 5 == 0) {
      // Now and then wait for the picture and compare within the fixture's loop.
      const auto first = g.FirstPictureAfterSeek(60000);
      ASSERT_TRUE(first) << "seek " << i << " to " << target;
      const double loop_ms = recgraph::kLoopTicks90 / 90.0;
      double d = std::fmod(PictureMs(first->code) - std::fmod(target * 1000, loop_ms) + 2 * loop_ms, loop_ms);
      d = std::min(d, loop_ms - d);
      far += d > 200.0;
    }
  }
  EXPECT_EQ(far, 0);
  ASSERT_TRUE(g.Seek(0));
  const auto first = g.FirstPictureAfterSeek(60000);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->code, 0);
  EXPECT_EQ(g.Set(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
}

TEST(Halvikfsrc, ADualMonoRecordingPlaysItsMainProgrammeOnBothChannels) {
  const std::string path = TestPath("dual.rec");
  recgraph::WriteRecording(path, testgraph::FixtureStream("dualmono"), 1);
  RecGraph g;
  g.keep_bytes = false;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitFor([](size_t, size_t s) { return s >= 60; }, 60000));
  const auto sounds = g.sounds();
  for (size_t i : {size_t(30), size_t(50)}) {
    const auto* pcm = reinterpret_cast<const int16_t*>(sounds[i].pcm.data());
    for (int ch : {0, 1}) {
      EXPECT_GT(testes::ToneShare(pcm, 2048, ch, 440), 0.8) << "sound " << i << " channel " << ch;
      EXPECT_LT(testes::ToneShare(pcm, 2048, ch, 1000), 0.1) << "sound " << i << " channel " << ch;
    }
  }
}

// A recording whose audio configuration names ER-BSAC: its units pass the read step without an
// ADTS header and play as one buffer of 1024 stereo frames each at 44100 Hz, at the units' times;
// units that need models the decoder lacks are silence of that length.
TEST(Halvikfsrc, AnErBsacRecordingPlaysItsUnitsAtTheirRateAndTimes) {
  const std::string path = TestPath("bsac.rec");
  const auto stream = testgraph::WithBsacSound(Basic());
  recgraph::WriteRecording(path, stream, 1);
  const size_t units = testgraph::CountUnits(stream, 260);
  RecGraph g;
  g.keep_bytes = false;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitFor([&](size_t, size_t s) { return s >= units; }, 30000));
  const auto sounds = g.sounds();
  ASSERT_EQ(sounds.size(), units);
  const int64_t p0 = stream.units.front().pts90;
  size_t k = 0;
  for (const auto& u : stream.units) {
    if (u.type != 260) continue;
    const auto& s = sounds[k++];
    EXPECT_EQ(s.rate, testgraph::kBsacRate);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.pcm.size(), 4096u);
    // Buffer times run from the segment's start of 1 s; the recording keeps 100-ns times.
    EXPECT_EQ(int64_t(s.pts), 1'000'000'000 + (u.pts90 - p0) * 1000 / 9 * 100) << k;
    EXPECT_TRUE(std::all_of(s.pcm.begin(), s.pcm.end(), [](uint8_t b) { return b == 0; })) << k;
  }
}

// Byte edits of a good recording.
void Patch(const std::string& path, uint64_t at, const std::vector<uint8_t>& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(std::streamoff(at));
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Offsets of every record of a good recording.
std::vector<uint64_t> RecordOffsets(const std::string& path) {
  rec::CRecReader r;
  EXPECT_EQ(r.Open(path), rec::CRecReader::OpenResult::Ok);
  std::vector<uint64_t> out;
  rec::Record rr;
  while (r.ReadRecord(rr) == rec::CRecReader::ReadResult::Record) out.push_back(rr.offset);
  return out;
}

TEST(Halvikfsrc, DamagedRecordingsPlayWhatIsWholeAndRefuseWhatIsNoRecording) {
  struct Case {
    const char* name;
    std::function<void(const std::string&, const std::vector<uint64_t>&)> damage;
    bool plays;
    int min_pictures;  // pictures expected at least
    bool reaches_end;  // pictures from the end of the file arrive
  };
  const std::vector<uint8_t> ones(4, 0xFF);
  std::mt19937 rng(7);
  std::vector<uint8_t> garbage(3000);
  for (auto& b : garbage) b = uint8_t(rng());
  const Case cases[] = {
      {"truncated mid-record",
       [](const std::string& p, const std::vector<uint64_t>& at) {
         fs::resize_file(p, at[at.size() / 2] + 30);
       },
       true, 20, false},
      {"garbage in the middle",
       [&](const std::string& p, const std::vector<uint64_t>& at) {
         Patch(p, at[at.size() / 2] + 5, garbage);
       },
       true, 20, true},
      {"oversize lengths",
       [&](const std::string& p, const std::vector<uint64_t>& at) {
         for (size_t i = 40; i < 50; ++i) Patch(p, at[i] + 12, ones);
       },
       true, 10, true},
      {"no end yet", [&](const std::string& p, const std::vector<uint64_t>&) { Patch(p, 4, ones); }, false, 0,
       false},
      {"empty recording",
       [&](const std::string& p, const std::vector<uint64_t>&) {
         Patch(p, 4, {0x88, 0x13, 0, 0});
       },  // end = start
       false, 0, false},
      {"wrong video block",
       [&](const std::string& p, const std::vector<uint64_t>&) {
         Patch(p, 8, {2, 1, 0, 0});
       },
       false, 0, false},
      {"audio block too long",
       [&](const std::string& p, const std::vector<uint64_t>&) {
         Patch(p, 1036, {0, 8, 0, 0});
       },
       false, 0, false},
      {"header only", [](const std::string& p, const std::vector<uint64_t>&) { fs::resize_file(p, 8); },
       false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestPath("damaged.rec");
    recgraph::WriteRecording(path, Basic(), 1);
    c.damage(path, RecordOffsets(path));
    RecGraph g;
    g.keep_bytes = false;
    g_object_set(g.src, "location", path.c_str(), nullptr);
    const GstStateChangeReturn rc = g.Set(GST_STATE_PLAYING);
    if (!c.plays) {
      EXPECT_EQ(rc, GST_STATE_CHANGE_FAILURE);
      continue;
    }
    ASSERT_NE(rc, GST_STATE_CHANGE_FAILURE);
    // Until the pictures expected are there, and the last one where the end plays.
    ASSERT_TRUE(g.WaitFor([&](size_t p, size_t) { return int(p) >= c.min_pictures; }, 60000));
    if (c.reaches_end) {
      ASSERT_TRUE(g.WaitForPicture([](const auto& p) { return p.code == 63; }, 60000));
    }
    const auto pictures = g.pictures();
    EXPECT_GE(int(pictures.size()), c.min_pictures);
    // Up to the damage the pictures come in order.
    for (int i = 0; i < std::min(c.min_pictures, int(pictures.size())); ++i)
      EXPECT_EQ(pictures[size_t(i)].code, i);
    if (c.reaches_end) {
      // Pictures decoded against lost references are whatever the decoder makes of them; from the
      // next picture that needs none (frame 45) the rest of the recording plays in order.
      const auto from =
          std::find_if(pictures.begin(), pictures.end(), [](const auto& p) { return p.code == 45; });
      ASSERT_NE(from, pictures.end());
      ASSERT_EQ(pictures.end() - from, 19);
      for (auto it = from; it != pictures.end(); ++it) EXPECT_EQ(it->code, 45 + (it - from));
    }
  }
}

TEST(Halvikfsrc, ARecordingMadeShortOfSpaceSkipsFramesAndStaysPlayable) {
  const std::string path = TestPath("lowspace.rec");
  std::atomic<int> calls{0};
  // Below 200 MB for a stretch in the middle.
  recgraph::WriteRecording(path, Basic(), 1, 5000, [&](int) -> std::optional<uint64_t> {
    const int n = calls++;
    return (n >= 40 && n < 80) ? (150ull << 20) : (1ull << 40);
  });
  const auto offsets = RecordOffsets(path);
  EXPECT_EQ(offsets.size(), Basic().units.size() - 40);
  RecGraph g;
  g.keep_bytes = false;
  g_object_set(g.src, "location", path.c_str(), nullptr);
  ASSERT_NE(g.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(g.WaitForPicture([](const auto& p) { return p.code >= 60; }, 60000));
  const auto pictures = g.pictures();
  ASSERT_FALSE(pictures.empty());
  EXPECT_EQ(pictures.front().code, 0);
  EXPECT_GE(pictures.back().code, 60);
}

TEST(Halvikfsrc, LocationsThatAreNoRecordingAreRefusedAndASecondLoadReplacesTheFirst) {
  for (const char* where : {"x-dmb://14141", "/nonexistent/a.rec", "/etc/hostname"}) {
    RecGraph g;
    g_object_set(g.src, "location", where, nullptr);
    EXPECT_EQ(g.Set(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE) << where;
  }
  const std::string a = TestPath("first.rec"), b = TestPath("SECOND.REC");
  const uint32_t ms_a = recgraph::WriteRecording(a, Basic(), 1);
  const uint32_t ms_b = recgraph::WriteRecording(b, Basic(), 2);
  ASSERT_NE(ms_a, ms_b);
  RecGraph g;
  g_object_set(g.src, "location", a.c_str(), nullptr);
  g_object_set(g.src, "location", b.c_str(), nullptr);
  ASSERT_EQ(g.Set(GST_STATE_PAUSED), GST_STATE_CHANGE_SUCCESS);
  EXPECT_EQ(Query(g.pipe, GST_QUERY_DURATION), gint64(ms_b) * GST_MSECOND);
}

TEST(Halvikfsrc, AFifoASocketOrADeviceNamedLikeARecordingIsRefusedWithoutBlocking) {
  struct Case {
    const char* kind;
    std::function<bool(const std::string&)> make;
  };
  const Case cases[] = {
      {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }},
      {"socket",
       [](const std::string& p) {
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         if (p.size() >= sizeof addr.sun_path) return false;
         std::copy(p.begin(), p.end(), addr.sun_path);
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         if (fd >= 0) close(fd);
         return ok;
       }},
      // The null device itself where a device node cannot be made (not root).
      {"device",
       [](const std::string& p) {
         return mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0 || symlink("/dev/null", p.c_str()) == 0;
       }},
      {"folder", [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const fs::path dir = TestPath(std::string("special-") + c.kind);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "x.rec").string();
    ASSERT_TRUE(c.make(path));
    auto attempt = std::async(std::launch::async, [&] {
      RecGraph g;
      g_object_set(g.src, "location", path.c_str(), nullptr);
      const GstStateChangeReturn rc = g.Set(GST_STATE_PAUSED);
      std::string error;
      GstBus* bus = gst_element_get_bus(g.pipe);
      if (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* e = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(m, &e, &debug);
        error = std::string(e->message) + " / " + (debug ? debug : "");
        g_error_free(e);
        g_free(debug);
        gst_message_unref(m);
      }
      gst_object_unref(bus);
      return std::make_pair(rc, error);
    });
    if (attempt.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "the location blocked";
      // Lets a blocked open of the FIFO return, so the test can end.
      const int w = open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (w >= 0) close(w);
    }
    const auto [rc, error] = attempt.get();
    EXPECT_EQ(rc, GST_STATE_CHANGE_FAILURE);
    EXPECT_NE(error.find("cannot play"), std::string::npos) << error;
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  }
}

}  // namespace
