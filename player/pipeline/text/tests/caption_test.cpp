// Caption PES packets to caption screens.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "arib_text_decoders.h"
#include "recording_sink.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Unit {
  uint8_t parameter;
  Bytes bytes;
  int declaredSize = -1;  // -1: the real size
};

// One caption PES in one packet payload: PES header with a PTS, then the caption data group.
Bytes CaptionPes(const std::vector<Unit>& units, int tmd = 0, uint8_t groupId = 0x01,
                 const Bytes& dataHeader = {}) {
  Bytes loop;
  for (const Unit& u : units) {
    const uint32_t size = u.declaredSize < 0 ? uint32_t(u.bytes.size()) : uint32_t(u.declaredSize);
    loop.insert(loop.end(), {0x1F, u.parameter, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
    loop.insert(loop.end(), u.bytes.begin(), u.bytes.end());
  }
  Bytes group = {uint8_t(groupId << 2), 0x00, 0x00, 0x00, 0x00, uint8_t(tmd << 6)};
  if (tmd == 1 || tmd == 2) group.insert(group.end(), {0x00, 0x00, 0x10, 0x00, 0x00});  // STM
  const uint32_t loopLen = uint32_t(loop.size());
  group.insert(group.end(), {uint8_t(loopLen >> 16), uint8_t(loopLen >> 8), uint8_t(loopLen)});
  group.insert(group.end(), loop.begin(), loop.end());
  const uint16_t groupSize = uint16_t(group.size() - 5);
  group[3] = uint8_t(groupSize >> 8), group[4] = uint8_t(groupSize);
  uint16_t crc = 0;
  for (uint8_t b : group) {
    crc ^= uint16_t(b << 8);
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
  }
  group.insert(group.end(), {uint8_t(crc >> 8), uint8_t(crc)});

  Bytes pes = {0x00,
               0x00,
               0x01,
               0xBD,
               0x00,
               0x00,
               0x80,
               0x80,
               0x05,
               0x21,
               0x00,
               0x01,
               0x00,
               0x01,
               0x80,
               0xFF,
               uint8_t(0xF0 | dataHeader.size())};
  pes.insert(pes.end(), dataHeader.begin(), dataHeader.end());
  pes.insert(pes.end(), group.begin(), group.end());
  const uint16_t pesLen = uint16_t(pes.size() - 6);
  pes[4] = uint8_t(pesLen >> 8), pes[5] = uint8_t(pesLen);
  return pes;
}

Bytes Body(Bytes statement) { return CaptionPes({{0x20, std::move(statement)}}); }

struct Line {
  int clear, count, cr, colour, time;
  const char* text;
};

void ExpectScreen(const CaptionScreen& got, const std::vector<Line>& want, const char* what) {
  for (size_t i = 0; i < 8; ++i) {
    const Line l = i < want.size() ? want[i] : Line{0, 0, 1, 8, 0, ""};
    const CaptionLine& g = got[i];
    EXPECT_EQ(g.clearFlag, l.clear) << what << " line " << i;
    EXPECT_EQ(g.lineCount, l.count) << what << " line " << i;
    EXPECT_EQ(g.crFlag, l.cr) << what << " line " << i;
    EXPECT_EQ(g.colour, l.colour) << what << " line " << i;
    EXPECT_EQ(g.timeValue, l.time) << what << " line " << i;
    EXPECT_EQ(Utf8(g.text), l.text) << what << " line " << i;
    EXPECT_EQ(g.text[511], 0) << what;
  }
}

TEST(Caption, LiteralPacket) {
  // 00 00 01 BD, length, flags, PTS; data group: id 1, TMD 0, one statement body:
  // CS, white, 字幕, CR, 東
  const Bytes pes = {0x00, 0x00, 0x01, 0xBD, 0x00, 0x24, 0x80, 0x80, 0x05, 0x21, 0x00,
                     0x01, 0x00, 0x01,              // PES header
                     0x80, 0xFF, 0xF0,              // data header
                     0x04, 0x00, 0x00, 0x00, 0x12,  // group id 1, size 18
                     0x00,                          // TMD 0
                     0x00, 0x00, 0x0E,              // unit loop length
                     0x1F, 0x20, 0x00, 0x00, 0x09,  // statement body, 9 bytes
                     0x0C, 0x87, 0xBB, 0xFA, 0xCB, 0xEB, 0x0D, 0xC5, 0xEC, 0x4F, 0x11};  // CRC-16
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  ASSERT_EQ(dec.ParseCaptionPes(true, pes.data(), pes.size() - 3), 1);  // 東 cut: lead byte dropped
  ASSERT_EQ(dec.ParseCaptionPes(true, pes.data(), pes.size()), 1);
  ASSERT_EQ(sink.captions.size(), 2u);
  ExpectScreen(sink.captions[1], {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}, "literal");
  ExpectScreen(sink.captions[0], {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, ""}}, "cut");
}

struct ScreenCase {
  const char* what;
  Bytes pes;
  bool shown;
  std::vector<Line> lines;
};

TEST(Caption, Screens) {
  const Bytes kTwoLines = {0x0C, 0x87, 0xBB, 0xFA, 0xCB, 0xEB, 0x0D, 0xC5, 0xEC, 0x4F, 0x11};  // CRC-16
  Bytes nine;
  for (int i = 0; i < 9; ++i) nine.insert(nine.end(), {0x0D, 0xC5, uint8_t(0xA1 + i)});
  Bytes cutUnit = CaptionPes({{0x20, {0x0C, 0xBB, 0xFA, 0x0D, 0xCB, 0xEB, 0xC5, 0xEC, 0xB5, 0xFE}}});
  cutUnit.resize(cutUnit.size() - 6);  // the CRC and 京東 lie in the next packet
  Bytes damaged = CaptionPes({{0x20, kTwoLines}});
  damaged[damaged.size() - 4] ^= 0x01;

  const ScreenCase cases[] = {
      {"TMD 0", CaptionPes({{0x20, kTwoLines}}, 0), true, {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}},
      {"TMD 1 with STM",
       CaptionPes({{0x20, kTwoLines}}, 1),
       true,
       {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}},
      {"TMD 2 with STM",
       CaptionPes({{0x20, kTwoLines}}, 2),
       true,
       {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}},
      {"data packet header skipped",
       CaptionPes({{0x20, kTwoLines}}, 0, 0x01, {0xAA, 0xBB}),
       true,
       {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}},
      {"group B statement",
       CaptionPes({{0x20, kTwoLines}}, 0, 0x21),
       true,
       {{1, 2, 1, 8, 0, "字幕"}, {0, 2, 2, 8, 0, "東"}}},
      {"no line start", Body({0xBB, 0xFA}), true, {}},
      {"colours",
       Body({0x0C, 0x81, 0xBB, 0xFA, 0x0D, 0x83, 0xCB, 0xEB, 0x0A, 0x80, 0x86, 0xC5, 0xEC}),
       true,
       {{1, 3, 1, 2, 0, "字"}, {0, 3, 2, 4, 0, "幕"}, {0, 3, 1, 7, 0, "東"}}},
      {"display time",
       Body({0x0C, 0x9D, 0x20, 0x4A, 0xBB, 0xFA, 0x0D, 0x9D, 0x20, 0x7F, 0xCB, 0xEB}),
       true,
       {{1, 2, 1, 8, 10, "字"}, {0, 2, 2, 8, 63, "幕"}}},
      {"time code without its space is skipped",
       Body({0x0C, 0x9D, 0x4A, 0xBB, 0xFA}),
       true,
       {{1, 1, 1, 8, 0, "J字"}}},
      {"private-use replacements",
       Body({0x0C, 0xFC, 0xA1, 0xFD, 0xEE, 0xFD, 0xF8, 0xFD, 0xF9, 0xFD, 0xFA, 0xF5, 0xA1}),
       true,
       {{1, 1, 1, 8, 0, "⇨‼》《♬\uE000"}}},
      {"trailing half-width letters go",
       Body({0x0C, 0xBB, 0xFA, 'a', 0x20, 'b'}),
       true,
       {{1, 1, 1, 8, 0, "字"}}},
      {"trailing full-width letters stay, made half-width",
       Body({0x0C, 0xBB, 0xFA, 0xA3, 0xC1, 0xA3, 0xB2}),
       true,
       {{1, 1, 1, 8, 0, "字A2"}}},
      {"ideographic comma",
       Body({0x0C, 0xBB, 0xFA, 0xA1, 0xA2, 0xCB, 0xEB}),
       true,
       {{1, 1, 1, 8, 0, "字､幕"}}},
      {"text before the first line start is dropped",
       Body({0xBB, 0xFA, 0x0D, 0xCB, 0xEB}),
       true,
       {{0, 1, 2, 8, 0, "幕"}}},
      {"an empty last line counts",
       Body({0x0C, 0xBB, 0xFA, 0x0D}),
       true,
       {{1, 2, 1, 8, 0, "字"}, {0, 2, 2, 8, 0, ""}}},
      {"lines over eight are dropped",
       Body(nine),
       true,
       {{0, 8, 2, 8, 0, "邸"},
        {0, 8, 2, 8, 0, "鄭"},
        {0, 8, 2, 8, 0, "釘"},
        {0, 8, 2, 8, 0, "鼎"},
        {0, 8, 2, 8, 0, "泥"},
        {0, 8, 2, 8, 0, "摘"},
        {0, 8, 2, 8, 0, "擢"},
        {0, 8, 2, 8, 0, "敵"}}},
      {"a unit before the body",
       CaptionPes({{0x30, {0x01, 0x02, 0x03}}, {0x20, {0x0C, 0xBB, 0xFA}}}),
       true,
       {{1, 1, 1, 8, 0, "字"}}},
      {"two bodies make one statement",
       CaptionPes({{0x20, {0x0C, 0xBB, 0xFA}}, {0x20, {0x0D, 0xCB, 0xEB}}}),
       true,
       {{1, 2, 1, 8, 0, "字"}, {0, 2, 2, 8, 0, "幕"}}},
      {"other units only", CaptionPes({{0x30, {0x0C, 0xBB, 0xFA}}}), false, {}},
      {"empty body", CaptionPes({{0x20, {}}}), false, {}},
      {"management group", CaptionPes({{0x20, kTwoLines}}, 0, 0x00), false, {}},
      {"second language", CaptionPes({{0x20, kTwoLines}}, 0, 0x02), false, {}},
      {"a unit of 512 bytes", CaptionPes({{0x20, {0x0C, 0xBB, 0xFA}, 512}}), false, {}},
      {"a unit cut at the packet end", cutUnit, true, {{1, 2, 1, 8, 0, "字"}, {0, 2, 2, 8, 0, "幕"}}},
      {"a damaged group", damaged, false, {}},
      {"a unit longer than its group",
       CaptionPes({{0x20, {0x0C, 0xBB, 0xFA}, 5}}),
       true,
       {{1, 1, 1, 8, 0, "字"}}},
      {"a unit that leaves no room for the next",
       CaptionPes({{0x30, {0x01}, 100}, {0x20, {0x0C, 0xBB, 0xFA}}}),
       false,
       {}},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    CAribTextDecoders dec(&sink);
    EXPECT_EQ(dec.ParseCaptionPes(true, c.pes.data(), c.pes.size()), 1) << c.what;
    ASSERT_EQ(sink.captions.size(), c.shown ? 1u : 0u) << c.what;
    if (c.shown) ExpectScreen(sink.captions[0], c.lines, c.what);
  }
}

TEST(Caption, LongLineKeepsItsText) {
  // 254 kanji in one line: the line keeps all of them (508 bytes of text fit in one unit)
  Bytes text = {0x0C};
  for (int i = 0; i < 254; ++i) text.insert(text.end(), {0xBB, 0xFA});
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  const Bytes pes = Body(text);
  dec.ParseCaptionDataGroup(pes.data() + 14, pes.size() - 14);
  ASSERT_EQ(sink.captions.size(), 1u);
  EXPECT_EQ(std::char_traits<char16_t>::length(sink.captions[0][0].text), 254u);
}

TEST(Caption, PacketChecks) {
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  const Bytes pes = Body({0x0C, 0xBB, 0xFA});
  EXPECT_EQ(dec.ParseCaptionPes(false, pes.data(), pes.size()), 1);  // continuation: not read
  Bytes noStart = pes;
  noStart[2] = 0x02;
  EXPECT_EQ(dec.ParseCaptionPes(true, noStart.data(), noStart.size()), 0);
  EXPECT_EQ(dec.ParseCaptionPes(true, pes.data(), 2), 0);
  EXPECT_EQ(dec.ParseCaptionPes(true, pes.data(), 8), 1);   // header cut short
  EXPECT_EQ(dec.ParseCaptionPes(true, pes.data(), 14), 1);  // header only
  EXPECT_EQ(dec.ParseCaptionPes(true, pes.data(), 20), 1);  // group header cut short
  Bytes longHeader = pes;
  longHeader[8] = 0xF0;  // header length past the packet
  EXPECT_EQ(dec.ParseCaptionPes(true, longHeader.data(), longHeader.size()), 1);
  EXPECT_TRUE(sink.captions.empty());
  // the previous screen stays until a new statement arrives
  dec.ParseCaptionPes(true, pes.data(), pes.size());
  const Bytes other = CaptionPes({{0x30, {0x01}}});
  dec.ParseCaptionPes(true, other.data(), other.size());
  ASSERT_EQ(sink.captions.size(), 1u);
  EXPECT_EQ(Utf8(dec.Caption()[0].text), "字");
}

}  // namespace
