#include "platform/window/frame.h"

#include "platform/window/messages.h"

namespace tevalo::win::frame {
namespace {

constexpr uint32_t kFlagPayload = 1;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | (uint64_t(Get32(p + 4)) << 32); }

}  // namespace

std::vector<uint8_t> Encode(const Request& r) {
  std::vector<uint8_t> out;
  out.reserve(kRequestHeaderSize + r.payload.size());
  Put32(out, kRequestMagic);
  Put32(out, static_cast<uint32_t>(r.kind));
  Put32(out, r.message);
  Put32(out, r.hasPayload ? kFlagPayload : 0);
  Put64(out, r.wParam);
  Put64(out, static_cast<uint64_t>(r.lParam));
  Put64(out, r.code);
  Put32(out, r.cbData);
  Put32(out, static_cast<uint32_t>(r.payload.size()));
  out.insert(out.end(), r.payload.begin(), r.payload.end());
  return out;
}

std::vector<uint8_t> Encode(const Reply& r) {
  std::vector<uint8_t> out;
  Put32(out, kReplyMagic);
  Put32(out, static_cast<uint32_t>(r.status));
  Put64(out, static_cast<uint64_t>(r.result));
  return out;
}

Decoded DecodeRequest(const uint8_t* p, size_t size, Request& out, size_t& consumed) {
  consumed = 0;
  // Every field that is already there is checked, so a bad frame is refused at its first bad byte.
  if (size >= 4 && Get32(p) != kRequestMagic) return Decoded::kBad;
  if (size < kRequestHeaderSize) return Decoded::kNeedMore;
  const uint32_t kind = Get32(p + 4);
  const uint32_t message = Get32(p + 8);
  const uint32_t flags = Get32(p + 12);
  const uint32_t cbData = Get32(p + 40);
  const uint32_t length = Get32(p + 44);
  const bool hasPayload = (flags & kFlagPayload) != 0;
  if (kind != uint32_t(Kind::kSend) && kind != uint32_t(Kind::kPost)) return Decoded::kBad;
  if ((flags & ~kFlagPayload) != 0) return Decoded::kBad;
  // Bytes travel only with WM_COPYDATA, which is sent, never posted, and says how many it carries.
  if (hasPayload && (message != WM_COPYDATA || length != cbData || length > kMaxCopyDataBytes))
    return Decoded::kBad;
  if (!hasPayload && length != 0) return Decoded::kBad;
  if (message == WM_COPYDATA && kind != uint32_t(Kind::kSend)) return Decoded::kBad;
  if (size < kRequestHeaderSize + length) return Decoded::kNeedMore;
  out.kind = static_cast<Kind>(kind);
  out.message = message;
  out.wParam = Get64(p + 16);
  out.lParam = static_cast<int64_t>(Get64(p + 24));
  out.code = Get64(p + 32);
  out.cbData = cbData;
  out.hasPayload = hasPayload;
  out.payload.assign(p + kRequestHeaderSize, p + kRequestHeaderSize + length);
  consumed = kRequestHeaderSize + length;
  return Decoded::kOk;
}

Decoded DecodeReply(const uint8_t* p, size_t size, Reply& out) {
  if (size >= 4 && Get32(p) != kReplyMagic) return Decoded::kBad;
  if (size < kReplySize) return Decoded::kNeedMore;
  const uint32_t status = Get32(p + 4);
  if (status > uint32_t(ReplyStatus::kNoWindow)) return Decoded::kBad;
  out.status = static_cast<ReplyStatus>(status);
  out.result = static_cast<int64_t>(Get64(p + 8));
  return Decoded::kOk;
}

}  // namespace tevalo::win::frame
