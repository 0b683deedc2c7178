#include "ipc/ipc_reader.h"

IpcReadResult ReadIpcMessage(CSharedMemoryIpc& ipc, IpcIncoming& msg, uint32_t waitMs) {
  uint8_t head[kFrameHeadBytes];
  if (!ipc.Read(head, 8, 0, CSharedMemoryIpc::kReadWait, waitMs)) return IpcReadResult::None;
  msg.header = DecodeMessageHeader(head);
  const int32_t type = msg.header.type;
  const uint32_t length = static_cast<uint32_t>(msg.header.length);
  auto refuse = [&] {
    ipc.Read(nullptr, 0, 8, CSharedMemoryIpc::kReadRelease, 0);
    return IpcReadResult::Refused;
  };
  switch (type) {
    case IPC_VIDEO_CONFIG:
    case IPC_AUDIO_CONFIG:
      if (msg.header.length < 0 || length > kFormatBodyMax) return refuse();
      if (!ipc.Read(msg.format.body, length, 8, CSharedMemoryIpc::kReadRelease, 0))
        return IpcReadResult::Refused;
      msg.format.type = type;
      msg.format.length = msg.header.length;
      return IpcReadResult::Message;
    case IPC_VIDEO_FRAME:
    case IPC_AUDIO_FRAME:
      if (msg.header.length < 0 || length > FramePayloadMax(type)) return refuse();
      for (int i = 0; i < 4; ++i) ipc.Read(head + 8 + 8 * i, 8, 8 + 8 * i, CSharedMemoryIpc::kReadCopy, 0);
      for (int i = 0; i < 4; ++i) msg.values[i] = ipcle::GetI64(head + 8 + 8 * i);
      msg.payload.resize(length);
      if (!ipc.Read(msg.payload.data(), length, kFrameHeadBytes, CSharedMemoryIpc::kReadRelease, 0)) {
        msg.payload.clear();
        return IpcReadResult::Refused;
      }
      return IpcReadResult::Message;
    case IPC_RECORD: {
      uint8_t byte = 0;
      ipc.Read(&byte, 1, 8, CSharedMemoryIpc::kReadRelease, 0);
      msg.argument = byte;
      return IpcReadResult::Message;
    }
    case IPC_AUDIO_MODE: {
      uint8_t word[4] = {};
      ipc.Read(word, 4, 8, CSharedMemoryIpc::kReadRelease, 0);
      msg.argument = ipcle::GetI32(word);
      return IpcReadResult::Message;
    }
    default:  // 263 and anything unknown: consumed and acknowledged
      ipc.Read(nullptr, 0, 8, CSharedMemoryIpc::kReadRelease, 0);
      return IpcReadResult::Message;
  }
}
