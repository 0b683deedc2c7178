// libgsthalvik.so: the live source filter as the GStreamer element halviksrc.
#include <gst/gst.h>

#include "filter/source/filter_host.h"
#include "filter/source/gst/halvik_src.h"
#include "filter/source/platform_host.h"
#include "filter/source/recorder.h"

#define PACKAGE "tevalo"

static gboolean plugin_init(GstPlugin* plugin) {
  if (!halvik::GetFilterHost()) halvik::SetFilterHost(halvik::MakePlatformHost());
  halvik::SetRecorderFactory(halvik::MakeRecorderFactory());
  return halvik::halvik_src_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, halvik, "Tevalo live source filter", plugin_init,
                  "1.0", "Proprietary", "tevalo", "https://tevalo.invalid")
