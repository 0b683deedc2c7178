#include <gst/gst.h>
#include <gtest/gtest.h>

namespace {

TEST(HalvikPlugin, TheBuiltPluginOffersHalviksrcForXDmbUrls) {
  gst_init(nullptr, nullptr);
  GstElementFactory* f = gst_element_factory_find("halviksrc");
  ASSERT_TRUE(f) << "libgsthalvik.so not found through GST_PLUGIN_PATH";
  EXPECT_STREQ(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME), "Halvik Filter");
  EXPECT_EQ(gst_element_factory_get_uri_type(f), GST_URI_SRC);
  GstPluginFeature* feature = GST_PLUGIN_FEATURE(f);
  EXPECT_STREQ(gst_plugin_feature_get_plugin_name(feature), "halvik");
  gst_object_unref(f);

  GError* err = nullptr;
  GstElement* src = gst_element_make_from_uri(GST_URI_SRC, "x-dmb://14141", "src", &err);
  ASSERT_TRUE(src) << (err ? err->message : "");
  // Without a player there is no data; the element still reaches the paused state and back.
  GstElement* pipe = gst_pipeline_new(nullptr);
  GstElement* v = gst_element_factory_make("fakesink", nullptr);
  GstElement* a = gst_element_factory_make("fakesink", nullptr);
  gst_bin_add_many(GST_BIN(pipe), src, v, a, nullptr);
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_VIDEO", v, "sink"));
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_AUDIO_stereo", a, "sink"));
  gst_element_set_state(pipe, GST_STATE_PLAYING);
  g_usleep(100000);
  EXPECT_EQ(gst_element_set_state(pipe, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  gst_object_unref(pipe);
}

}  // namespace
