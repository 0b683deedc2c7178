#include "filter/playback/gst/halvikf_src.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "filter/playback/halvikf.h"
#include "filter/source/gst/pad_task.h"

GST_DEBUG_CATEGORY_STATIC(halvikf_debug);
#define GST_CAT_DEFAULT halvikf_debug

namespace halvikf {
namespace {

constexpr gulong kAudioPassUs = 10000;
constexpr gulong kVideoPassUs = 15000;
// Buffer times run from this offset, the segment's start, so that a picture recorded a little ahead
// of the first sound after a seek keeps its place instead of wrapping below zero.
constexpr GstClockTime kTimeOffset = GST_SECOND;

struct HalvikFSrc {
  GstElement parent;
  GstPad* video_pad;
  GstPad* audio_pad;
  CHalvikF* core;
  halvik::PadOutput* video_out;
  halvik::PadOutput* audio_out;
  gchar* location;
  rec::CRecReader::OpenResult load_result;
  int video_width, video_height;

  std::mutex* seek_mutex;    // one seek at a time (held across the flush)
  guint32 last_seek_seqnum;  // GST_SEQNUM_INVALID before the first
  std::mutex* state_mutex;   // the segment's values below; the loops take it briefly
  guint32 segment_seqnum;
  GstClockTime segment_time;   // file position of the segment's start, ns
  GstClockTime stop_position;  // ns
  std::atomic<bool>* video_segment_due;
  std::atomic<bool>* audio_segment_due;
  std::atomic<int64_t>* last_time;  // file time of the last buffer pushed, 100 ns; -1 none
};

struct HalvikFSrcClass {
  GstElementClass parent_class;
};

enum { PROP_0, PROP_LOCATION };

G_DEFINE_TYPE(HalvikFSrc, halvikf_src_impl, GST_TYPE_ELEMENT)

#define HALVIKF_SRC(obj) (reinterpret_cast<HalvikFSrc*>(obj))

GstStaticPadTemplate video_template = GST_STATIC_PAD_TEMPLATE(
    "F_DMBStream_VIDEO", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string)BGRx, width=(int)[1,4096], height=(int)[1,4096], "
                    "framerate=(fraction)15/1, pixel-aspect-ratio=(fraction)1/1"));

GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    "F_DMBStream_AUDIO", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[8000,192000], channels=(int)2, channel-mask=(bitmask)0x3"));

GstCaps* VideoCaps(int w, int h) {
  return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, w, "height",
                             G_TYPE_INT, h, "framerate", GST_TYPE_FRACTION, 15, 1, "pixel-aspect-ratio",
                             GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstCaps* AudioCaps(int rate) {
  return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                             "interleaved", "rate", G_TYPE_INT, rate, "channels", G_TYPE_INT, 2,
                             "channel-mask", GST_TYPE_BITMASK, guint64{0x3}, nullptr);
}

// Sample times are the file times divided by the rate.
GstClockTime ScaledTime(int64_t time, double rate) {
  const double t = static_cast<double>(time) / rate;
  return GstClockTime(std::max<int64_t>(0, int64_t(kTimeOffset / 100) + int64_t(t))) * 100;
}

