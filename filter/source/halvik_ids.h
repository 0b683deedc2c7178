// Fixed names of the live source filter itself. What it shares with the player (the channel, the
// events, the messages and the WM_COPYDATA codes) is the contract in ipc/filter_protocol.h.
#pragma once

#include <cstdint>

#include "ipc/filter_protocol.h"

namespace halvik {

inline constexpr char kFilterName[] = "Halvik Filter";
inline constexpr char kClsidHalvik[] = "{2ACD3B3A-7AEC-4DEC-9C31-DC0DE690E3B0}";
inline constexpr uint32_t kMerit = 0x600000;
inline constexpr char kVideoPinName[] = "DMBStream_VIDEO";
inline constexpr char kAudioPinName[] = "DMBStream_AUDIO_stereo";
inline constexpr char kUrlScheme[] = "x-dmb";

}  // namespace halvik
