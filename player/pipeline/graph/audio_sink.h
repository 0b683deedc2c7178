// The graph's sound output.
#pragma once

#include <gst/gst.h>

namespace tevalo::graph {

// $TEVALO_AUDIO_SINK (an element name, or a pipeline description such as
// "wavenc ! filesink location=x.wav" for tests), else autoaudiosink; named "Audio Renderer". Null
// when it cannot be made (said once on standard error). When autoaudiosink finds no sound device,
// that is said once on standard error too: the picture plays on without sound.
GstElement* MakeAudioSink();

}  // namespace tevalo::graph
