#include "player/pipeline/graph/media_graph.h"

#include "platform/path/utf.h"
#include "platform/registry/registry.h"
#include "player/pipeline/graph/audio_sink.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

void EnsureGstInit() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init_check(nullptr, nullptr, nullptr); });
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr gint64 kNsPerTenth = 100'000'000;

}  // namespace

struct CMediaGraph::Renderer {
  IVideoOutput* output = nullptr;
  // The picture shown while prerolling; the same buffer comes again once the graph runs. Streaming
  // thread only.
  const GstBuffer* preroll = nullptr;
  GstClockTime prerollPts = GST_CLOCK_TIME_NONE;
  // The sink holds a preroll picture it has not rendered yet. A pause reaching a running sink
  // before its streaming thread has left that preroll finds it prerolled and takes effect in name
  // only: the sink goes on rendering on the running clock while the graph reads paused.
  std::atomic<bool> prerollHeld{false};
  // Pictures shown since the graph first ran, and the time it has run: a resume goes on counting
  // rather than starting again, so a graph just resumed does not read as one showing nothing.
  std::atomic<uint64_t> frames{0};
  std::atomic<bool> ran{false};
  std::atomic<int64_t> runStartNs{0};    // start of the current running stretch
  std::atomic<int64_t> ranBeforeNs{0};   // earlier stretches
  std::atomic<int64_t> pausedAtNs{0};    // 0 while running
  std::atomic<int> width{0};
  std::atomic<int> height{0};
};

struct CMediaGraph::Graph {
  GstElement* pipeline = nullptr;
  GstElement* source = nullptr;
  GstElement* volume = nullptr;
  GstElement* renderer = nullptr;  // null when the source has no video pad
  std::string factory;

  ~Graph() {
    if (pipeline) {
      GstBus* bus = gst_element_get_bus(pipeline);
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
      gst_bus_set_flushing(bus, TRUE);
      gst_object_unref(bus);
      gst_object_unref(pipeline);
    }
  }
};

CMediaGraph::CMediaGraph(IMediaGraphOwner* owner, IVideoOutput* video) : m_owner(owner), m_video(video) {
  EnsureGstInit();
}

CMediaGraph::~CMediaGraph() { TearDown(); }

std::shared_ptr<CMediaGraph::Graph> CMediaGraph::Current() const {
  std::lock_guard lock(m_lock);
  return m_graph;
}

bool CMediaGraph::HasGraph() const { return Current() != nullptr; }

std::string CMediaGraph::SourceFactory() const {
  auto g = Current();
  return g ? g->factory : std::string();
}

HRESULT CMediaGraph::Open(const std::u16string& urlOrPath) {
  if (HasGraph()) return S_OK;
  return BuildGraph(urlOrPath);
}

namespace {

bool PadIs(GstPad* pad, const char* prefix) {
  GstCaps* caps = gst_pad_query_caps(pad, nullptr);
  bool match = false;
  if (caps && gst_caps_get_size(caps) > 0) {
    const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    match = g_str_has_prefix(name, prefix);
  }
  if (caps) gst_caps_unref(caps);
  return match;
}

// Gives the source its URL (URI handler) or file path ("location").
bool LoadSource(GstElement* source, const std::string& target) {
  const bool isUrl = target.find("://") != std::string::npos;
  if (!isUrl && g_object_class_find_property(G_OBJECT_GET_CLASS(source), "location")) {
    g_object_set(source, "location", target.c_str(), nullptr);
    return true;
  }
  if (GST_IS_URI_HANDLER(source)) {
    GError* error = nullptr;
    const gboolean ok = gst_uri_handler_set_uri(GST_URI_HANDLER(source), target.c_str(), &error);
    if (error) g_error_free(error);
    return ok;
  }
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(source), "location")) {
    g_object_set(source, "location", target.c_str(), nullptr);
    return true;
  }
  return false;
}

}  // namespace

