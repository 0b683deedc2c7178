// Reading one message from the channel on the filter's side: the header first, then the body by
// type, ending with the release and acknowledgement the writer waits for.
#pragma once

#include <cstdint>
#include <vector>

#include "ipc/ipc_messages.h"
#include "ipc/shared_memory_ipc.h"

struct IpcIncoming {
  IpcMessageHeader header{};     // type and second word of the last message
  StreamFormatMessage format{};  // 257/258: the body lands at offset 8; bytes after it keep what an
                                 // earlier, longer configuration left there (readers use length)
  int64_t values[4]{};           // 259/260: the four values of the head; [1] is the stamp
  std::vector<uint8_t> payload;  // 259/260: the frame
  int32_t argument = 0;          // 264: the low byte of the argument; 265: all 32 bits
};

enum class IpcReadResult {
  None,     // no message within the wait
  Message,  // msg holds it
  Refused,  // a length out of range: nothing taken, the message was still released and acknowledged
};

IpcReadResult ReadIpcMessage(CSharedMemoryIpc& ipc, IpcIncoming& msg, uint32_t waitMs = 1);
