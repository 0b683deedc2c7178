#include "filter/source/gst/halvik_src.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <memory>
#include <string>

#include "filter/source/gst/pad_task.h"
#include "filter/source/halvik.h"

GST_DEBUG_CATEGORY_STATIC(halvik_debug);
#define GST_CAT_DEFAULT halvik_debug

namespace halvik {
namespace {

constexpr gulong kPassSleepUs = 10000;  // each pin pass waits 10 ms

struct HalvikSrc {
  GstElement parent;
  GstPad* video_pad;
  GstPad* audio_pad;
  CHalvik* core;
  PadOutput* video_out;
  PadOutput* audio_out;
  gchar* uri;
  int video_width, video_height;  // the negotiated picture size
};

struct HalvikSrcClass {
  GstElementClass parent_class;
};

enum { PROP_0, PROP_LOCATION };

void halvik_src_uri_handler_init(gpointer iface, gpointer data);

G_DEFINE_TYPE_WITH_CODE(HalvikSrc, halvik_src_impl, GST_TYPE_ELEMENT,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, halvik_src_uri_handler_init))

#define HALVIK_SRC(obj) (reinterpret_cast<HalvikSrc*>(obj))

GstStaticPadTemplate video_template = GST_STATIC_PAD_TEMPLATE(
    "DMBStream_VIDEO", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string)BGRx, width=(int)[1,4096], height=(int)[1,4096], "
                    "framerate=(fraction)15/1, pixel-aspect-ratio=(fraction)1/1"));

// 48000 Hz for AAC; an ER-BSAC stream plays at its own rate.
GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    "DMBStream_AUDIO_stereo", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[8000,96000], channels=(int)2, channel-mask=(bitmask)0x3"));

GstCaps* VideoCaps(int w, int h) {
  return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, w, "height",
                             G_TYPE_INT, h, "framerate", GST_TYPE_FRACTION, 15, 1, "pixel-aspect-ratio",
                             GST_TYPE_FRACTION, 1, 1, nullptr);
}

void Stamp(GstBuffer* buf, int64_t time, bool discont, GstClockTime duration) {
  GST_BUFFER_PTS(buf) = time == kUntimed ? GST_CLOCK_TIME_NONE : GstClockTime(time) * 100;
  GST_BUFFER_DURATION(buf) = duration;
  if (discont) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
}

bool NegotiateVideo(HalvikSrc* self, int w, int h) {
  GstCaps* caps = VideoCaps(w, h);
  const bool ok = self->video_out->Negotiate(caps, size_t(w) * h * 4, kVideoBufferCount);
  gst_caps_unref(caps);
  if (ok) {
    self->video_width = w;
    self->video_height = h;
  }
  return ok;
}

void Push(HalvikSrc* self, GstPad* pad, GstBuffer* buf) {
  const GstFlowReturn rc = gst_pad_push(pad, buf);
  if (rc != GST_FLOW_OK && rc != GST_FLOW_FLUSHING)
    GST_DEBUG_OBJECT(self, "push on %s: %s", GST_PAD_NAME(pad), gst_flow_get_name(rc));
}

// The video pin's pass: nothing to deliver pushes nothing.
void VideoLoop(gpointer data) {
  auto* self = HALVIK_SRC(data);
  g_usleep(kPassSleepUs);
  if (self->core->stopping()) return;
  if (self->video_width == 0 && !NegotiateVideo(self, kDefaultWidth, kDefaultHeight)) return;
  GstBuffer* buf = self->video_out->Acquire();
  if (!buf) return;
  GstMapInfo map;
  if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buf);
    return;
  }
  const PictureSize size{self->video_width, self->video_height};
  const auto fill = self->core->video_pin().FillBuffer(map.data, size, ptrdiff_t{size.width} * 4);
  gst_buffer_unmap(buf, &map);
  if (fill.kind == CHalvikVideoStream::Fill::kNothing) {
    gst_buffer_unref(buf);
    return;
  }
  if (fill.kind == CHalvikVideoStream::Fill::kResized) {
    gst_buffer_unref(buf);
    GST_INFO_OBJECT(self, "picture size %dx%d", fill.size.width, fill.size.height);
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
  // Pictures wait for the sound the audio decoder delays (the records keep the stream's times).
  Stamp(buf, fill.time + self->core->audio_pin().decoder_delay(), fill.discontinuity, GST_CLOCK_TIME_NONE);
  Push(self, self->video_pad, buf);
}

