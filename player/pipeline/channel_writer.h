// Stream messages onto the shared-memory channel, for the host's IStreamHost implementation. Both
// run with the engine's send lock held; ipc may be null (no filter connected), and the unit is lost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/sync.h"

namespace tevalo::pipeline {

// Sets the filter's wake event, then writes one frame message waiting for the peer's
// acknowledgement of the previous one. True when it was placed.
bool WriteFrameToChannel(CSharedMemoryIpc* ipc, const tvk::Handle& filterWake, const uint8_t* message,
                         size_t size);

// The format hand-over: wake, the video format (no wait), and only when that went, wake again and
// the audio format (waiting for the peer). True when both were placed.
bool WriteStreamFormatsToChannel(CSharedMemoryIpc* ipc, const tvk::Handle& filterWake,
                                 const StreamFormatMessage& video, const StreamFormatMessage& audio);

}  // namespace tevalo::pipeline
