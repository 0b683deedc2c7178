#include "filter/source/gst/halvik_src.h"

#include <string>

#include "filter/source/gst/two_pad_src.h"
#include "filter/source/halvik.h"

GST_DEBUG_CATEGORY_STATIC(halvik_debug);
#define GST_CAT_DEFAULT halvik_debug

namespace halvik {
namespace {

constexpr gulong kPassSleepUs = 10000;  // each pin pass waits 10 ms

using HalvikSrc = TwoPadElement;
using HalvikSrcClass = GstElementClass;

void halvik_src_uri_handler_init(gpointer iface, gpointer data);

G_DEFINE_TYPE_WITH_CODE(HalvikSrc, halvik_src_impl, GST_TYPE_ELEMENT,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, halvik_src_uri_handler_init))

GstStaticPadTemplate video_template =
    GST_STATIC_PAD_TEMPLATE(kVideoPinName, GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(kVideoTemplateCaps));

// 48000 Hz for AAC; an ER-BSAC stream plays at its own rate.
GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    kAudioPinName, GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[8000,96000], channels=(int)2, channel-mask=(bitmask)0x3"));

class LiveSrc final : public TwoPadSrc {
 public:
  explicit LiveSrc(GstElement* element)
      : TwoPadSrc(element, halvik_debug, &video_template, &audio_template, {kPassSleepUs, kPassSleepUs}),
        core_(GetFilterHost()) {
    // Posted from the receive thread; the element outlives its core.
    core_.SetNotice([element](const std::string& text) {
      GST_ELEMENT_WARNING(element, RESOURCE, OPEN_WRITE, ("%s", text.c_str()), (nullptr));
    });
  }

 private:
  bool stopping() const override { return core_.stopping(); }
  CHalvikVideoStream& video_pin() override { return core_.video_pin(); }
  CHalvikAudioStream& audio_pin() override { return core_.audio_pin(); }

  GstClockTime BufferTime(int64_t time) const override {
    return time == kUntimed ? GST_CLOCK_TIME_NONE : GstClockTime(time) * 100;
  }

  void Load(const gchar* uri) override {
    // A refused load still builds the graph; such a filter never receives data.
    if (!core_.Load(uri)) GST_WARNING_OBJECT(element(), "not loaded: %s", uri ? uri : "(null)");
  }

  GstStateChangeReturn ChangeState(GstStateChange transition) override {
    switch (transition) {
      case GST_STATE_CHANGE_READY_TO_PAUSED:
      case GST_STATE_CHANGE_PLAYING_TO_PAUSED:
        core_.Pause();
        break;
      case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
        core_.Run();
        break;
      case GST_STATE_CHANGE_PAUSED_TO_READY:
        core_.Stop();
        break;
      default:
        break;
    }
    return ParentChangeState(transition);
  }

  CHalvik core_;  // destroyed first: joins the receive thread before the queues and the channel go
};

void halvik_src_impl_class_init(HalvikSrcClass* klass) {
  TwoPadSrc::InitClass(klass, {kFilterName, "Decodes the broadcast frames the player hands over",
                               "The x-dmb URL", &video_template, &audio_template});
}

void halvik_src_impl_init(HalvikSrc* self) { self->impl = new LiveSrc(GST_ELEMENT(self)); }

GstURIType UriGetType(GType) { return GST_URI_SRC; }

const gchar* const* UriGetProtocols(GType) {
  static const gchar* protocols[] = {kUrlScheme, nullptr};
  return protocols;
}

gchar* UriGetUri(GstURIHandler* handler) { return g_strdup(TwoPadSrc::From(handler)->location()); }

gboolean UriSetUri(GstURIHandler* handler, const gchar* uri, GError** error) {
  if (TwoPadSrc::From(handler)->SetLocation(uri)) return TRUE;
  g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_STATE, "The URL can only be set when stopped");
  return FALSE;
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
  // Here rather than at class init, so that the category is listed and takes GST_DEBUG's level
  // before the first element is made.
  GST_DEBUG_CATEGORY_INIT(halvik_debug, "halviksrc", 0, kFilterName);
  return gst_element_register(plugin, "halviksrc", GST_RANK_PRIMARY, halvik_src_get_type());
}

}  // namespace halvik
