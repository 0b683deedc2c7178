// The installed shape of libgsthalvikf.so, found through GST_PLUGIN_PATH, beside the live plugin.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

TEST(HalvikfPlugin, RegistersTheRecordingPlaybackElement) {
  gst_init(nullptr, nullptr);
  GstElementFactory* f = gst_element_factory_find("halvikfsrc");
  ASSERT_TRUE(f);
  EXPECT_STREQ(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME), "DMB REC Filter");
  GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(f));
  ASSERT_TRUE(plugin);
  const std::string file = gst_plugin_get_filename(plugin);
  EXPECT_EQ(file.substr(file.rfind('/') + 1), "libgsthalvikf.so");
  gst_object_unref(plugin);
  GstElement* e = gst_element_factory_create(f, nullptr);
  ASSERT_TRUE(e);
  for (const char* name : {"F_DMBStream_VIDEO", "F_DMBStream_AUDIO"}) {
    GstPad* pad = gst_element_get_static_pad(e, name);
    EXPECT_TRUE(pad) << name;
    if (pad) gst_object_unref(pad);
  }
  EXPECT_TRUE(g_object_class_find_property(G_OBJECT_GET_CLASS(e), "location"));
  gst_object_unref(e);
  gst_object_unref(f);
  // The live plugin, now carrying the recorder, still loads.
  GstElementFactory* live = gst_element_factory_find("halviksrc");
  EXPECT_TRUE(live);
  if (live) gst_object_unref(live);
}
