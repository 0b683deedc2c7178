// A halviksrc graph with two appsinks, an independent libavcodec + float BT.601 reference, and a
// player-side feeder that sends a stream's frames through the channel in stamp order.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "es_util.h"
#include "filter/source/gst/halvik_src.h"
#include "fixture_units.h"
#include "test_host.h"

namespace testgraph {

using Bytes = testes::Bytes;

struct Unit {
  int32_t type;   // 259 video, 260 audio
  int64_t pts90;  // 90 kHz
  Bytes bytes;
};

// The two elementary streams with their configurations, as the player sends them.
struct Stream {
  Bytes video_config, audio_config;
  std::vector<Unit> units;  // in stamp order
};

inline Stream MakeStream(const std::string& h264, const std::string& adts, int64_t video_pts0,
                         int64_t audio_pts0, int audio_repeat = 1) {
  Stream s;
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath(h264)));
  s.video_config = testes::ParameterSets(aus[0]);
  auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath(adts)));
  for (auto& f : frames) f = testes::WithCrc(f);
  s.audio_config.assign(frames[0].begin(), frames[0].begin() + 7);
  for (size_t i = 0; i < aus.size(); ++i) s.units.push_back({259, video_pts0 + int64_t(i) * 6000, aus[i]});
  int64_t n = 0;
  for (int r = 0; r < audio_repeat; ++r)
    for (const auto& f : frames) s.units.push_back({260, audio_pts0 + n++ * 3840, f});
  std::stable_sort(s.units.begin(), s.units.end(),
                   [](const Unit& a, const Unit& b) { return a.pts90 < b.pts90; });
  return s;
}

// A fixture's unit files, merged in stamp order (audio first where stamps are equal).
inline Stream FixtureStream(const std::string& name) {
  using tevalo::test::FixturePath;
  using tevalo::test::ReadUnits;
  Stream s;
  for (auto& u : ReadUnits(FixturePath(name, "video.units"))) {
    if (s.video_config.empty()) s.video_config = testes::ParameterSets(u.bytes);
    s.units.push_back({259, u.pts, std::move(u.bytes)});
  }
  for (auto& u : ReadUnits(FixturePath(name, "audio.units"))) {
    if (s.audio_config.empty()) s.audio_config.assign(u.bytes.begin(), u.bytes.begin() + 7);
    s.units.push_back({260, u.pts, std::move(u.bytes)});
  }
  std::stable_sort(s.units.begin(), s.units.end(), [](const Unit& a, const Unit& b) {
    return a.pts90 != b.pts90 ? a.pts90 < b.pts90 : a.type > b.type;
  });
  return s;
}

inline size_t CountUnits(const Stream& s, int32_t type) {
  size_t n = 0;
  for (const auto& u : s.units) n += u.type == type;
  return n;
}

struct VideoSample {
  GstClockTime pts;
  int64_t arrival_us;
  int width, height;
  Bytes bgrx;
};
struct AudioSample {
  GstClockTime pts;
  int64_t arrival_us;
  size_t size;
  Bytes pcm;
};

class Graph {
 public:
  explicit Graph(bool sync) {
    static std::once_flag once;
    std::call_once(once, [] {
      gst_init(nullptr, nullptr);
      halvik::halvik_src_register(nullptr);
    });
    pipe = gst_pipeline_new("graph");
    src = gst_element_factory_make("halviksrc", "src");
    vsink = gst_element_factory_make("appsink", "Video Renderer");
    asink = gst_element_factory_make("appsink", "Audio Renderer");
    for (GstElement* s : {vsink, asink}) {
      g_object_set(s, "sync", sync ? TRUE : FALSE, "max-buffers", 0, nullptr);
      GstAppSinkCallbacks cb{};
      cb.new_sample = s == vsink ? OnVideo : OnAudio;
      gst_app_sink_set_callbacks(GST_APP_SINK(s), &cb, this, nullptr);
    }
    gst_bin_add_many(GST_BIN(pipe), src, vsink, asink, nullptr);
    gst_element_link_pads(src, "DMBStream_VIDEO", vsink, "sink");
    gst_element_link_pads(src, "DMBStream_AUDIO_stereo", asink, "sink");
  }
  ~Graph() {
    gst_element_set_state(pipe, GST_STATE_NULL);
    gst_object_unref(pipe);
  }
  void Set(GstState s) { gst_element_set_state(pipe, s); }
  // Waits up to `ms` for the state change to complete.
  GstStateChangeReturn Settle(int ms) {
    return gst_element_get_state(pipe, nullptr, nullptr, GstClockTime(ms) * GST_MSECOND);
  }

