// The message records as bytes: little-endian fields at fixed offsets, lengths checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/filter_protocol.h"

namespace {

TEST(IpcRecords, FormatMessageCarriesItsBodyAndZerosAfterIt) {
  const uint8_t adts[7] = {0xFF, 0xF8, 0x50, 0x80, 0x2E, 0x7F, 0xFC};
  StreamFormatMessage m;
  std::memset(&m, 0xAA, sizeof m);
  ASSERT_TRUE(MakeFormatMessage(m, IPC_AUDIO_CONFIG, adts, 7));
  auto* bytes = reinterpret_cast<const uint8_t*>(&m);
  const uint8_t head[8] = {0x02, 0x01, 0, 0, 7, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(bytes, head, 8));
  EXPECT_EQ(0, std::memcmp(bytes + 8, adts, 7));
  for (size_t i = 15; i < sizeof m; ++i) ASSERT_EQ(bytes[i], 0) << i;

  StreamFormatMessage back;
  ASSERT_TRUE(DecodeFormatMessage(bytes, back));
  EXPECT_EQ(back.type, IPC_AUDIO_CONFIG);
  EXPECT_EQ(back.length, 7);

  std::vector<uint8_t> big(kFormatBodyMax + 1, 1);
  EXPECT_FALSE(MakeFormatMessage(m, IPC_VIDEO_CONFIG, big.data(), kFormatBodyMax + 1));
  EXPECT_TRUE(MakeFormatMessage(m, IPC_VIDEO_CONFIG, big.data(), kFormatBodyMax));
  uint8_t bad[kFormatMessageBytes] = {};
  ipcle::PutI32(bad + 4, 1017);
  EXPECT_FALSE(DecodeFormatMessage(bad, back));
  ipcle::PutI32(bad + 4, -1);
  EXPECT_FALSE(DecodeFormatMessage(bad, back));
}

TEST(IpcRecords, FrameHeadIsLittleEndianWithTheStampSecond) {
  const int64_t values[4] = {-1, 0x0102030405060708LL, -1, -1};
  uint8_t head[kFrameHeadBytes];
  EncodeFrameHead(IPC_VIDEO_FRAME, 0x1234, values, head);
  const uint8_t expect[24] = {0x03, 0x01, 0,    0,    0x34, 0x12, 0,    0,    0xFF, 0xFF, 0xFF, 0xFF,
                              0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(0, std::memcmp(head, expect, sizeof expect));

  // The packed record in memory has the same bytes.
  StreamFrameMessage m;
  const uint8_t payload[3] = {9, 8, 7};
  EXPECT_EQ(MakeFrameMessage(m, IPC_VIDEO_FRAME, 0x0102030405060708LL, payload, 3), kVideoFrameMessageBytes);
  auto* bytes = reinterpret_cast<const uint8_t*>(&m);
  EXPECT_EQ(0, std::memcmp(bytes + 8, head + 8, 32));
  EXPECT_EQ(0, std::memcmp(bytes + 40, payload, 3));

  int32_t type;
  uint32_t length;
  int64_t back[4];
  ASSERT_TRUE(DecodeFrameHead(head, type, length, back));
  EXPECT_EQ(type, IPC_VIDEO_FRAME);
  EXPECT_EQ(length, 0x1234u);
  EXPECT_EQ(back[1], 0x0102030405060708LL);
}

TEST(IpcRecords, FrameLengthsAreBoundByTheirRecord) {
  struct Case {
    int32_t type;
    uint32_t length;
    uint32_t written;  // 0: refused
  };
  const Case cases[] = {
      {IPC_VIDEO_FRAME, 0, 40000},     {IPC_VIDEO_FRAME, 39960, 40000}, {IPC_VIDEO_FRAME, 39961, 0},
      {IPC_AUDIO_FRAME, 10240, 10280}, {IPC_AUDIO_FRAME, 10241, 0},     {IPC_RECORD, 4, 0},
  };
  std::vector<uint8_t> payload(40000, 0x5A);
  StreamFrameMessage m;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << "/" << c.length);
    EXPECT_EQ(MakeFrameMessage(m, c.type, -1, payload.data(), c.length), c.written);
    uint8_t head[kFrameHeadBytes];
    const int64_t values[4] = {-1, -1, -1, -1};
    EncodeFrameHead(c.type, c.length, values, head);
    int32_t type;
    uint32_t length;
    int64_t back[4];
    EXPECT_EQ(DecodeFrameHead(head, type, length, back), c.written != 0);
  }
}

