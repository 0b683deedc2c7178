#include "player/pipeline/graph/audio_sink.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tevalo::graph {
namespace {

constexpr char kName[] = "Audio Renderer";

void SayOnce(std::atomic<bool>& said, const std::string& text) {
  if (!said.exchange(true)) std::fprintf(stderr, "tevalo: %s\n", text.c_str());
}

std::atomic<bool> g_saidNoDevice{false};
std::atomic<bool> g_saidNoSink{false};

// autoaudiosink falls back to a fake sink when no device takes the sound.
void OnChildAdded(GstBin*, GstElement* child, gpointer) {
  GstElementFactory* factory = gst_element_get_factory(child);
  const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
  if (std::strcmp(name, "fakesink") == 0 || std::strcmp(name, "fakeaudiosink") == 0)
    SayOnce(g_saidNoDevice, "no sound output was found; the picture plays without sound");
}

}  // namespace

GstElement* MakeAudioSink() {
  const char* env = std::getenv("TEVALO_AUDIO_SINK");
  const std::string description = env && *env ? env : "autoaudiosink";
  if (description.find_first_of(" !") == std::string::npos) {
    GstElement* sink = gst_element_factory_make(description.c_str(), kName);
    if (!sink) SayOnce(g_saidNoSink, "no sound output: cannot make \"" + description + "\"");
    if (sink && GST_IS_BIN(sink)) g_signal_connect(sink, "element-added", G_CALLBACK(OnChildAdded), nullptr);
    return sink;
  }
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
  if (!bin || error) {
    SayOnce(g_saidNoSink,
            "no sound output: \"" + description + "\": " + (error ? error->message : "not made"));
    if (bin) gst_object_unref(bin);
    g_clear_error(&error);
    return nullptr;
  }
  gst_element_set_name(bin, kName);
  return bin;
}

}  // namespace tevalo::graph