HRESULT CMediaGraph::BuildGraph(const std::u16string& urlOrPath) {
  if (HasGraph()) {
    const HRESULT hr = TearDown();
    if (hr < 0) return hr;
  }
  // One line on stderr for each failed build, so a run that ends in "no signal" says where.
  auto fail = [this, &urlOrPath](HRESULT hr, const char* why) {
    std::fprintf(stderr, "tevalo: media graph: cannot build %s: %s\n",
                 tevalo::text::ToUtf8(urlOrPath).c_str(), why);
    if (m_owner) m_owner->OnGraphBuildFailed();
    return hr;
  };
  const std::optional<std::string> factory = tevalo::registry::FindSourceElement(urlOrPath);
  if (!factory) return fail(VFW_E_NOT_FOUND, "no source element for it");

  auto graph = std::make_shared<Graph>();
  graph->factory = *factory;
  graph->pipeline = gst_pipeline_new("tevalo-graph");
  graph->source = gst_element_factory_make(factory->c_str(), "source");
  if (!graph->pipeline || !graph->source) {
    if (graph->source) gst_object_unref(graph->source);
    return fail(VFW_E_CANNOT_RENDER, "the source element cannot be made");
  }
  gst_bin_add(GST_BIN(graph->pipeline), graph->source);
  if (!LoadSource(graph->source, tevalo::text::ToUtf8(urlOrPath)))
    return fail(VFW_E_CANNOT_RENDER, "the source does not take it");
  if (m_owner && !m_owner->SourceLoaded(urlOrPath)) return fail(S_FALSE, "the source did not load it");

  auto renderer = std::make_shared<Renderer>();
  renderer->output = m_video;
  bool linkedVideo = false, linkedAudio = false, failed = false;
  GstIterator* pads = gst_element_iterate_src_pads(graph->source);
  GValue item = G_VALUE_INIT;
  while (!failed && gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
    auto* pad = GST_PAD(g_value_get_object(&item));
    if (!linkedVideo && PadIs(pad, "video/")) {
      GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
      GstElement* sink = gst_element_factory_make("appsink", "Video Renderer");
      if (!convert || !sink) {
        failed = true;
      } else {
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
        g_object_set(sink, "caps", caps, "sync", TRUE, "max-buffers", 2u, "enable-last-sample", FALSE,
                     nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks{};
        // The first picture is shown as soon as it is decoded, as a video sink shows its preroll
        // picture; the graph then runs in sync.
        callbacks.new_preroll = [](GstAppSink* s, gpointer d) {
          return static_cast<GstFlowReturn>(DeliverSample(s, d, true));
        };
        callbacks.new_sample = [](GstAppSink* s, gpointer d) {
          return static_cast<GstFlowReturn>(DeliverSample(s, d, false));
        };
        auto* context = new std::shared_ptr<Renderer>(renderer);
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, context,
                                   [](gpointer p) { delete static_cast<std::shared_ptr<Renderer>*>(p); });
        gst_bin_add_many(GST_BIN(graph->pipeline), convert, sink, nullptr);
        GstPad* target = gst_element_get_static_pad(convert, "sink");
        failed = gst_pad_link(pad, target) != GST_PAD_LINK_OK || !gst_element_link(convert, sink);
        gst_object_unref(target);
        graph->renderer = sink;
        linkedVideo = !failed;
      }
    } else if (!linkedAudio && PadIs(pad, "audio/")) {
      GstElement* volume = gst_element_factory_make("volume", nullptr);
      GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
      GstElement* resample = gst_element_factory_make("audioresample", nullptr);
      GstElement* sink = tevalo::graph::MakeAudioSink();
      if (!volume || !convert || !resample || !sink) {
        for (GstElement* e : {volume, convert, resample, sink})
          if (e) gst_object_unref(e);
        failed = true;
      } else {
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
          g_object_set(sink, "sync", TRUE, nullptr);
        gst_bin_add_many(GST_BIN(graph->pipeline), volume, convert, resample, sink, nullptr);
        GstPad* target = gst_element_get_static_pad(volume, "sink");
        failed = gst_pad_link(pad, target) != GST_PAD_LINK_OK ||
                 !gst_element_link_many(volume, convert, resample, sink, nullptr);
        gst_object_unref(target);
        graph->volume = volume;
        if (m_audioTap) {
          auto* tap = new AudioTap(m_audioTap);
          GstPad* tapped = gst_element_get_static_pad(volume, "sink");
          gst_pad_add_probe(
              tapped, GST_PAD_PROBE_TYPE_BUFFER,
              [](GstPad* p, GstPadProbeInfo* info, gpointer d) -> GstPadProbeReturn {
                GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
                GstCaps* caps = gst_pad_get_current_caps(p);
                int channels = 2, rate = 48000;
                if (caps) {
                  gst_structure_get_int(gst_caps_get_structure(caps, 0), "channels", &channels);
                  gst_structure_get_int(gst_caps_get_structure(caps, 0), "rate", &rate);
                  gst_caps_unref(caps);
                }
                GstMapInfo map;
                if (buffer && channels > 0 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                  const GstClockTime pts = GST_BUFFER_PTS(buffer);
                  (*static_cast<AudioTap*>(d))(reinterpret_cast<const int16_t*>(map.data),
                                               map.size / (2 * static_cast<size_t>(channels)), channels, rate,
                                               GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : -1);
                  gst_buffer_unmap(buffer, &map);
                }
                return GST_PAD_PROBE_OK;
              },
              tap, [](gpointer d) { delete static_cast<AudioTap*>(d); });
          gst_object_unref(tapped);
        }
        linkedAudio = !failed;
      }
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(pads);
  if (failed || (!linkedVideo && !linkedAudio)) return fail(VFW_E_CANNOT_RENDER, "its pins do not link");

  GstBus* bus = gst_element_get_bus(graph->pipeline);
  gst_bus_set_sync_handler(
      bus,
      [](GstBus* b, GstMessage* m, gpointer self) {
        return static_cast<GstBusSyncReply>(OnBusMessage(b, m, self));
      },
      this, nullptr);
  gst_object_unref(bus);
  if (gst_element_set_state(graph->pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
    return fail(VFW_E_CANNOT_RENDER, "the graph does not get ready");

  {
    std::lock_guard lock(m_lock);
    m_graph = graph;
    m_renderer = linkedVideo ? renderer : nullptr;
  }
  if (m_owner) m_owner->OnGraphBuilt();
  return S_OK;
}

int CMediaGraph::OnBusMessage(GstBus*, GstMessage* message, void* self) {
  auto* graph = static_cast<CMediaGraph*>(self);
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
    case GST_MESSAGE_ERROR:
      if (graph->m_owner) graph->m_owner->PostGraphEvent();
      return GST_BUS_PASS;
    default:
      // A sync handler owns the messages it drops; each one holds its source element.
      gst_message_unref(message);
      return GST_BUS_DROP;
  }
}

HRESULT CMediaGraph::HandleGraphEvent() {
  auto g = Current();
  if (!g) return E_ABORT;
  GstBus* bus = gst_element_get_bus(g->pipeline);
  if (!bus) return E_FAIL;
  while (GstMessage* message = gst_bus_pop(bus)) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
      if (m_owner) m_owner->StopFilePlayback();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      std::fprintf(stderr, "tevalo: media graph: %s\n", error ? error->message : "error");
      if (error) g_error_free(error);
    }
    gst_message_unref(message);
  }
  gst_object_unref(bus);
  return S_OK;
}

HRESULT CMediaGraph::TearDown() {
  std::shared_ptr<Graph> g;
  {
    std::lock_guard lock(m_lock);
    g = std::move(m_graph);
    m_renderer.reset();
  }
  if (!g) return E_ABORT;
  if (m_video) {
    m_video->SetVisible(false);
    m_video->SetWindowPosition(0, 0, 0, 0);
  }
  g.reset();  // stops the pipeline and releases it with its source
  return S_OK;
}

HRESULT CMediaGraph::Stop() {
  if (HasGraph()) return TearDown();
  return S_OK;
}

HRESULT CMediaGraph::Run() {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto g = Current();
  if (!g) return E_ABORT;
  std::shared_ptr<Renderer> r;
  {
    std::lock_guard lock(m_lock);
    r = m_renderer;
  }
  if (r) {
    const int64_t now = NowNs();
    if (!r->ran.exchange(true)) {
      r->frames = 0;  // a picture shown while paused before the first run is not counted
      r->runStartNs = now;
    } else if (const int64_t pausedAt = r->pausedAtNs.exchange(0)) {
      r->ranBeforeNs += pausedAt - r->runStartNs;
      r->runStartNs = now;
    }
  }
  return gst_element_set_state(g->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
}

HRESULT CMediaGraph::Pause() {
  auto g = Current();
  if (!g) return E_ABORT;
  // A pause asked for while the pipeline is still on its way to a state can strand it: the bin
  // drops its scheduled step to PLAYING and never completes the PAUSED asked for instead, so the
  // graph neither holds a picture properly nor plays again. Refused until the pipeline has settled.
  GstState current = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
  if (gst_element_get_state(g->pipeline, &current, &pending, 0) == GST_STATE_CHANGE_ASYNC)
    return VFW_E_WRONG_STATE;
  std::shared_ptr<Renderer> r;
  {
    std::lock_guard lock(m_lock);
    r = m_renderer;
  }
  // Likewise until a running graph's video sink has rendered the picture it prerolled.
  if (current == GST_STATE_PLAYING && r && r->prerollHeld) return VFW_E_WRONG_STATE;
  if (gst_element_set_state(g->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return E_FAIL;
  if (r && r->ran) {
    int64_t running = 0;
    r->pausedAtNs.compare_exchange_strong(running, NowNs());
  }
  return S_OK;
}

HRESULT CMediaGraph::PrepareVideoWindow(int* width, int* height) {
  auto g = Current();
  if (!g) return S_OK;
  std::shared_ptr<Renderer> r;
  {
    std::lock_guard lock(m_lock);
    r = m_renderer;
  }
  if (!r) return S_FALSE;
  m_videoWidth = r->width;
  m_videoHeight = r->height;
  if (width) *width = m_videoWidth;
  if (height) *height = m_videoHeight;
  return S_OK;
}

HRESULT CMediaGraph::SetWindowPosition(int left, int top, int width, int height) {
  if (!HasGraph() || !m_video) return E_ABORT;
  m_video->SetWindowPosition(left, top, width, height);
  return S_OK;
}

HRESULT CMediaGraph::SetVisible(bool visible) {
  if (!HasGraph() || !m_video) return E_ABORT;
  m_video->SetVisible(visible);
  return S_OK;
}

HRESULT CMediaGraph::SetVolume(long volume) {
  auto g = Current();
  if (!g || !g->volume) return E_ABORT;
  if (volume > 0) volume = 0;
  if (volume < -10000) volume = -10000;
  const double linear = volume <= -10000 ? 0.0 : std::pow(10.0, static_cast<double>(volume) / 2000.0);
  g_object_set(g->volume, "volume", linear, nullptr);
  return S_OK;
}

HRESULT CMediaGraph::GetDuration(int* tenths) {
  if (!tenths) return E_FAIL;
  *tenths = 1;
  auto g = Current();
  if (!g) return E_ABORT;
  gint64 ns = 0;
  if (!gst_element_query_duration(g->pipeline, GST_FORMAT_TIME, &ns) || ns < 0) return E_FAIL;
  *tenths = static_cast<int>(ns / kNsPerTenth);
  m_duration = *tenths;
  return S_OK;
}

int CMediaGraph::GetPosition(int* tenths) {
  auto g = Current();
  if (!g || !tenths) return 0;
  gint64 ns = 0;
  if (!gst_element_query_position(g->pipeline, GST_FORMAT_TIME, &ns) || ns < 0) return 0;
  *tenths = static_cast<int>(ns / kNsPerTenth);
  m_position = *tenths;
  return 1;
}

HRESULT CMediaGraph::SetPosition(int tenths) {
  auto g = Current();
  if (!g) return E_ABORT;
  GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
  gboolean seekable = FALSE;
  if (gst_element_query(g->pipeline, query))
    gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
  gst_query_unref(query);
  if (!seekable) return E_FAIL;
  const gint64 target = static_cast<gint64>(tenths) * kNsPerTenth;
  return gst_element_seek_simple(g->pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, target) ? S_OK : E_FAIL;
}

int CMediaGraph::GetFrameRate() const {
  std::shared_ptr<Renderer> r;
  {
    std::lock_guard lock(m_lock);
    if (!m_graph) return -1;
    r = m_renderer;
  }
  if (!r) return -1;
  const uint64_t frames = r->frames;
  if (frames == 0) return 0;
  const int64_t pausedAt = r->pausedAtNs;
  const int64_t elapsed = r->ranBeforeNs + (pausedAt ? pausedAt : NowNs()) - r->runStartNs;
  if (elapsed <= 0) return 0;
  return static_cast<int>(static_cast<double>(frames) * 100.0 * 1e9 / static_cast<double>(elapsed));
}

int CMediaGraph::DeliverSample(GstAppSink* sink, void* data, bool preroll) {
  auto& renderer = *static_cast<std::shared_ptr<Renderer>*>(data);
  GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_OK;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  const GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
  if (!preroll && buffer == renderer->preroll && pts == renderer->prerollPts) buffer = nullptr;  // shown
  renderer->preroll = preroll ? buffer : nullptr;
  renderer->prerollPts = pts;
  renderer->prerollHeld = preroll;
  if (buffer && gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
    GstVideoFrame frame;
    if (gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
      renderer->width = GST_VIDEO_INFO_WIDTH(&info);
      renderer->height = GST_VIDEO_INFO_HEIGHT(&info);
      if (renderer->output) {
        renderer->output->OnPicture(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                                    GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                                    GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
                                    GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : -1);
      }
      ++renderer->frames;  // counted once shown
      gst_video_frame_unmap(&frame);
    }
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}
