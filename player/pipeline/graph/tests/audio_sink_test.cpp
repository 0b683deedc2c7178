// The sound output from TEVALO_AUDIO_SINK: an element, a pipeline description, or nothing usable.
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "player/pipeline/graph/audio_sink.h"

namespace {

TEST(AudioSink, ElementsAndDescriptions) {
  gst_init(nullptr, nullptr);
  struct Case {
    const char* env;
    bool made;
  };
  const Case cases[] = {
      {"fakesink", true},
      {"audioconvert ! wavenc ! filesink location=/dev/null", true},
      {"no_such_element_here", false},
      {"audioconvert ! no_such_element_here", false},
      {"audioconvert ! !", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env);
    setenv("TEVALO_AUDIO_SINK", c.env, 1);
    GstElement* sink = tevalo::graph::MakeAudioSink();
    EXPECT_EQ(sink != nullptr, c.made);
    if (!sink) continue;
    gchar* name = gst_element_get_name(sink);
    EXPECT_STREQ(name, "Audio Renderer");
    g_free(name);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    EXPECT_NE(pad, nullptr);  // a description gets its open end as the bin's sink pad
    if (pad) gst_object_unref(pad);
    gst_object_unref(sink);
  }
}

}  // namespace
