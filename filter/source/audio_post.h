// What the audio pin does to decoded PCM: mono doubling, the dual-mono selection and the
// noise-burst mute.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

// Expands `frames` mono samples in place to stereo pairs; `pcm` must hold 2 x frames samples.
void DoubleMono(int16_t* pcm, size_t frames);

// Dual-mono selection: 1 main (left) on both channels, 2 sub (right) on both, 3 (and anything else)
// both as decoded.
void ApplyDualMonoSelection(int16_t* stereo, size_t frames, int32_t selection);

// True when a block of 1024 stereo frames carries a burst: a large real part in the 30 transform
// bins from half the sampling rate upward (left channel, Hann-windowed). `threshold` is in
// thousands (10 live, 30 playback).
bool HasNoiseBurst(const int16_t* stereo_1024_frames, int threshold);

// Zeroes the whole 8192-byte buffer when either 4096-byte half carries a burst; true when muted.
bool MuteNoiseBurst(int16_t* stereo_2048_frames, int threshold);

}  // namespace halvik