  std::vector<VideoSample> video() {
    std::lock_guard l(m);
    return video_;
  }
  std::vector<AudioSample> audio() {
    std::lock_guard l(m);
    return audio_;
  }
  size_t counts() {
    std::lock_guard l(m);
    return video_.size() * 100000 + audio_.size();
  }
  template <typename F>
  bool WaitFor(F done, int ms) {
    for (int i = 0; i < ms / 5; ++i) {
      {
        std::lock_guard l(m);
        if (done(video_, audio_)) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  std::string caps(GstElement* sink) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    GstCaps* c = gst_pad_get_current_caps(pad);
    gst_object_unref(pad);
    if (!c) return {};
    gchar* s = gst_caps_to_string(c);
    std::string r = s;
    g_free(s);
    gst_caps_unref(c);
    return r;
  }

  GstElement *pipe, *src, *vsink, *asink;
  bool keep_pictures = true;

 private:
  static GstFlowReturn OnVideo(GstAppSink* sink, gpointer data) {
    auto* g = static_cast<Graph*>(data);
    GstSample* s = gst_app_sink_pull_sample(sink);
    GstBuffer* b = gst_sample_get_buffer(s);
    GstStructure* st = gst_caps_get_structure(gst_sample_get_caps(s), 0);
    VideoSample v{GST_BUFFER_PTS(b), g_get_monotonic_time(), 0, 0, {}};
    gst_structure_get_int(st, "width", &v.width);
    gst_structure_get_int(st, "height", &v.height);
    if (g->keep_pictures) {
      GstMapInfo map;
      gst_buffer_map(b, &map, GST_MAP_READ);
      v.bgrx.assign(map.data, map.data + map.size);
      gst_buffer_unmap(b, &map);
    }
    gst_sample_unref(s);
    std::lock_guard l(g->m);
    g->video_.push_back(std::move(v));
    return GST_FLOW_OK;
  }
  static GstFlowReturn OnAudio(GstAppSink* sink, gpointer data) {
    auto* g = static_cast<Graph*>(data);
    GstSample* s = gst_app_sink_pull_sample(sink);
    GstBuffer* b = gst_sample_get_buffer(s);
    AudioSample a{GST_BUFFER_PTS(b), g_get_monotonic_time(), gst_buffer_get_size(b), {}};
    GstMapInfo map;
    gst_buffer_map(b, &map, GST_MAP_READ);
    a.pcm.assign(map.data, map.data + map.size);
    gst_buffer_unmap(b, &map);
    gst_sample_unref(s);
    std::lock_guard l(g->m);
    g->audio_.push_back(std::move(a));
    return GST_FLOW_OK;
  }
  std::mutex m;
  std::vector<VideoSample> video_;
  std::vector<AudioSample> audio_;
};

// Sends the stream as the player does: both configurations, then each frame in stamp order, paced
// at real time when asked. Stops early when `stop` is set.
// `sent_us` (optional) receives the monotonic time at which each unit was written.
inline void Feed(testhost::ChannelWriter& w, const Stream& s, bool paced, int64_t stamp_offset,
                 std::atomic<bool>* stop = nullptr, size_t first = 0, size_t end = SIZE_MAX,
                 std::vector<int64_t>* sent_us = nullptr, bool configs = true) {
  using testhost::ChannelWriter;
  if (configs) {
    w.Write(ChannelWriter::Format(257, s.video_config));
    w.Write(ChannelWriter::Format(258, s.audio_config));
  }
  const auto t0 = std::chrono::steady_clock::now();
  const int64_t p0 = first < s.units.size() ? s.units[first].pts90 : 0;
  for (size_t i = first; i < s.units.size() && i < end; ++i) {
    if (stop && *stop) return;
    const Unit& u = s.units[i];
    if (paced) std::this_thread::sleep_until(t0 + std::chrono::microseconds((u.pts90 - p0) * 100 / 9));
    if (sent_us) sent_us->push_back(g_get_monotonic_time());
    w.Write(ChannelWriter::Frame(u.type, u.bytes, u.pts90 * 300 + stamp_offset));
  }
}

// Independent reference: libavcodec's planes of every access unit, converted in floating point.
class Reference {
 public:
  explicit Reference(const Stream& s) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* fr = av_frame_alloc();
    for (const Unit& u : s.units) {
      if (u.type != 259) continue;
      av_new_packet(pkt, int(u.bytes.size()));
      std::copy(u.bytes.begin(), u.bytes.end(), pkt->data);
      avcodec_send_packet(ctx, pkt);
      av_packet_unref(pkt);
      while (avcodec_receive_frame(ctx, fr) == 0) {
        Bytes out(size_t(fr->width) * fr->height * 3);
        for (int y = 0; y < fr->height; ++y)
          for (int x = 0; x < fr->width; ++x) {
            const double Y = 1.164 * (fr->data[0][y * fr->linesize[0] + x] - 16);
            const double U = fr->data[1][(y / 2) * fr->linesize[1] + x / 2] - 128.0;
            const double V = fr->data[2][(y / 2) * fr->linesize[2] + x / 2] - 128.0;
            uint8_t* o = &out[size_t(y * fr->width + x) * 3];
            o[0] = uint8_t(std::lround(std::clamp(Y + 2.018 * U, 0.0, 255.0)));
            o[1] = uint8_t(std::lround(std::clamp(Y - 0.391 * U - 0.813 * V, 0.0, 255.0)));
            o[2] = uint8_t(std::lround(std::clamp(Y + 1.596 * V, 0.0, 255.0)));
          }
        pictures.push_back(std::move(out));
        width = fr->width;
        height = fr->height;
      }
    }
    av_frame_free(&fr);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
  }
  // Mean absolute difference per channel against picture `i`.
  double Difference(size_t i, const Bytes& bgrx) const {
    const Bytes& ref = pictures[i];
    double sum = 0;
    for (size_t p = 0; p < ref.size() / 3; ++p)
      for (int c = 0; c < 3; ++c) sum += std::abs(double(bgrx[p * 4 + size_t(c)]) - ref[p * 3 + size_t(c)]);
    return sum / double(ref.size());
  }
  std::vector<Bytes> pictures;
  int width = 0, height = 0;
};

}  // namespace testgraph
