#include "filter/source/gst/two_pad_src.h"

namespace halvik {
namespace {

enum { PROP_0, PROP_LOCATION };

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

void Stamp(GstBuffer* buf, GstClockTime time, bool discont, GstClockTime duration) {
  GST_BUFFER_PTS(buf) = time;
  GST_BUFFER_DURATION(buf) = duration;
  if (discont) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
}

// Both element types derive straight from GstElement.
GstElementClass* ParentClass(gpointer instance) {
  return GST_ELEMENT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(instance)));
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  if (id != PROP_LOCATION) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    return;
  }
  if (!TwoPadSrc::From(object)->SetLocation(g_value_get_string(value)))
    GST_CAT_WARNING_OBJECT(TwoPadSrc::From(object)->category(), object,
                           "the location can only be set when stopped");
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  if (id == PROP_LOCATION)
    g_value_set_string(value, TwoPadSrc::From(object)->location());
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object) {
  delete TwoPadSrc::From(object);  // the core first: it joins its threads before the pads' outputs go
  G_OBJECT_CLASS(ParentClass(object))->finalize(object);
}

}  // namespace

GstStateChangeReturn TwoPadSrc::ChangeStateFunc(GstElement* element, GstStateChange transition) {
  return From(element)->ChangeState(transition);
}

void TwoPadSrc::InitClass(GstElementClass* klass, const ClassInfo& info) {
  auto* gobject = G_OBJECT_CLASS(klass);
  gobject->set_property = SetProperty;
  gobject->get_property = GetProperty;
  gobject->finalize = Finalize;
  g_object_class_install_property(
      gobject, PROP_LOCATION,
      g_param_spec_string("location", "Location", info.location_blurb, nullptr,
                          GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
  gst_element_class_set_static_metadata(klass, info.long_name, "Source/Video/Audio", info.description,
                                        "Tevalo");
  gst_element_class_add_static_pad_template(klass, info.video_template);
  gst_element_class_add_static_pad_template(klass, info.audio_template);
  klass->change_state = ChangeStateFunc;
}

TwoPadSrc::TwoPadSrc(GstElement* element, GstDebugCategory* category, GstStaticPadTemplate* video,
                     GstStaticPadTemplate* audio, Passes passes)
    : element_(element),
      category_(category),
      passes_(passes),
      video_pad_(gst_pad_new_from_static_template(video, video->name_template)),
      audio_pad_(gst_pad_new_from_static_template(audio, audio->name_template)),
      video_out_(video_pad_),
      audio_out_(audio_pad_) {
  for (GstPad* pad : {video_pad_, audio_pad_}) {
    gst_pad_set_activatemode_function(pad, ActivateMode);
    gst_pad_set_query_function(pad, QueryFunc);
    gst_pad_set_event_function(pad, EventFunc);
    gst_pad_use_fixed_caps(pad);
    gst_element_add_pad(element, pad);
  }
  GST_OBJECT_FLAG_SET(element, GST_ELEMENT_FLAG_SOURCE);
}

TwoPadSrc::~TwoPadSrc() {
  if (audio_caps_) gst_caps_unref(audio_caps_);
  g_free(location_);
}

bool TwoPadSrc::stopped() const {
  GST_OBJECT_LOCK(element_);
  const GstState state = GST_STATE(element_);
  GST_OBJECT_UNLOCK(element_);
  return state == GST_STATE_NULL || state == GST_STATE_READY;
}

bool TwoPadSrc::SetLocation(const gchar* location) {
  if (!stopped()) return false;
  g_free(location_);
  location_ = g_strdup(location);
  Load(location_);
  return true;
}

GstStateChangeReturn TwoPadSrc::ParentChangeState(GstStateChange transition) {
  return ParentClass(element_)->change_state(element_, transition);
}

gboolean TwoPadSrc::Query(GstPad* pad, GstQuery* query) {
  return gst_pad_query_default(pad, GST_OBJECT(element_), query);
}

gboolean TwoPadSrc::Event(GstPad* pad, GstEvent* event) {
  return gst_pad_event_default(pad, GST_OBJECT(element_), event);
}

gboolean TwoPadSrc::QueryFunc(GstPad* pad, GstObject* parent, GstQuery* query) {
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_SCHEDULING:
      gst_query_set_scheduling(query, GST_SCHEDULING_FLAG_SEQUENTIAL, 1, -1, 0);
      gst_query_add_scheduling_mode(query, GST_PAD_MODE_PUSH);
      return TRUE;
    case GST_QUERY_LATENCY:
      gst_query_set_latency(query, FALSE, 0, GST_CLOCK_TIME_NONE);
      return TRUE;
    default:
      return From(parent)->Query(pad, query);
  }
}

gboolean TwoPadSrc::EventFunc(GstPad* pad, GstObject* parent, GstEvent* event) {
  return From(parent)->Event(pad, event);
}

gboolean TwoPadSrc::ActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  if (mode != GST_PAD_MODE_PUSH) return FALSE;
  TwoPadSrc* self = From(parent);
  const bool video = pad == self->video_pad_;
  PadOutput& out = video ? self->video_out_ : self->audio_out_;
  if (active) {
    out.SetFlushing(false);
    self->Activated(video);
    return gst_pad_start_task(pad, video ? VideoLoop : AudioLoop, self, nullptr);
  }
  out.SetFlushing(true);
  const gboolean ok = gst_pad_stop_task(pad);
  out.Reset();
  if (video) self->video_size_ = {};
  return ok;
}

