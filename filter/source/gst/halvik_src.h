// The halviksrc element: the live source filter on GStreamer.
#pragma once

#include <gst/gst.h>

namespace halvik {

GType halvik_src_get_type();
// Registers halviksrc with `plugin`, or statically (tests) when `plugin` is null.
gboolean halvik_src_register(GstPlugin* plugin);

}  // namespace halvik
