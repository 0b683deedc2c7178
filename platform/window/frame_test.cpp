#include "platform/window/frame.h"

#include <gtest/gtest.h>

#include "platform/window/messages.h"

namespace tevalo::win::frame {
namespace {

void Put32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

Request CopyData(uint32_t code, std::vector<uint8_t> bytes) {
  Request r;
  r.message = WM_COPYDATA;
  r.code = code;
  r.cbData = static_cast<uint32_t>(bytes.size());
  r.hasPayload = true;
  r.payload = std::move(bytes);
  return r;
}

TEST(WindowFrame, RoundTripAndPartialFrames) {
  Request r = CopyData(16, {'a', 0, 'b', 0, 0, 0});
  r.wParam = 0x1122334455667788ull;
  r.lParam = -5;
  const auto bytes = Encode(r);
  ASSERT_EQ(bytes.size(), kRequestHeaderSize + 6);
  EXPECT_EQ(bytes[0], 'T');  // little-endian magic "TVWM"
  for (size_t n = 0; n < bytes.size(); ++n) {
    Request out;
    size_t used = 99;
    EXPECT_EQ(DecodeRequest(bytes.data(), n, out, used), Decoded::kNeedMore) << n;
    EXPECT_EQ(used, 0u);
  }
  Request out;
  size_t used = 0;
  ASSERT_EQ(DecodeRequest(bytes.data(), bytes.size(), out, used), Decoded::kOk);
  EXPECT_EQ(used, bytes.size());
  EXPECT_EQ(out.code, 16u);
  EXPECT_EQ(out.wParam, r.wParam);
  EXPECT_EQ(out.lParam, -5);
  EXPECT_EQ(out.payload, r.payload);

  // A process id in cbData travels without bytes.
  Request pid;
  pid.message = WM_COPYDATA;
  pid.code = 3;
  pid.cbData = 4242;
  const auto pidBytes = Encode(pid);
  ASSERT_EQ(DecodeRequest(pidBytes.data(), pidBytes.size(), out, used), Decoded::kOk);
  EXPECT_EQ(out.cbData, 4242u);
  EXPECT_FALSE(out.hasPayload);
  EXPECT_TRUE(out.payload.empty());

  Reply reply{ReplyStatus::kHandled, -77};
  const auto rb = Encode(reply);
  Reply back;
  ASSERT_EQ(DecodeReply(rb.data(), rb.size(), back), Decoded::kOk);
  EXPECT_EQ(back.result, -77);
  EXPECT_EQ(DecodeReply(rb.data(), 15, back), Decoded::kNeedMore);
}

TEST(WindowFrame, BadHeadersAreRefusedBeforeTheirPayload) {
  const auto good = Encode(CopyData(16, std::vector<uint8_t>(8, 1)));
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"magic", 0, 0x12345678},
      {"kind", 4, 3},
      {"unknown flag", 12, 3},
      {"length above the bound", 44, 0xFFFFFFFF},
      {"length other than cbData", 44, 7},
      {"cbData other than length", 40, 9},
      {"payload without WM_COPYDATA", 8, WM_USER},
      {"posted WM_COPYDATA", 4, uint32_t(Kind::kPost)},
  };
  for (const auto& c : cases) {
    auto bytes = good;
    Put32At(bytes, c.at, c.value);
    Request out;
    size_t used = 0;
    // Only the header is there: the frame is judged without waiting for the bytes it announces.
    EXPECT_EQ(DecodeRequest(bytes.data(), kRequestHeaderSize, out, used), Decoded::kBad) << c.what;
  }
  Request noPayload;
  noPayload.message = WM_USER;
  auto bytes = Encode(noPayload);
  Put32At(bytes, 44, 4);  // bytes announced without the payload flag
  Request out;
  size_t used = 0;
  EXPECT_EQ(DecodeRequest(bytes.data(), bytes.size(), out, used), Decoded::kBad);
  EXPECT_EQ(DecodeRequest(bytes.data(), 4, out, used), Decoded::kNeedMore);
  bytes[0] ^= 0xFF;
  EXPECT_EQ(DecodeRequest(bytes.data(), 4, out, used), Decoded::kBad);
}

}  // namespace
}  // namespace tevalo::win::frame
