// seek_bench [seeks]: time from a slider release to the first picture at the new spot while a .rec
// recording plays through the player's graph (halvikfsrc), median and worst of the seeks, beside
// playbin seeking the same pictures (muxed to Matroska in process, video only) accurately to the
// same targets in the same run, and beside the recording's key-picture interval.
// A picture counts as "at the new spot" when its frame code is the one at the target or one of the
// pictures since the key picture before it.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "frame_code.h"
#include "graph_panel_host.h"
#include "platform/path/utf.h"
#include "player/panels/playback_panel_logic.h"
#include "player/pipeline/graph/media_graph.h"
#include "player/pipeline/graph/video_output.h"
#include "rec_fixture.h"

using namespace tevalo::test::rec_fixture;
using Clock = std::chrono::steady_clock;

namespace {

// Notes when the first picture near an expected frame code came after Arm().
class SeekWatch {
 public:
  void Arm(int expected) {
    std::lock_guard lock(m_lock);
    m_expected = expected;
    m_seen = false;
  }
  void Picture(int code) {
    std::lock_guard lock(m_lock);
    ++m_pictures;
    m_cv.notify_all();
    if (m_seen || m_expected < 0 || code < 0) return;
    const int back = PicturesBefore(m_expected, code);
    if (back < 0 || back > kKeyInterval) return;
    m_seen = true;
    m_at = Clock::now();
    m_cv.notify_all();
  }
  // Milliseconds from t0 to the picture; negative when none came within 20 s.
  double WaitMs(Clock::time_point t0) {
    std::unique_lock lock(m_lock);
    if (!m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_seen; })) return -1;
    return std::chrono::duration<double, std::milli>(m_at - t0).count();
  }
  bool WaitPictures(uint64_t count) {
    std::unique_lock lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_pictures >= count; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_cv;
  int m_expected = -1;
  bool m_seen = false;
  uint64_t m_pictures = 0;
  Clock::time_point m_at;
};

class WatchedOutput final : public CHeadlessVideoOutput {
 public:
  explicit WatchedOutput(SeekWatch& watch) : m_watch(watch) {}
  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) override {
    CHeadlessVideoOutput::OnPicture(bgrx, width, height, stride, ptsNs);
    m_watch.Picture(tevalo::test::ReadFrameCodeBgrx(bgrx, width, height, stride));
  }

 private:
  SeekWatch& m_watch;
};

struct NoOwner final : IMediaGraphOwner {
  void OnGraphBuildFailed() override {}
  void OnGraphBuilt() override {}
  void PostGraphEvent() override {}
  void StopFilePlayback() override {}
};

struct Stats {
  double median = 0, worst = 0;
  int missed = 0;
};

Stats Summarise(std::vector<double> ms) {
  Stats s;
  std::vector<double> ok;
  for (double m : ms)
    if (m < 0)
      ++s.missed;
    else
      ok.push_back(m);
  if (ok.empty()) return s;
  std::sort(ok.begin(), ok.end());
  s.median = ok[ok.size() / 2];
  s.worst = ok.back();
  return s;
}

// The same video units, `loops` passes with continuous times, muxed to Matroska.
bool WriteMatroska(const std::string& path, int loops) {
  GError* error = nullptr;
  GstElement* pipe = gst_parse_launch(
      ("appsrc name=src format=time caps=video/x-h264,stream-format=byte-stream,alignment=au ! h264parse ! "
       "matroskamux ! filesink location=" +
       path)
          .c_str(),
      &error);
  if (!pipe) {
    std::fprintf(stderr, "mux: %s\n", error ? error->message : "?");
    return false;
  }
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipe), "src");
  gst_element_set_state(pipe, GST_STATE_PLAYING);
  const auto units = tevalo::test::ReadUnits(tevalo::test::FixturePath("basic", "video.units"));
  const int64_t p0 = units.front().pts;
  for (int l = 0; l < loops; ++l)
    for (const auto& u : units) {
      GstBuffer* b = gst_buffer_new_memdup(u.bytes.data(), u.bytes.size());
      GST_BUFFER_PTS(b) = GST_BUFFER_DTS(b) = uint64_t(u.pts - p0 + l * kLoop90) * 100000 / 9;
      GST_BUFFER_DURATION(b) = uint64_t(kPicture90) * 100000 / 9;
      gst_app_src_push_buffer(GST_APP_SRC(src), b);
    }
  gst_app_src_end_of_stream(GST_APP_SRC(src));
  GstBus* bus = gst_element_get_bus(pipe);
  GstMessage* m =
      gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
  if (m) gst_message_unref(m);
  gst_object_unref(bus);
  gst_element_set_state(pipe, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(pipe);
  return ok;
}