void TwoPadSrc::SetFlushing(bool flushing) {
  video_out_.SetFlushing(flushing);
  audio_out_.SetFlushing(flushing);
}

void TwoPadSrc::StartTasks() {
  gst_pad_start_task(video_pad_, VideoLoop, this, nullptr);
  gst_pad_start_task(audio_pad_, AudioLoop, this, nullptr);
}

void TwoPadSrc::VideoLoop(gpointer self) { static_cast<TwoPadSrc*>(self)->VideoPass(); }
void TwoPadSrc::AudioLoop(gpointer self) { static_cast<TwoPadSrc*>(self)->AudioPass(); }

bool TwoPadSrc::NegotiateVideo(PictureSize size) {
  GstCaps* caps = VideoCaps(size.width, size.height);
  const bool ok = video_out_.Negotiate(caps, size_t(size.width) * size.height * 4, kVideoBufferCount);
  gst_caps_unref(caps);
  if (ok) video_size_ = size;
  return ok;
}

void TwoPadSrc::Push(GstPad* pad, GstBuffer* buf) {
  GST_CAT_LOG_OBJECT(category_, element_, "push on %s at %" GST_TIME_FORMAT, GST_PAD_NAME(pad),
                     GST_TIME_ARGS(GST_BUFFER_PTS(buf)));
  const GstFlowReturn rc = gst_pad_push(pad, buf);
  if (rc != GST_FLOW_OK && rc != GST_FLOW_FLUSHING)
    GST_CAT_DEBUG_OBJECT(category_, element_, "push on %s: %s", GST_PAD_NAME(pad), gst_flow_get_name(rc));
}

// A pooled buffer mapped for writing, or null (flushing, or the pool refused).
GstBuffer* TwoPadSrc::AcquireMapped(PadOutput& out, GstMapInfo* map) {
  GstBuffer* buf = out.Acquire();
  if (buf && !gst_buffer_map(buf, map, GST_MAP_WRITE)) {
    gst_buffer_unref(buf);
    return nullptr;
  }
  return buf;
}

// The video pin's pass: nothing to deliver pushes nothing.
void TwoPadSrc::VideoPass() {
  g_usleep(passes_.video_us);
  if (stopping()) return;
  if (video_size_.width == 0 && !NegotiateVideo(FirstPictureSize())) return;
  BeforeBuffer(video_pad_);
  GstMapInfo map;
  GstBuffer* buf = AcquireMapped(video_out_, &map);
  if (!buf) return;
  const auto fill = video_pin().FillBuffer(map.data, video_size_, ptrdiff_t{video_size_.width} * 4);
  gst_buffer_unmap(buf, &map);
  if (fill.kind == CHalvikVideoStream::Fill::kNothing) {
    gst_buffer_unref(buf);
    return;
  }
  if (fill.kind == CHalvikVideoStream::Fill::kResized) {
    gst_buffer_unref(buf);
    GST_CAT_INFO_OBJECT(category_, element_, "picture size %dx%d", fill.size.width, fill.size.height);
    if (!NegotiateVideo(fill.size)) return;
    buf = AcquireMapped(video_out_, &map);
    if (!buf) return;
    video_pin().TakeHeldPicture(map.data, ptrdiff_t{fill.size.width} * 4);
    gst_buffer_unmap(buf, &map);
  }
  // Pictures wait for the sound the audio decoder delays (records and recordings keep the stream's
  // own times).
  const int64_t time = fill.time + audio_pin().decoder_delay();
  if (time < 0) {  // decoded only to reach a seek's target
    gst_buffer_unref(buf);
    return;
  }
  Stamp(buf, BufferTime(time), fill.discontinuity, GST_CLOCK_TIME_NONE);
  Push(video_pad_, buf);
}

bool TwoPadSrc::NegotiateAudio(int rate) {
  if (rate != audio_caps_rate_) {
    if (audio_caps_) gst_caps_unref(audio_caps_);
    audio_caps_ = AudioCaps(rate);
    audio_caps_rate_ = rate;
  }
  return audio_out_.same_caps(audio_caps_) ||
         audio_out_.Negotiate(audio_caps_, kAudioBufferSize, kAudioBufferCount);
}

void TwoPadSrc::AudioPass() {
  g_usleep(passes_.audio_us);
  if (stopping()) return;
  CHalvikAudioStream& pin = audio_pin();
  // An ER-BSAC stream plays at its own rate, AAC at the element's.
  if (!NegotiateAudio(pin.bsac_rate() ? pin.bsac_rate() : audio_rate())) return;
  BeforeBuffer(audio_pad_);
  GstMapInfo map;
  GstBuffer* buf = AcquireMapped(audio_out_, &map);
  if (!buf) return;
  const auto fill = pin.FillBuffer(map.data);
  gst_buffer_unmap(buf, &map);
  // A new configuration may have come since the caps above: the sound's own rate holds.
  const int rate = fill.rate ? fill.rate : audio_rate();
  if (!fill.deliver || !NegotiateAudio(rate)) {
    gst_buffer_unref(buf);
    return;
  }
  gst_buffer_set_size(buf, gssize(fill.bytes));
  const GstClockTime frame = gst_util_uint64_scale_int(fill.bytes / 4, GST_SECOND, rate);
  if (fill.time + int64_t(frame / 100) <= 0) {  // sound before a seek's target
    gst_buffer_unref(buf);
    return;
  }
  Stamp(buf, BufferTime(fill.time), fill.discontinuity, GstClockTime(double(frame) / this->rate()));
  AudioStamped(fill.time);
  Push(audio_pad_, buf);
}

}  // namespace halvik