void PushSegmentIfDue(HalvikFSrc* self, GstPad* pad, std::atomic<bool>* due) {
  if (!due->exchange(false)) return;
  GstSegment seg;
  gst_segment_init(&seg, GST_FORMAT_TIME);
  guint32 seqnum;
  {
    std::lock_guard lock(*self->state_mutex);
    seg.time = self->segment_time;
    seqnum = self->segment_seqnum;
  }
  seg.start = kTimeOffset;
  seg.position = kTimeOffset;
  seg.applied_rate = self->core->rate();
  GstEvent* ev = gst_event_new_segment(&seg);
  if (seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(ev, seqnum);
  gst_pad_push_event(pad, ev);
}

void Stamp(GstBuffer* buf, int64_t time, double rate, bool discont, GstClockTime duration) {
  GST_BUFFER_PTS(buf) = ScaledTime(time, rate);
  GST_BUFFER_DURATION(buf) = duration;
  if (discont) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
}

bool NegotiateVideo(HalvikFSrc* self, int w, int h) {
  GstCaps* caps = VideoCaps(w, h);
  const bool ok = self->video_out->Negotiate(caps, size_t(w) * h * 4, halvik::kVideoBufferCount);
  gst_caps_unref(caps);
  if (ok) {
    self->video_width = w;
    self->video_height = h;
  }
  return ok;
}

void Push(HalvikFSrc* self, GstPad* pad, GstBuffer* buf) {
  const GstFlowReturn rc = gst_pad_push(pad, buf);
  if (rc != GST_FLOW_OK && rc != GST_FLOW_FLUSHING)
    GST_DEBUG_OBJECT(self, "push on %s: %s", GST_PAD_NAME(pad), gst_flow_get_name(rc));
}

void VideoLoop(gpointer data) {
  auto* self = HALVIKF_SRC(data);
  g_usleep(kVideoPassUs);
  if (self->core->stopping()) return;
  if (self->video_width == 0) {
    halvik::PictureSize s = self->core->video_size();
    if (s.width <= 0 || s.height <= 0) s = {halvik::kDefaultWidth, halvik::kDefaultHeight};
    if (!NegotiateVideo(self, s.width, s.height)) return;
  }
  PushSegmentIfDue(self, self->video_pad, self->video_segment_due);
  GstBuffer* buf = self->video_out->Acquire();
  if (!buf) return;
  GstMapInfo map;
  if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buf);
    return;
  }
  const halvik::PictureSize size{self->video_width, self->video_height};
  const auto fill = self->core->video_pin().FillBuffer(map.data, size, ptrdiff_t{size.width} * 4);
  gst_buffer_unmap(buf, &map);
  if (fill.kind == halvik::CHalvikVideoStream::Fill::kNothing) {
    gst_buffer_unref(buf);
    return;
  }
  if (fill.kind == halvik::CHalvikVideoStream::Fill::kResized) {
    gst_buffer_unref(buf);
    if (!NegotiateVideo(self, fill.size.width, fill.size.height)) return;
    buf = self->video_out->Acquire();
    if (!buf) return;
    if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
      gst_buffer_unref(buf);
      return;
    }
    self->core->video_pin().TakeHeldPicture(map.data, ptrdiff_t{fill.size.width} * 4);
    gst_buffer_unmap(buf, &map);
  }
  // Recordings keep the stream's times; pictures wait for the decoder's delayed sound as live.
  const int64_t time = fill.time + self->core->audio_pin().decoder_delay();
  if (time < 0) {  // decoded only to reach the seek's target
    gst_buffer_unref(buf);
    return;
  }
  Stamp(buf, time, self->core->rate(), fill.discontinuity, GST_CLOCK_TIME_NONE);
  Push(self, self->video_pad, buf);
}

void AudioLoop(gpointer data) {
  auto* self = HALVIKF_SRC(data);
  g_usleep(kAudioPassUs);
  if (self->core->stopping()) return;
  const int rate = self->core->audio_rate();
  GstCaps* caps = AudioCaps(rate);
  const bool ok = self->audio_out->same_caps(caps) ||
                  self->audio_out->Negotiate(caps, halvik::kAudioBufferSize, halvik::kAudioBufferCount);
  gst_caps_unref(caps);
  if (!ok) return;
  PushSegmentIfDue(self, self->audio_pad, self->audio_segment_due);
  GstBuffer* buf = self->audio_out->Acquire();
  if (!buf) return;
  GstMapInfo map;
  if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buf);
    return;
  }
  const auto fill = self->core->audio_pin().FillBuffer(map.data);
  gst_buffer_unmap(buf, &map);
  if (!fill.deliver) {
    gst_buffer_unref(buf);
    return;
  }
  const GstClockTime frame = gst_util_uint64_scale_int(halvik::kAudioBufferSize / 4, GST_SECOND, rate);
  if (fill.time + int64_t(frame / 100) <= 0) {  // sound before the seek's target
    gst_buffer_unref(buf);
    return;
  }
  const double speed = self->core->rate();
  Stamp(buf, fill.time, speed, fill.discontinuity, GstClockTime(double(frame) / speed));
  self->last_time->store(fill.time);
  Push(self, self->audio_pad, buf);
}

