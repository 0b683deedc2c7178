#include "test_source.h"

#include <gst/gst.h>
#include <string>

namespace {

struct TestSource {
  GstBin parent;
  GstElement* video;
  GstElement* audio;
  gchar* uri;
};
struct TestSourceClass {
  GstBinClass parent;
};

GType test_source_get_type();
#define TEST_SOURCE(o) reinterpret_cast<TestSource*>(o)

GstURIType UriType(GType) { return GST_URI_SRC; }
const gchar* const* Protocols(GType) {
  static const gchar* protocols[] = {"x-dmb", "x-test", nullptr};
  return protocols;
}
gchar* GetUri(GstURIHandler* handler) { return g_strdup(TEST_SOURCE(handler)->uri); }
gboolean SetUri(GstURIHandler* handler, const gchar* uri, GError** error) {
  auto* self = TEST_SOURCE(handler);
  if (g_strrstr(uri, "refuse")) {
    g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_URI, "refused");
    return FALSE;
  }
  g_free(self->uri);
  self->uri = g_strdup(uri);
  if (g_strrstr(uri, "short")) {
    g_object_set(self->video, "num-buffers", 15, nullptr);
    g_object_set(self->audio, "num-buffers", 47, nullptr);
  }
  return TRUE;
}
void UriInit(gpointer iface, gpointer) {
  auto* i = static_cast<GstURIHandlerInterface*>(iface);
  i->get_type = UriType;
  i->get_protocols = Protocols;
  i->get_uri = GetUri;
  i->set_uri = SetUri;
}

GstElement* Branch(TestSource* self, const char* source, const char* capsText, const char* padName,
                   GstElement** sourceOut) {
  GstElement* src = gst_element_factory_make(source, nullptr);
  GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
  GstCaps* caps = gst_caps_from_string(capsText);
  g_object_set(filter, "caps", caps, nullptr);
  gst_caps_unref(caps);
  gst_bin_add_many(GST_BIN(self), src, filter, nullptr);
  gst_element_link(src, filter);
  GstPad* target = gst_element_get_static_pad(filter, "src");
  GstPad* ghost = gst_ghost_pad_new(padName, target);
  gst_object_unref(target);
  gst_element_add_pad(GST_ELEMENT(self), ghost);
  *sourceOut = src;
  return src;
}

void TestSourceInit(GTypeInstance* instance, gpointer) {
  auto* self = TEST_SOURCE(instance);
  self->uri = nullptr;
  Branch(self, "videotestsrc", "video/x-raw,format=BGRx,width=320,height=180,framerate=15/1",
         "DMBStream_VIDEO", &self->video);
  Branch(self, "audiotestsrc", "audio/x-raw,format=S16LE,rate=48000,channels=2,layout=interleaved",
         "DMBStream_AUDIO_stereo", &self->audio);
  g_object_set(self->audio, "samplesperbuffer", 1024, nullptr);
}

void TestSourceFinalize(GObject* object) {
  g_free(TEST_SOURCE(object)->uri);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}

void TestSourceClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = TestSourceFinalize;
  gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Tevalo test source", "Source",
                                        "Test pictures and tone", "Tevalo");
}

GType test_source_get_type() {
  static GType type = 0;
  if (!type) {
    static const GTypeInfo info = {sizeof(TestSourceClass),
                                   nullptr,
                                   nullptr,
                                   TestSourceClassInit,
                                   nullptr,
                                   nullptr,
                                   sizeof(TestSource),
                                   0,
                                   TestSourceInit,
                                   nullptr};
    type = g_type_register_static(GST_TYPE_BIN, "TevaloTestSource", &info, GTypeFlags(0));
    static const GInterfaceInfo uri = {UriInit, nullptr, nullptr};
    g_type_add_interface_static(type, GST_TYPE_URI_HANDLER, &uri);
  }
  return type;
}

}  // namespace

void RegisterTestSource() {
  gst_init(nullptr, nullptr);
  gst_element_register(nullptr, "tevalotestsrc", GST_RANK_NONE, test_source_get_type());
}
