// The halvikfsrc element: the .rec playback filter on GStreamer.
#pragma once

#include <gst/gst.h>

namespace halvikf {

GType halvikf_src_get_type();
// Registers halvikfsrc with `plugin`, or statically (tests) when `plugin` is null.
gboolean halvikf_src_register(GstPlugin* plugin);

}  // namespace halvikf