gboolean ActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  if (mode != GST_PAD_MODE_PUSH) return FALSE;
  auto* self = HALVIKF_SRC(parent);
  const bool video = pad == self->video_pad;
  halvik::PadOutput* out = video ? self->video_out : self->audio_out;
  if (active) {
    out->SetFlushing(false);
    (video ? self->video_segment_due : self->audio_segment_due)->store(true);
    return gst_pad_start_task(pad, video ? VideoLoop : AudioLoop, self, nullptr);
  }
  out->SetFlushing(true);
  const gboolean ok = gst_pad_stop_task(pad);
  out->Reset();
  if (video) self->video_width = self->video_height = 0;
  return ok;
}

GstClockTime Duration(HalvikFSrc* self) { return GstClockTime(self->core->Duration()) * 100; }

// A seek reaches both pads (each sink sends it upstream); the first one does the work.
gboolean HandleSeek(HalvikFSrc* self, GstEvent* event) {
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  const guint32 seqnum = gst_event_get_seqnum(event);
  std::lock_guard lock(*self->seek_mutex);
  if (seqnum == self->last_seek_seqnum) return TRUE;
  // Seeks go to a prerolled or playing element; a stopped one starts at the beginning.
  const bool active = gst_pad_is_active(self->video_pad) && gst_pad_is_active(self->audio_pad);
  if (format != GST_FORMAT_TIME || !(rate > 0) || !self->core->loaded() || !active) return FALSE;
  self->last_seek_seqnum = seqnum;
  const GstClockTime duration = Duration(self);
  GstClockTime target;
  {
    std::lock_guard state(*self->state_mutex);
    target = self->segment_time + GstClockTime(std::max<int64_t>(0, self->last_time->load())) * 100;
    if (stop_type == GST_SEEK_TYPE_SET)
      self->stop_position = std::min<GstClockTime>(GstClockTime(std::max<gint64>(0, stop)), duration);
    else if (stop_type == GST_SEEK_TYPE_END)
      self->stop_position = GstClockTime(std::max<gint64>(0, gint64(duration) + stop));
  }
  if (start_type == GST_SEEK_TYPE_SET)
    target = GstClockTime(std::max<gint64>(0, start));
  else if (start_type == GST_SEEK_TYPE_END)
    target = GstClockTime(std::max<gint64>(0, gint64(duration) + start));
  target = std::min(target, duration);

  // What was queued for the old position goes, downstream too.
  for (GstPad* pad : {self->video_pad, self->audio_pad}) {
    GstEvent* flush = gst_event_new_flush_start();
    gst_event_set_seqnum(flush, seqnum);
    gst_pad_push_event(pad, flush);
  }
  self->video_out->SetFlushing(true);
  self->audio_out->SetFlushing(true);
  // The loops hold their streaming locks for a whole pass; paused, they let go after it.
  gst_pad_pause_task(self->video_pad);
  gst_pad_pause_task(self->audio_pad);
  GST_PAD_STREAM_LOCK(self->video_pad);
  GST_PAD_STREAM_LOCK(self->audio_pad);
  const bool positioned = self->core->Seek(int64_t(target / 100));
  self->core->SetRate(rate);
  {
    std::lock_guard state(*self->state_mutex);
    self->segment_time = target;
    self->segment_seqnum = seqnum;
    self->last_time->store(-1);
  }
  self->video_out->SetFlushing(false);
  self->audio_out->SetFlushing(false);
  for (GstPad* pad : {self->video_pad, self->audio_pad}) {
    GstEvent* flush = gst_event_new_flush_stop(TRUE);
    gst_event_set_seqnum(flush, seqnum);
    gst_pad_push_event(pad, flush);
  }
  self->video_segment_due->store(true);
  self->audio_segment_due->store(true);
  GST_PAD_STREAM_UNLOCK(self->audio_pad);
  GST_PAD_STREAM_UNLOCK(self->video_pad);
  gst_pad_start_task(self->video_pad, VideoLoop, self, nullptr);
  gst_pad_start_task(self->audio_pad, AudioLoop, self, nullptr);
  GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " rate %f: %s", GST_TIME_ARGS(target), rate,
                   positioned ? "positioned" : "no record found");
  return TRUE;
}