TEST(IpcRecords, ControlMessagesAreThreeWords) {
  const ControlMessage start = MakeControlMessage(IPC_RECORD, IPC_RECORD_START);
  EXPECT_EQ(start.length, 12);
  const ControlMessage sub = MakeControlMessage(IPC_AUDIO_MODE, IPC_AUDIO_MODE_SUB);
  EXPECT_EQ(sub.length, 0);
  uint8_t bytes[12];
  EncodeControlMessage(start, bytes);
  const uint8_t expect[12] = {0x08, 0x01, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(bytes, expect, 12));
  EXPECT_EQ(0, std::memcmp(&start, expect, 12));
  const ControlMessage back = DecodeControlMessage(bytes);
  EXPECT_EQ(back.type, IPC_RECORD);
  EXPECT_EQ(back.argument, IPC_RECORD_START);
}

TEST(IpcRecords, TheConnectDataRoundTripsThroughItsCodec) {
  struct Case {
    std::u16string url;
    std::u16string back;  // what the player reads
  };
  const std::u16string long259(259, u'a');
  // A pair that would end at unit 260 is left out whole.
  const std::u16string pairAtEnd = std::u16string(258, u'b') + u"\U0001F4FA";
  const Case cases[] = {
      {u"x-dmb://14141", u"x-dmb://14141"},
      {u"x-dmb://あいう", u"x-dmb://あいう"},
      {u"", u""},
      {long259, long259},
      {long259 + u"cut", long259},
      {pairAtEnd, std::u16string(258, u'b')},
      {std::u16string(257, u'c') + u"\U0001F4FA", std::u16string(257, u'c') + u"\U0001F4FA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.url.size() << " units");
    const auto bytes = EncodeFilterConnectData(0x01020304u, std::u16string_view(c.url));
    ASSERT_EQ(bytes.size(), kFilterConnectDataBytes);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[522], 0);  // the terminator always fits
    EXPECT_EQ(bytes[523], 0);
    const auto d = DecodeFilterConnectData(bytes.data(), bytes.size());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->processId, 0x01020304u);
    EXPECT_EQ(d->url, c.back);
  }
  // The filter's UTF-8 URL: a non-ASCII character as UTF-16LE, the rest cut in bounds.
  const auto d = EncodeFilterConnectData(7, std::string_view("x-dmb://\xE3\x81\x82" + std::string(400, 'a')));
  EXPECT_EQ(d[4 + 2 * 8], 0x42);  // U+3042
  EXPECT_EQ(d[5 + 2 * 8], 0x30);
  EXPECT_EQ(d[520], 'a');
  EXPECT_EQ(d[522], 0);
  EXPECT_EQ(DecodeFilterConnectData(d.data(), d.size())->url.size(), 259u);
  // Bytes that are not UTF-8 become U+FFFD.
  EXPECT_EQ(DecodeFilterConnectData(EncodeFilterConnectData(1, std::string_view("a\xFF"
                                                                                "b"))
                                        .data(),
                                    kFilterConnectDataBytes)
                ->url,
            u"a\uFFFDb");
  // Short or missing data is no connect data.
  EXPECT_FALSE(DecodeFilterConnectData(d.data(), kFilterConnectDataBytes - 1));
  EXPECT_FALSE(DecodeFilterConnectData(nullptr, kFilterConnectDataBytes));
}

TEST(IpcRecords, ACopyDataTextEndsAtItsFirstZeroOrItsLength) {
  const char16_t path[] = u"/tmp/番組.pl";
  EXPECT_EQ(DecodeCopyDataText(path, sizeof path), u"/tmp/番組.pl");
  EXPECT_EQ(DecodeCopyDataText(path, 10), u"/tmp/");
  EXPECT_EQ(DecodeCopyDataText(path, 0), u"");
  EXPECT_EQ(DecodeCopyDataText(nullptr, 8), u"");
}

}  // namespace