GstFlowReturn OnReferenceSample(GstAppSink* sink, gpointer data) {
  GstSample* sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_OK;
  GstVideoInfo info;
  GstVideoFrame frame;
  if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
      gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
    static_cast<SeekWatch*>(data)->Picture(tevalo::test::ReadFrameCodeBgrx(
        static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_WIDTH(&frame),
        GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)));
    gst_video_frame_unmap(&frame);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

}  // namespace

int main(int argc, char** argv) {
  const int seeks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const auto dir = std::filesystem::temp_directory_path() / ("seek_bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const char* plugins = std::getenv("GST_PLUGIN_PATH");
  setenv("GST_PLUGIN_PATH", plugins && *plugins ? plugins : TEVALO_PLUGIN_DIR, 1);
  setenv("TEVALO_AUDIO_SINK", "fakesink", 1);
  gst_init(nullptr, nullptr);

  constexpr int kLoops = 16;
  const std::string rec = (dir / "seek.rec").string();
  const std::string mkv = (dir / "seek.mkv").string();
  int last = 0;
  int64_t firstPicture90 = 0;
  if (WriteRecording(rec, kLoops, &last, &firstPicture90) == 0 || !WriteMatroska(mkv, kLoops)) {
    std::fprintf(stderr, "could not write the recordings under %s\n", dir.c_str());
    return 1;
  }

  // The player's graph.
  SeekWatch watch;
  WatchedOutput output(watch);
  NoOwner owner;
  CMediaGraph graph(&owner, &output);
  if (graph.Open(tevalo::text::ToUtf16(rec)) != S_OK || graph.Run() != S_OK || !watch.WaitPictures(5)) {
    std::fprintf(stderr, "the recording does not play\n");
    return 1;
  }
  int duration = 0;
  graph.GetDuration(&duration);
  tevalo::test::GraphPanelHost host([&]() -> IMediaGraph* { return &graph; },
                                    [] { return tevalo::panels::PanelSource::kFile; });
  tevalo::panels::CPlaybackPanelLogic panel(host);
  panel.SetSliderRange(0, tevalo::panels::SliderMaximumFor(duration));

  // The reference: playbin on the same pictures.
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  SeekWatch refWatch;
  GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
  g_object_set(sink, "caps", caps, "sync", TRUE, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = OnReferenceSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &refWatch, nullptr);
  gchar* uri = gst_filename_to_uri(mkv.c_str(), nullptr);
  g_object_set(playbin, "uri", uri, "video-sink", sink, nullptr);
  g_free(uri);
  gst_element_set_state(playbin, GST_STATE_PLAYING);
  if (!refWatch.WaitPictures(5)) {
    std::fprintf(stderr, "playbin does not play the reference\n");
    return 1;
  }

  std::mt19937 rng(20261211);
  std::uniform_int_distribution<int> pick(5, duration - 30);
  std::vector<double> ours, theirs;
  for (int i = 0; i < seeks; ++i) {
    const int target = pick(rng);
    watch.Arm(CodeAt(target, firstPicture90));
    auto t0 = Clock::now();
    panel.SliderReleased(target);
    ours.push_back(watch.WaitMs(t0));

    refWatch.Arm(CodeAt(target, 0));
    t0 = Clock::now();
    gst_element_seek_simple(playbin, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                            int64_t(target) * 100 * GST_MSECOND);
    theirs.push_back(refWatch.WaitMs(t0));
  }
  gst_element_set_state(playbin, GST_STATE_NULL);
  gst_object_unref(playbin);
  graph.Stop();

  const Stats a = Summarise(ours), b = Summarise(theirs);
  const double keyMs = kKeyInterval * 1000.0 * kPicture90 / 90000;
  double load[3] = {};
  if (getloadavg(load, 3) < 1) load[0] = -1;
  std::printf("seeks: %d over %.1f s of recording (key picture every %.0f ms), load %.1f\n", seeks,
              duration / 10.0, keyMs, load[0]);
  std::printf("%-34s %10s %10s %7s\n", "slider release to first picture", "median ms", "worst ms", "missed");
  std::printf("%-34s %10.1f %10.1f %7d\n", "player graph (halvikfsrc)", a.median, a.worst, a.missed);
  std::printf("%-34s %10.1f %10.1f %7d\n", "playbin, Matroska, accurate seek", b.median, b.worst, b.missed);
  if (b.median > 0 && b.worst > 0)
    std::printf("ratio player / playbin: median %.2f, worst %.2f; player median / key interval %.2f\n",
                a.median / b.median, a.worst / b.worst, a.median / keyMs);
  std::filesystem::remove_all(dir);
  return a.missed || b.missed ? 1 : 0;
}