void AudioLoop(gpointer data) {
  auto* self = HALVIK_SRC(data);
  g_usleep(kPassSleepUs);
  if (self->core->stopping()) return;
  CHalvikAudioStream& pin = self->core->audio_pin();
  if (!NegotiateAudio(*self->audio_out, NextAudioRate(pin, kAudioRate))) return;
  GstBuffer* buf = self->audio_out->Acquire();
  if (!buf) return;
  GstMapInfo map;
  if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buf);
    return;
  }
  const auto fill = pin.FillBuffer(map.data);
  gst_buffer_unmap(buf, &map);
  const GstClockTime duration =
      fill.deliver ? FinishAudioBuffer(*self->audio_out, buf, fill, kAudioRate) : GST_CLOCK_TIME_NONE;
  if (duration == GST_CLOCK_TIME_NONE) {
    gst_buffer_unref(buf);
    return;
  }
  Stamp(buf, fill.time, fill.discontinuity, duration);
  Push(self, self->audio_pad, buf);
}

gboolean ActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  if (mode != GST_PAD_MODE_PUSH) return FALSE;
  auto* self = HALVIK_SRC(parent);
  const bool video = pad == self->video_pad;
  PadOutput* out = video ? self->video_out : self->audio_out;
  if (active) {
    out->SetFlushing(false);
    return gst_pad_start_task(pad, video ? VideoLoop : AudioLoop, self, nullptr);
  }
  out->SetFlushing(true);
  const gboolean ok = gst_pad_stop_task(pad);
  out->Reset();
  if (video) self->video_width = self->video_height = 0;
  return ok;
}

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
  if (GST_QUERY_TYPE(query) == GST_QUERY_SCHEDULING) {
    gst_query_set_scheduling(query, GST_SCHEDULING_FLAG_SEQUENTIAL, 1, -1, 0);
    gst_query_add_scheduling_mode(query, GST_PAD_MODE_PUSH);
    return TRUE;
  }
  if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
    gst_query_set_latency(query, FALSE, 0, GST_CLOCK_TIME_NONE);
    return TRUE;
  }
  return gst_pad_query_default(pad, parent, query);
}

void Load(HalvikSrc* self, const gchar* uri) {
  g_free(self->uri);
  self->uri = g_strdup(uri);
  // A refused load still builds the graph; such a filter never receives data.
  if (!self->core->Load(uri)) GST_WARNING_OBJECT(self, "not loaded: %s", uri ? uri : "(null)");
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
  auto* self = HALVIK_SRC(element);
  switch (transition) {
    case GST_STATE_CHANGE_READY_TO_PAUSED:
    case GST_STATE_CHANGE_PLAYING_TO_PAUSED:
      self->core->Pause();
      break;
    case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
      self->core->Run();
      break;
    case GST_STATE_CHANGE_PAUSED_TO_READY:
      self->core->Stop();
      break;
    default:
      break;
  }
  return GST_ELEMENT_CLASS(halvik_src_impl_parent_class)->change_state(element, transition);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
  auto* self = HALVIK_SRC(object);
  if (id == PROP_LOCATION) {
    GST_OBJECT_LOCK(self);
    const GstState state = GST_STATE(self);
    GST_OBJECT_UNLOCK(self);
    if (state == GST_STATE_NULL || state == GST_STATE_READY)
      Load(self, g_value_get_string(value));
    else
      GST_WARNING_OBJECT(self, "the location can only be set when stopped");
  } else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  auto* self = HALVIK_SRC(object);
  if (id == PROP_LOCATION)
    g_value_set_string(value, self->uri);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object) {
  auto* self = HALVIK_SRC(object);
  delete self->core;  // joins the receive thread before the queues and the channel go
  delete self->video_out;
  delete self->audio_out;
  g_free(self->uri);
  G_OBJECT_CLASS(halvik_src_impl_parent_class)->finalize(object);
}