gboolean SrcEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  auto* self = HALVIKF_SRC(parent);
  if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
    const gboolean ok = HandleSeek(self, event);
    gst_event_unref(event);
    return ok;
  }
  return gst_pad_event_default(pad, parent, event);
}

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
  auto* self = HALVIKF_SRC(parent);
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_SCHEDULING:
      gst_query_set_scheduling(query, GST_SCHEDULING_FLAG_SEQUENTIAL, 1, -1, 0);
      gst_query_add_scheduling_mode(query, GST_PAD_MODE_PUSH);
      return TRUE;
    case GST_QUERY_LATENCY:
      gst_query_set_latency(query, FALSE, 0, GST_CLOCK_TIME_NONE);
      return TRUE;
    case GST_QUERY_DURATION: {
      GstFormat format;
      gst_query_parse_duration(query, &format, nullptr);
      if (format != GST_FORMAT_TIME || !self->core->loaded()) return FALSE;
      gst_query_set_duration(query, GST_FORMAT_TIME, gint64(Duration(self)));
      return TRUE;
    }
    case GST_QUERY_POSITION: {
      GstFormat format;
      gst_query_parse_position(query, &format, nullptr);
      if (format != GST_FORMAT_TIME || !self->core->loaded()) return FALSE;
      std::lock_guard lock(*self->state_mutex);
      const int64_t t = self->last_time->load();
      const GstClockTime pos = self->segment_time + GstClockTime(std::max<int64_t>(0, t)) * 100;
      gst_query_set_position(query, GST_FORMAT_TIME, gint64(std::min(pos, Duration(self))));
      return TRUE;
    }
    case GST_QUERY_SEEKING: {
      GstFormat format;
      gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
      if (format != GST_FORMAT_TIME) {
        gst_query_set_seeking(query, format, FALSE, -1, -1);
        return TRUE;
      }
      const bool loaded = self->core->loaded();
      gst_query_set_seeking(query, GST_FORMAT_TIME, loaded, 0, loaded ? gint64(Duration(self)) : -1);
      return TRUE;
    }
    default:
      return gst_pad_query_default(pad, parent, query);
  }
}

const char* LoadFailure(rec::CRecReader::OpenResult result) {
  using R = rec::CRecReader::OpenResult;
  switch (result) {
    case R::NotRecPath:
      return "not a .rec path";
    case R::CannotOpen:
      return "the file cannot be opened";
    case R::NotAFile:
      return "not a regular file";
    default:
      return "not a readable recording";
  }
}

