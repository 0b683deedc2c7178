// The wire form of a window message between processes: a request of fixed-size little-endian header
// plus an optional payload (WM_COPYDATA's bytes), answered by a fixed-size reply. The decoder checks
// every field before it trusts a length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tevalo::win::frame {

constexpr uint32_t kRequestMagic = 0x4D575654;  // "TVWM"
constexpr uint32_t kReplyMagic = 0x52575654;    // "TVWR"
constexpr size_t kRequestHeaderSize = 48;
constexpr size_t kReplySize = 16;

enum class Kind : uint32_t { kSend = 1, kPost = 2 };
enum class ReplyStatus : uint32_t { kHandled = 0, kRefused = 1, kNoWindow = 2 };

struct Request {
  Kind kind = Kind::kSend;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  uint64_t code = 0;    // WM_COPYDATA dwData
  uint32_t cbData = 0;  // WM_COPYDATA cbData, a value of its own when there is no payload
  bool hasPayload = false;
  std::vector<uint8_t> payload;
};

struct Reply {
  ReplyStatus status = ReplyStatus::kHandled;
  int64_t result = 0;
};

std::vector<uint8_t> Encode(const Request& r);
std::vector<uint8_t> Encode(const Reply& r);

enum class Decoded { kNeedMore, kOk, kBad };

// Decodes the request at the start of `data`. kBad as soon as the header is wrong, without waiting
// for a payload it announces; kNeedMore until the whole frame is there. `consumed` is the frame size.
Decoded DecodeRequest(const uint8_t* data, size_t size, Request& out, size_t& consumed);
Decoded DecodeReply(const uint8_t* data, size_t size, Reply& out);

}  // namespace tevalo::win::frame