void halvik_src_impl_class_init(HalvikSrcClass* klass) {
  auto* gobject = G_OBJECT_CLASS(klass);
  auto* element = GST_ELEMENT_CLASS(klass);
  gobject->set_property = SetProperty;
  gobject->get_property = GetProperty;
  gobject->finalize = Finalize;
  g_object_class_install_property(
      gobject, PROP_LOCATION,
      g_param_spec_string("location", "Location", "The x-dmb URL", nullptr,
                          GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
  gst_element_class_set_static_metadata(element, kFilterName, "Source/Video/Audio",
                                        "Decodes the broadcast frames the player hands over", "Tevalo");
  gst_element_class_add_static_pad_template(element, &video_template);
  gst_element_class_add_static_pad_template(element, &audio_template);
  element->change_state = ChangeState;
  GST_DEBUG_CATEGORY_INIT(halvik_debug, "halviksrc", 0, kFilterName);
}

void halvik_src_impl_init(HalvikSrc* self) {
  self->core = new CHalvik(GetFilterHost());
  // Posted from the receive thread; the element outlives its core.
  self->core->SetNotice([self](const std::string& text) {
    GST_ELEMENT_WARNING(self, RESOURCE, OPEN_WRITE, ("%s", text.c_str()), (nullptr));
  });
  self->uri = nullptr;
  self->video_width = self->video_height = 0;
  self->video_pad = gst_pad_new_from_static_template(&video_template, kVideoPinName);
  self->audio_pad = gst_pad_new_from_static_template(&audio_template, kAudioPinName);
  self->video_out = new PadOutput(self->video_pad);
  self->audio_out = new PadOutput(self->audio_pad);
  for (GstPad* pad : {self->video_pad, self->audio_pad}) {
    gst_pad_set_activatemode_function(pad, ActivateMode);
    gst_pad_set_query_function(pad, SrcQuery);
    gst_pad_use_fixed_caps(pad);
    gst_element_add_pad(GST_ELEMENT(self), pad);
  }
  GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SOURCE);
}

GstURIType UriGetType(GType) { return GST_URI_SRC; }

const gchar* const* UriGetProtocols(GType) {
  static const gchar* protocols[] = {kUrlScheme, nullptr};
  return protocols;
}

gchar* UriGetUri(GstURIHandler* handler) { return g_strdup(HALVIK_SRC(handler)->uri); }

gboolean UriSetUri(GstURIHandler* handler, const gchar* uri, GError** error) {
  auto* self = HALVIK_SRC(handler);
  GstState state;
  GST_OBJECT_LOCK(self);
  state = GST_STATE(self);
  GST_OBJECT_UNLOCK(self);
  if (state != GST_STATE_NULL && state != GST_STATE_READY) {
    g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_STATE, "The URL can only be set when stopped");
    return FALSE;
  }
  Load(self, uri);
  return TRUE;
}

void halvik_src_uri_handler_init(gpointer g_iface, gpointer) {
  auto* iface = static_cast<GstURIHandlerInterface*>(g_iface);
  iface->get_type = UriGetType;
  iface->get_protocols = UriGetProtocols;
  iface->get_uri = UriGetUri;
  iface->set_uri = UriSetUri;
}

}  // namespace

GType halvik_src_get_type() { return halvik_src_impl_get_type(); }

gboolean halvik_src_register(GstPlugin* plugin) {
  return gst_element_register(plugin, "halviksrc", GST_RANK_PRIMARY, halvik_src_get_type());
}

}  // namespace halvik
