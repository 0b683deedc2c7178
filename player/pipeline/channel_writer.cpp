#include "player/pipeline/channel_writer.h"

namespace tevalo::pipeline {

bool WriteFrameToChannel(CSharedMemoryIpc* ipc, const tvk::Handle& filterWake, const uint8_t* message,
                         size_t size) {
  if (filterWake) tvk::SetEvent(filterWake);
  if (!ipc) return false;
  return ipc->Write(message, static_cast<uint32_t>(size), 1) == 1;
}

bool WriteStreamFormatsToChannel(CSharedMemoryIpc* ipc, const tvk::Handle& filterWake,
                                 const StreamFormatMessage& video, const StreamFormatMessage& audio) {
  if (!ipc) return false;
  if (filterWake) tvk::SetEvent(filterWake);
  if (ipc->Write(&video, kFormatMessageBytes, 0) != 1) return false;
  if (filterWake) tvk::SetEvent(filterWake);
  return ipc->Write(&audio, kFormatMessageBytes, 1) == 1;
}

}  // namespace tevalo::pipeline
