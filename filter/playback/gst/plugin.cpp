// libgsthalvikf.so: the .rec playback filter as the GStreamer element halvikfsrc.
#include <gst/gst.h>

#include "filter/playback/gst/halvikf_src.h"

#define PACKAGE "tevalo"

static gboolean plugin_init(GstPlugin* plugin) { return halvikf::halvikf_src_register(plugin); }

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, halvikf, "Tevalo recording playback filter",
                  plugin_init, "1.0", "Proprietary", "tevalo", "https://tevalo.invalid")
