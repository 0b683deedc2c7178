// The channel's message records as the engine uses them (the records themselves live in ipc/).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/ipc_messages.h"

namespace tevalo::pipeline {

inline constexpr int32_t kMsgVideoConfig = IPC_VIDEO_CONFIG;
inline constexpr int32_t kMsgAudioConfig = IPC_AUDIO_CONFIG;
inline constexpr int32_t kMsgVideoFrame = IPC_VIDEO_FRAME;
inline constexpr int32_t kMsgAudioFrame = IPC_AUDIO_FRAME;

inline constexpr size_t kVideoHeaderMax = 128;  // longest SPS/PPS capture the player sends
inline constexpr size_t kVideoFrameMessageSize = kVideoFrameMessageBytes;
inline constexpr size_t kAudioFrameMessageSize = kAudioFrameMessageBytes;
inline constexpr size_t kVideoPayloadMax = kVideoFramePayloadMax;
inline constexpr size_t kAudioPayloadMax = kAudioFramePayloadMax;

}  // namespace tevalo::pipeline
