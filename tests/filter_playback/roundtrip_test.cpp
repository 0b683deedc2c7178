// The live filter records the test broadcast it is fed through the channel; the playback element
// plays the recording back with the same pictures and sound.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "filter/playback/rec_reader.h"
#include "filter/source/recorder.h"
#include "rec_graph.h"

namespace {

namespace fs = std::filesystem;
using testhost::ChannelWriter;

TEST(RecordingRoundTrip, TheLiveFilterRecordsWhatThePlaybackElementPlaysBackUnchanged) {
  const fs::path dir = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "roundtrip";
  fs::remove_all(dir);
  fs::create_directories(dir / "user");
  const std::string path = (dir / "recording.rec").string();
  std::ofstream(dir / "registry.ini") << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n"
                                      << "\"User_Dir\"=\"" << (dir / "user").string() << "/\"\n"
                                      << "\"rec_Dir\"=\"" << dir.string() << "/\"\n";
  std::ofstream(dir / "user" / "config.ini") << "[RECControl]\nFileName=" << path << "\n";
  setenv("TEVALO_REGISTRY", (dir / "registry.ini").c_str(), 1);

  const auto stream = testgraph::FixtureStream("basic");
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  const size_t audio_frames = testgraph::CountUnits(stream, 260);

  // The recording's length is its stop tick less its start tick: the test moves the tick by the
  // stream's length between the two requests.
  const uint32_t stream_ms = uint32_t((stream.units.back().pts90 - stream.units.front().pts90) / 90);
  std::atomic<uint32_t> tick{5000};
  halvik::CRecorder::Options options;
  options.tick = [&] { return tick.load(); };
  auto host = std::make_shared<testhost::Host>();
  halvik::SetFilterHost(host);
  halvik::SetRecorderFactory(halvik::MakeRecorderFactory(options));
  std::vector<testgraph::VideoSample> live_video;
  std::vector<testgraph::AudioSample> live_audio;
  {
    testgraph::Graph live(false);
    halvik::SetRecorderFactory(nullptr);
    ChannelWriter writer(host->box, &host->wake);
    g_object_set(live.src, "location", "x-dmb://27141", nullptr);
    live.Set(GST_STATE_PLAYING);
    writer.Write(ChannelWriter::Format(257, stream.video_config));
    writer.Write(ChannelWriter::Format(258, stream.audio_config));
    writer.Write(ChannelWriter::Control(264, 12, 1));
    testgraph::Feed(writer, stream, true, 0, nullptr, 0, SIZE_MAX, nullptr, false);
    // Every frame delivered has been queued for the file; the stop writes what is still queued.
    ASSERT_TRUE(live.WaitFor(
        [&](auto& v, auto& a) { return v.size() >= video_frames && a.size() >= audio_frames; }, 60000));
    tick += stream_ms;
    writer.Write(ChannelWriter::Control(264, 12, 2));
    writer.Write(ChannelWriter::Control(263, 0, 0));
    writer.Write(ChannelWriter::Control(263, 0, 0));
    live_video = live.video();
    live_audio = live.audio();
    live.Set(GST_STATE_NULL);
  }
  halvik::SetFilterHost(nullptr);
  unsetenv("TEVALO_REGISTRY");

  rec::CRecReader reader;
  ASSERT_EQ(reader.Open(path), rec::CRecReader::OpenResult::Ok);
  size_t records = 0;
  rec::Record r;
  while (reader.ReadRecord(r) == rec::CRecReader::ReadResult::Record) ++records;
  EXPECT_EQ(records, video_frames + audio_frames);
  const uint32_t duration_ms = reader.DurationMs();
  EXPECT_EQ(duration_ms, stream_ms);

  recgraph::RecGraph playback;
  g_object_set(playback.src, "location", path.c_str(), nullptr);
  ASSERT_NE(playback.Set(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  gint64 duration = -1;
  ASSERT_TRUE(gst_element_query_duration(playback.pipe, GST_FORMAT_TIME, &duration));
  EXPECT_EQ(duration, gint64(duration_ms) * gint64(GST_MSECOND));
  ASSERT_TRUE(playback.WaitFor(
      [&](size_t p, size_t s) { return p >= live_video.size() && s >= live_audio.size(); }, 60000))
      << "played " << playback.Progress() << "; the live run had " << live_video.size() << " pictures and "
      << live_audio.size() << " sounds";
  const auto pictures = playback.pictures();
  const auto sounds = playback.sounds();
  ASSERT_EQ(pictures.size(), live_video.size());
  ASSERT_EQ(sounds.size(), live_audio.size());
  for (size_t i = 0; i < pictures.size(); ++i) {
    EXPECT_EQ(pictures[i].code, int(i));
    EXPECT_TRUE(pictures[i].bgrx == live_video[i].bgrx) << "picture " << i;
  }
  for (size_t i = 0; i < sounds.size(); ++i) EXPECT_TRUE(sounds[i].pcm == live_audio[i].pcm) << "sound " << i;
  // Pictures keep their live distance to the sound.
  const double live_lead = (double(live_video[10].pts) - double(live_audio[0].pts)) / GST_MSECOND;
  const double played_lead = (double(pictures[10].pts) - double(sounds[0].pts)) / GST_MSECOND;
  EXPECT_NEAR(played_lead, live_lead, 0.1);
}

}  // namespace
