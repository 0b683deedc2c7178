// Fixed names of the live source filter, shared with the player.
#pragma once

#include <cstdint>

namespace halvik {

inline constexpr char kFilterName[] = "Halvik Filter";
inline constexpr char kClsidHalvik[] = "{2ACD3B3A-7AEC-4DEC-9C31-DC0DE690E3B0}";
inline constexpr uint32_t kMerit = 0x600000;
inline constexpr char kVideoPinName[] = "DMBStream_VIDEO";
inline constexpr char kAudioPinName[] = "DMBStream_AUDIO_stereo";
inline constexpr char kUrlScheme[] = "x-dmb";

inline constexpr char kChannelName[] = "{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}";
inline constexpr uint32_t kChannelPayload = 40001;
inline constexpr char kWakeEventName[] = "{BD8438A5-FE8F-4e26-9718-AD19887A24D9}";
inline constexpr char kQuitEventName[] = "{BB466D8B-D2E5-420a-BEE8-B6B69837F2BF}";
inline constexpr char kDualMonoMessageName[] = "C3F3B4AB-8C35-47ff-B75E-D7242E81D58E";
inline constexpr char kPlayerWindowTitle[] = "Tevalo";

// Channel message types.
inline constexpr int32_t kMsgVideoConfig = 257;
inline constexpr int32_t kMsgAudioConfig = 258;
inline constexpr int32_t kMsgVideoFrame = 259;
inline constexpr int32_t kMsgAudioFrame = 260;
inline constexpr int32_t kMsgRecord = 264;
inline constexpr int32_t kMsgAudioMode = 265;

inline constexpr uint32_t kMaxConfigLength = 1016;
inline constexpr uint32_t kMaxVideoFrameLength = 39960;
inline constexpr uint32_t kMaxAudioFrameLength = 10240;

// WM_COPYDATA codes to the player.
inline constexpr uint32_t kCopyDataFilterOpen = 2;
inline constexpr uint32_t kCopyDataFilterRun = 3;
inline constexpr uint32_t kCopyDataFilterStop = 4;
inline constexpr uint32_t kFilterConnectDataSize = 524;

}  // namespace halvik