void Load(HalvikFSrc* self, const gchar* path) {
  g_free(self->location);
  self->location = g_strdup(path);
  const auto result = self->core->Load(path ? path : "");
  self->load_result = result;
  if (result != rec::CRecReader::OpenResult::Ok)
    GST_WARNING_OBJECT(self, "not loaded (%d): %s", int(result), path ? path : "(null)");
  std::lock_guard lock(*self->state_mutex);
  self->stop_position = Duration(self);
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
  auto* self = HALVIKF_SRC(element);
  switch (transition) {
    case GST_STATE_CHANGE_READY_TO_PAUSED: {
      if (!self->core->loaded()) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ,
                          ("cannot play %s", self->location ? self->location : "(none)"),
                          ("%s", LoadFailure(self->load_result)));
        return GST_STATE_CHANGE_FAILURE;
      }
      {
        std::lock_guard lock(*self->state_mutex);
        self->segment_time = 0;
        self->segment_seqnum = GST_SEQNUM_INVALID;
        self->last_time->store(-1);
      }
      self->core->Pause();
      break;
    }
    case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
      self->core->Run();
      break;
    case GST_STATE_CHANGE_PAUSED_TO_READY:
      // A seek scanning a damaged file holds the pads' stream locks that the stop needs.
      self->core->Interrupt();
      break;
    default:
      break;
  }
  const GstStateChangeReturn rc =
      GST_ELEMENT_CLASS(halvikf_src_impl_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    self->core->Stop();
    std::lock_guard lock(*self->seek_mutex);
    self->last_seek_seqnum = GST_SEQNUM_INVALID;
  }
  return rc;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  auto* self = HALVIKF_SRC(object);
  if (id == PROP_LOCATION) {
    GST_OBJECT_LOCK(self);
    const GstState state = GST_STATE(self);
    GST_OBJECT_UNLOCK(self);
    if (state == GST_STATE_NULL || state == GST_STATE_READY)
      Load(self, g_value_get_string(value));
    else
      GST_WARNING_OBJECT(self, "the location can only be set when stopped");
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  auto* self = HALVIKF_SRC(object);
  if (id == PROP_LOCATION)
    g_value_set_string(value, self->location);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object) {
  auto* self = HALVIKF_SRC(object);
  delete self->core;  // joins the read thread
  delete self->video_out;
  delete self->audio_out;
  delete self->seek_mutex;
  delete self->state_mutex;
  delete self->video_segment_due;
  delete self->audio_segment_due;
  delete self->last_time;
  g_free(self->location);
  G_OBJECT_CLASS(halvikf_src_impl_parent_class)->finalize(object);
}

void halvikf_src_impl_class_init(HalvikFSrcClass* klass) {
  auto* gobject = G_OBJECT_CLASS(klass);
  auto* element = GST_ELEMENT_CLASS(klass);
  gobject->set_property = SetProperty;
  gobject->get_property = GetProperty;
  gobject->finalize = Finalize;
  g_object_class_install_property(
      gobject, PROP_LOCATION,
      g_param_spec_string("location", "Location", "Path of the .rec recording", nullptr,
                          GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
  gst_element_class_set_static_metadata(element, kFilterName, "Source/Video/Audio",
                                        "Plays .rec recordings back through the broadcast decoders",
                                        "Tevalo");
  gst_element_class_add_static_pad_template(element, &video_template);
  gst_element_class_add_static_pad_template(element, &audio_template);
  element->change_state = ChangeState;
  GST_DEBUG_CATEGORY_INIT(halvikf_debug, "halvikfsrc", 0, kFilterName);
}

void halvikf_src_impl_init(HalvikFSrc* self) {
  self->core = new CHalvikF();
  self->location = nullptr;
  self->load_result = rec::CRecReader::OpenResult::CannotOpen;
  self->video_width = self->video_height = 0;
  self->seek_mutex = new std::mutex;
  self->state_mutex = new std::mutex;
  self->last_seek_seqnum = GST_SEQNUM_INVALID;
  self->segment_seqnum = GST_SEQNUM_INVALID;
  self->segment_time = 0;
  self->stop_position = 0;
  self->video_segment_due = new std::atomic<bool>(true);
  self->audio_segment_due = new std::atomic<bool>(true);
  self->last_time = new std::atomic<int64_t>(-1);
  self->video_pad = gst_pad_new_from_static_template(&video_template, kVideoPinName);
  self->audio_pad = gst_pad_new_from_static_template(&audio_template, kAudioPinName);
  self->video_out = new halvik::PadOutput(self->video_pad);
  self->audio_out = new halvik::PadOutput(self->audio_pad);
  for (GstPad* pad : {self->video_pad, self->audio_pad}) {
    gst_pad_set_activatemode_function(pad, ActivateMode);
    gst_pad_set_query_function(pad, SrcQuery);
    gst_pad_set_event_function(pad, SrcEvent);
    gst_pad_use_fixed_caps(pad);
    gst_element_add_pad(GST_ELEMENT(self), pad);
  }
  GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SOURCE);
}

}  // namespace

GType halvikf_src_get_type() { return halvikf_src_impl_get_type(); }

gboolean halvikf_src_register(GstPlugin* plugin) {
  return gst_element_register(plugin, "halvikfsrc", GST_RANK_NONE, halvikf_src_get_type());
}

}  // namespace halvikf
