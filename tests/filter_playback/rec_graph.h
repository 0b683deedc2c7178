// Recordings made from the test broadcasts with the .rec writer, and a halvikfsrc graph into two
// appsinks that keeps each picture's frame counter, stream time and bytes.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filter/playback/gst/halvikf_src.h"
#include "filter/source/rec_writer.h"
#include "frame_code.h"
#include "graph_util.h"

namespace recgraph {

using Bytes = std::vector<uint8_t>;

inline constexpr int64_t kLoopTicks90 = 384000;  // one pass of a fixture, 90 kHz
// Writes the fixture's frames `loops` times over as the live recorder would: the stream's times
// from the first sound, ticks following them from `start_tick`. Returns the duration in ms.
inline uint32_t WriteRecording(
    const std::string& path, const testgraph::Stream& s, int loops, uint32_t start_tick = 5000,
    rec::CRecWriter::FreeSpaceFn free = [](int) { return std::optional<uint64_t>(1ull << 40); }) {
  rec::CRecWriter w(std::move(free));
  const auto video = rec::MakeInfoBlock(rec::kVideoInfoType, s.video_config);
  const auto audio = rec::MakeInfoBlock(rec::kAudioInfoType, s.audio_config);
  if (!w.Start(path, video, audio, start_tick)) return 0;
  // Times count from the earliest unit, which need not come first (the recorder's pins write
  // independently).
  const int64_t p0 = std::min_element(s.units.begin(), s.units.end(), [](auto& a, auto& b) {
                       return a.pts90 < b.pts90;
                     })->pts90;
  uint32_t last = start_tick;
  for (int l = 0; l < loops; ++l)
    for (const auto& u : s.units) {
      const int64_t p = u.pts90 - p0 + l * kLoopTicks90;
      const int64_t time = p * 1000 / 9;
      last = start_tick + uint32_t(p / 90) + 1;
      w.WriteRecord(uint32_t(u.type), time, u.bytes, last);
    }
  w.Stop(last + 30);
  return last + 30 - start_tick;
}

struct Picture {
  GstClockTime pts;          // buffer time
  GstClockTime stream_time;  // position in the file
  int code;                  // frame counter, -1 unreadable
  Bytes bgrx;
};
struct Sound {
  GstClockTime pts, stream_time;
  Bytes pcm;
  int rate = 0, channels = 0;
};

class RecGraph {
 public:
  explicit RecGraph(bool sync = false, const char* factory = "halvikfsrc") {
    static std::once_flag once;
    std::call_once(once, [] {
      gst_init(nullptr, nullptr);
      halvikf::halvikf_src_register(nullptr);
    });
    pipe = gst_pipeline_new("playback");
    src = gst_element_factory_make(factory, "src");
    vsink = gst_element_factory_make("appsink", "vsink");
    asink = gst_element_factory_make("appsink", "asink");
    for (GstElement* s : {vsink, asink}) {
      g_object_set(s, "sync", sync ? TRUE : FALSE, "max-buffers", 0, nullptr);
      GstAppSinkCallbacks cb{};
      cb.new_sample = s == vsink ? OnVideo : OnAudio;
      cb.new_preroll = OnPreroll;
      cb.eos = OnEos;
      gst_app_sink_set_callbacks(GST_APP_SINK(s), &cb, this, nullptr);
    }
    gst_bin_add_many(GST_BIN(pipe), src, vsink, asink, nullptr);
    gst_element_link_pads(src, "F_DMBStream_VIDEO", vsink, "sink");
    gst_element_link_pads(src, "F_DMBStream_AUDIO", asink, "sink");
  }
  ~RecGraph() {
    gst_element_set_state(pipe, GST_STATE_NULL);
    gst_object_unref(pipe);
  }
  GstStateChangeReturn Set(GstState s, int wait_ms = 5000) {
    const GstStateChangeReturn rc = gst_element_set_state(pipe, s);
    if (rc == GST_STATE_CHANGE_FAILURE) return rc;
    return gst_element_get_state(pipe, nullptr, nullptr, GstClockTime(wait_ms) * GST_MSECOND);
  }
  // A flushing seek to `seconds` through the pipeline (both sinks send it upstream).
  bool Seek(double seconds, double rate = 1.0) {
    const bool ok = gst_element_seek(pipe, rate, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, GST_SEEK_TYPE_SET,
                                     gint64(seconds * GST_SECOND), GST_SEEK_TYPE_NONE, -1);
    std::lock_guard l(m);
    mark_video = pictures_.size();
    mark_audio = sounds_.size();
    return ok;
  }
  std::vector<Picture> pictures(size_t from = 0) {
    std::lock_guard l(m);
    return {pictures_.begin() + long(std::min(from, pictures_.size())), pictures_.end()};
  }
  std::vector<Sound> sounds(size_t from = 0) {
    std::lock_guard l(m);
    return {sounds_.begin() + long(std::min(from, sounds_.size())), sounds_.end()};
  }
  bool WaitFor(const std::function<bool(size_t pictures, size_t sounds)>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      {
        std::lock_guard l(m);
        if (done(pictures_.size(), sounds_.size())) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Waits until a picture that `match` takes has come, at most `ms`.
  bool WaitForPicture(const std::function<bool(const Picture&)>& match, int ms) {
    return WaitFor([&](size_t, size_t) { return std::any_of(pictures_.begin(), pictures_.end(), match); },
                   ms);
  }
  // The first picture after the last Seek, within `ms`.
  std::optional<Picture> FirstPictureAfterSeek(int ms) {
    size_t mark;
    {
      std::lock_guard l(m);
      mark = mark_video;
    }
    if (!WaitFor([&](size_t p, size_t) { return p > mark; }, ms)) return std::nullopt;
    std::lock_guard l(m);
    return pictures_[mark];
  }
  // What came so far, for a failure's message: counts, end of stream and the last stamps.
  std::string Progress() {
    std::lock_guard l(m);
    const auto last = [](auto& v) {
      return v.empty() ? std::string("none") : std::to_string(v.back().pts / GST_MSECOND) + " ms";
    };
    return std::to_string(pictures_.size()) + " pictures (last at " + last(pictures_) + "), " +
           std::to_string(sounds_.size()) + " sounds (last at " + last(sounds_) + "), end of stream on " +
           std::to_string(eos_.load()) + " of 2 sinks";
  }
  size_t mark_video = 0, mark_audio = 0;
  std::atomic<int> prerolls{0};
  bool keep_bytes = true;
  GstElement *pipe, *src, *vsink, *asink;

 private:
  static GstClockTime StreamTime(GstSample* s, GstClockTime pts) {
    const GstSegment* seg = gst_sample_get_segment(s);
    return seg ? gst_segment_to_stream_time(seg, GST_FORMAT_TIME, pts) : GST_CLOCK_TIME_NONE;
  }
  static GstFlowReturn OnPreroll(GstAppSink*, gpointer data) {
    ++static_cast<RecGraph*>(data)->prerolls;
    return GST_FLOW_OK;
  }
  static void OnEos(GstAppSink*, gpointer data) { ++static_cast<RecGraph*>(data)->eos_; }
  static GstFlowReturn OnVideo(GstAppSink* sink, gpointer data) {
    auto* g = static_cast<RecGraph*>(data);
    GstSample* s = gst_app_sink_pull_sample(sink);
    GstBuffer* b = gst_sample_get_buffer(s);
    GstStructure* st = gst_caps_get_structure(gst_sample_get_caps(s), 0);
    int w = 0, h = 0;
    gst_structure_get_int(st, "width", &w);
    gst_structure_get_int(st, "height", &h);
    GstMapInfo map;
    gst_buffer_map(b, &map, GST_MAP_READ);
    Picture p{GST_BUFFER_PTS(b),
              StreamTime(s, GST_BUFFER_PTS(b)),
              tevalo::test::ReadFrameCodeBgrx(map.data, w, h, ptrdiff_t{w} * 4),
              {}};
    if (g->keep_bytes) p.bgrx.assign(map.data, map.data + map.size);
    gst_buffer_unmap(b, &map);
    gst_sample_unref(s);
    std::lock_guard l(g->m);
    g->pictures_.push_back(std::move(p));
    return GST_FLOW_OK;
  }
  static GstFlowReturn OnAudio(GstAppSink* sink, gpointer data) {
    auto* g = static_cast<RecGraph*>(data);
    GstSample* s = gst_app_sink_pull_sample(sink);
    GstBuffer* b = gst_sample_get_buffer(s);
    Sound a{GST_BUFFER_PTS(b), StreamTime(s, GST_BUFFER_PTS(b)), {}};
    GstStructure* st = gst_caps_get_structure(gst_sample_get_caps(s), 0);
    gst_structure_get_int(st, "rate", &a.rate);
    gst_structure_get_int(st, "channels", &a.channels);
    GstMapInfo map;
    gst_buffer_map(b, &map, GST_MAP_READ);
    a.pcm.assign(map.data, map.data + map.size);
    gst_buffer_unmap(b, &map);
    gst_sample_unref(s);
    std::lock_guard l(g->m);
    g->sounds_.push_back(std::move(a));
    return GST_FLOW_OK;
  }
  std::mutex m;
  std::vector<Picture> pictures_;
  std::vector<Sound> sounds_;
  std::atomic<int> eos_{0};
};

}  // namespace recgraph
