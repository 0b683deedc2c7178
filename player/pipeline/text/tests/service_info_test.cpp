// Station name from the SDT, present/following events from the EIT, section reassembly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "arib_text_decoders.h"
#include "player/pipeline/section_assembler.h"
#include "recording_sink.h"
#include "section_feed.h"
#include "service_info.h"

namespace {

using Bytes = std::vector<uint8_t>;

// table_id, section_length, then body and a CRC.
Bytes Section(uint8_t tableId, const Bytes& body) {
  const size_t len = body.size() + 4;
  Bytes s = {tableId, uint8_t(0xF0 | (len >> 8)), uint8_t(len)};
  s.insert(s.end(), body.begin(), body.end());
  const uint32_t crc = tevalo::pipeline::SectionCrc32(s.data(), s.size());
  s.insert(s.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  return s;
}

Bytes Sdt(const std::vector<Bytes>& descriptors) {
  Bytes loop;
  for (const Bytes& d : descriptors) loop.insert(loop.end(), d.begin(), d.end());
  Bytes body = {0x7F,
                0xE1,
                0xC1,
                0x00,
                0x00,
                0x7F,
                0xE1,
                0xFF,
                0x05,
                0xE0,
                0xFD,
                uint8_t(0x80 | (loop.size() >> 8)),
                uint8_t(loop.size())};
  body.insert(body.end(), loop.begin(), loop.end());
  return Section(0x42, body);
}

Bytes ServiceDescriptor(const Bytes& name) {
  Bytes d = {0x48, uint8_t(3 + 1 + name.size()), 0x01, 0x01, 'X', uint8_t(name.size())};
  d.insert(d.end(), name.begin(), name.end());
  return d;
}

Bytes Payload(const Bytes& section, uint8_t pointer = 0, const Bytes& before = {}) {
  Bytes p = {pointer};
  p.insert(p.end(), before.begin(), before.end());
  p.insert(p.end(), section.begin(), section.end());
  return p;
}

struct Event {
  Bytes start;     // MJD (2) + BCD h m s
  Bytes duration;  // BCD h m s
  Bytes name;
  Bytes text;
  Bytes otherDescriptors = {};
};

Bytes Eit(uint8_t sectionNumber, const std::vector<Event>& events, uint8_t tableId = 0x4E) {
  Bytes body = {0x05, 0xE0, 0xC1, sectionNumber, 0x01, 0x7F, 0xE1, 0x7F, 0xE1, 0x01, 0x4E};
  uint16_t id = 1;
  for (const Event& e : events) {
    Bytes d = e.otherDescriptors;
    d.insert(d.end(),
             {0x4D, uint8_t(5 + e.name.size() + e.text.size()), 'j', 'p', 'n', uint8_t(e.name.size())});
    d.insert(d.end(), e.name.begin(), e.name.end());
    d.push_back(uint8_t(e.text.size()));
    d.insert(d.end(), e.text.begin(), e.text.end());
    body.insert(body.end(), {uint8_t(id >> 8), uint8_t(id)});
    ++id;
    body.insert(body.end(), e.start.begin(), e.start.end());
    body.insert(body.end(), e.duration.begin(), e.duration.end());
    body.insert(body.end(), {uint8_t(0x80 | (d.size() >> 8)), uint8_t(d.size())});
    body.insert(body.end(), d.begin(), d.end());
  }
  return Section(tableId, body);
}

// The same section marked as the next version (current_next_indicator 0), with its CRC redone.
Bytes NextVersion(const Bytes& section) {
  Bytes body(section.begin() + 3, section.end() - 4);
  body[2] &= 0xFE;
  return Section(section[0], body);
}

// Cuts sections into 184-byte packet payloads; each section starts in a new packet.
std::vector<std::pair<bool, Bytes>> Packets(const Bytes& section) {
  std::vector<std::pair<bool, Bytes>> out;
  Bytes first = Payload(section);
  for (size_t i = 0; i < first.size(); i += 184) {
    Bytes p(first.begin() + i, first.begin() + std::min(first.size(), i + 184));
    p.resize(184, 0xFF);
    out.emplace_back(i == 0, p);
  }
  return out;
}

void Feed(SectionFeed& feed, const Bytes& section) {
  for (auto& [pusi, p] : Packets(section)) feed.Eit(pusi, p.data(), p.size());
}

const Bytes kTokyo = {0x45, 0x6C, 0x35, 0x7E};             // 東京
const Bytes kWeather = {0x45, 0x37, 0x35, 0x24};           // 天気
const Bytes kNews = {0x1B, 0x6F, 0x4B, 0x65, 0x79, 0x39};  // ニュ-ス: LS3, katakana
const Bytes kMjd = {0xE0, 0x5A};

TEST(SectionCrc32, CheckValue) {
  const char* s = "123456789";
  EXPECT_EQ(tevalo::pipeline::SectionCrc32(reinterpret_cast<const uint8_t*>(s), 9), 0x0376E6E7u);
}

TEST(ServiceName, LiteralPacket) {
  const Bytes p = {0x00,              // pointer field
                   0x42, 0xF0, 0x21,  // SDT actual, section length 33
                   0x7F, 0xE1, 0xC1, 0x00, 0x00, 0x7F, 0xE1, 0xFF, 0x05, 0xE0,
                   0xFD, 0x80, 0x10,  // service 0x05E0, 16 descriptor bytes
                   0x48, 0x0E, 0x01,  // service descriptor, digital TV
                   0x02, 0x0E, 0x58,  // provider "X"
                   0x09, 0x0E, 0x4E, 0x48, 0x4B, 0x0F, 0x41, 0x6D, 0x39, 0x67,  // LS1 NHK LS0 総合
                   0x9A, 0x50, 0x9D, 0x20};                                     // CRC
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  feed.Sdt(true, p.data(), p.size());
  feed.Sdt(true, p.data(), p.size());
  EXPECT_EQ(Utf8(dec.ServiceName()), "NHK総合");
  ASSERT_EQ(sink.names.size(), 2u);  // shown with every section
  EXPECT_EQ(Utf8(sink.names[1]), "チャンネル : NHK総合");
}

TEST(ServiceName, Cases) {
  const Bytes name = {0x45, 0x6C, 0x35, 0x7E};
  Bytes badCrc = Payload(Sdt({ServiceDescriptor(name)}));
  badCrc.back() ^= 1;
  Bytes otherTable = Sdt({ServiceDescriptor(name)});
  otherTable[0] = 0x46;
  Bytes nextVersion = Sdt({ServiceDescriptor(name)});
  nextVersion[5] = 0xC2;  // current_next_indicator 0
  nextVersion = Payload(Section(0x42, Bytes(nextVersion.begin() + 3, nextVersion.end() - 4)));
  Bytes secondSection = Sdt({ServiceDescriptor(name)});
  secondSection[6] = 0x01;
  secondSection = Payload(Section(0x42, Bytes(secondSection.begin() + 3, secondSection.end() - 4)));
  Bytes longDescriptor = Payload(Sdt({{0x48, 0x30, 0x01, 0x00, 0x04, 0x45, 0x6C, 0x35, 0x7E}}));
  Bytes longProvider = Payload(Sdt({{0x48, 0x07, 0x01, 0x09, 0x04, 0x45, 0x6C, 0x35, 0x7E}}));
  Bytes longName = Payload(Sdt({{0x48, 0x06, 0x01, 0x00, 0x09, 0x45, 0x6C, 0x35, 0x7E}, {0xC1, 0x01, 0x45}}));
  struct Case {
    const char* what;
    Bytes payload;
    const char* name;  // nullptr: none
  } cases[] = {
      {"plain", Payload(Sdt({ServiceDescriptor(name)})), "東京"},
      {"pointer field honoured", Payload(Sdt({ServiceDescriptor(name)}), 3, {0xAA, 0xBB, 0xCC}), "東京"},
      {"service descriptor after another one",
       Payload(Sdt({{0xC1, 0x02, 0x01, 0x02}, ServiceDescriptor(name)})), "東京"},
      {"no service descriptor", Payload(Sdt({{0xC1, 0x02, 0x01, 0x02}})), nullptr},
      {"SDT of another stream", Payload(otherTable), nullptr},
      {"bad CRC", badCrc, nullptr},
      {"next version", nextVersion, nullptr},
      {"second section", secondSection, nullptr},
      {"descriptor longer than its loop", longDescriptor, nullptr},
      {"provider name longer than the descriptor", longProvider, nullptr},
      {"service name cut at the descriptor's end", longName, "東"},
      {"pointer past the packet", {0xF0, 0x42, 0xF0}, nullptr},
      {"empty", {}, nullptr},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    CAribTextDecoders dec(&sink);
    SectionFeed feed(dec);
    feed.Sdt(true, c.payload.data(), c.payload.size());
    EXPECT_EQ(Utf8(dec.ServiceName()), c.name ? c.name : "") << c.what;
    EXPECT_EQ(sink.names.size(), c.name ? 1u : 0u) << c.what;
  }
}

TEST(ServiceName, SectionOverTwoPackets) {
  // the first service's name, then enough further descriptors to need a second packet
  std::vector<Bytes> descriptors = {ServiceDescriptor(kTokyo)};
  for (int i = 0; i < 20; ++i) descriptors.push_back({0xC1, 0x08, 0, 1, 2, 3, 4, 5, 6, 7});
  const Bytes section = Sdt(descriptors);
  ASSERT_GT(section.size(), 183u);
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  Bytes p1 = {0x00};
  p1.insert(p1.end(), section.begin(), section.begin() + 183);
  Bytes p2(section.begin() + 183, section.end());
  p2.resize(184, 0xFF);
  feed.Sdt(true, p1.data(), p1.size());
  EXPECT_TRUE(sink.names.empty());
  feed.Sdt(false, p2.data(), p2.size());
  ASSERT_EQ(sink.names.size(), 1u);
  EXPECT_EQ(Utf8(sink.names[0]), "チャンネル : 東京");
  // a lost second packet: the cut section is dropped when the next one starts
  feed.Sdt(true, p1.data(), p1.size());
  feed.Sdt(true, p1.data(), p1.size());
  EXPECT_EQ(sink.names.size(), 1u);
}

TEST(ServiceName, KeepsTheLastGoodName) {
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  const Bytes good = Payload(Sdt({ServiceDescriptor(kTokyo)}));
  Bytes bad = good;
  bad[10] ^= 0x40;
  feed.Sdt(true, good.data(), good.size());
  feed.Sdt(true, bad.data(), bad.size());
  feed.Sdt(false, good.data(), good.size());  // not a section start: nothing
  EXPECT_EQ(Utf8(dec.ServiceName()), "東京");
  ASSERT_EQ(sink.names.size(), 2u);
  EXPECT_EQ(sink.names[0], sink.names[1]);
}

TEST(Eit, LiteralSection) {
  const Bytes s = {0x4E, 0xF0, 0x2A,                                // present/following, section length 42
                   0x05, 0xE0, 0xC1, 0x00, 0x01,                    // service, version, section 0 of 1
                   0x7F, 0xE1, 0x7F, 0xE1, 0x01, 0x4E, 0x00, 0x01,  // event 1
                   0xE0, 0x5A, 0x23, 0x30, 0x00,                    // 23:30:00
                   0x01, 0x00, 0x00,                                // one hour
                   0x80, 0x0F,                                      // 15 descriptor bytes
                   0x4D, 0x0D, 'j',  'p',  'n',  0x04, 0x45, 0x6C, 0x35, 0x7E,
                   0x04, 0x45, 0x37, 0x35, 0x24, 0x36, 0xFC, 0x5E, 0xE2};  // CRC
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  EXPECT_EQ(dec.ParseEitPresentFollowing(s.data(), s.size()), s.size());
  const EventEntry& e = dec.Events()[1];
  EXPECT_EQ(Utf8(e.title), "東京");
  EXPECT_EQ(Utf8(e.text), "天気");
  EXPECT_EQ(
      (std::vector<int>{e.startHour, e.startMinute, e.startSecond, e.endHour, e.endMinute, e.endSecond}),
      (std::vector<int>{23, 30, 0, 0, 30, 0}));
  EXPECT_EQ(dec.Events()[2].title[0], 0);

  Feed(feed, s);
  ASSERT_EQ(sink.infos.size(), 1u);
  EXPECT_EQ(Utf8(sink.infos[0]), "   <現在の番組> * 東京 (23:30:00 ～ 00:30:00)    天気");
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"info", "clear", "build"}));
  EXPECT_EQ(Utf8(sink.lists[0][1].title), "東京");
  Feed(feed, s);  // unchanged: nothing more
  EXPECT_EQ(sink.calls.size(), 3u);
}

struct EitCase {
  const char* what;
  std::vector<Bytes> sections;
  const char* summary;
  std::vector<std::vector<int>> times;  // entries from 1: start h m s, end h m s
};

TEST(Eit, Events) {
  const Bytes k2330 = {0xE0, 0x5A, 0x23, 0x30, 0x00};
  const Bytes k2345 = {0xE0, 0x5A, 0x23, 0x45, 0x30};
  const Bytes kUnknown = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const Bytes kOpen = {0xFF, 0xFF, 0xFF};
  const Bytes kHour = {0x01, 0x00, 0x00};

  const EitCase cases[] = {
      {"present and following",
       {Eit(0, {{k2330, kHour, kTokyo, kWeather}}),
        Eit(1, {{{0xE0, 0x5B, 0x00, 0x30, 0x00}, {0x00, 0x15, 0x00}, kNews, {}}})},
       "   <現在の番組> * 東京 (23:30:00 ～ 00:30:00)    天気           <次の番組> * ニュ-ス (00:30:00 ～ "
       "00:45:00)    ",
       {{23, 30, 0, 0, 30, 0}, {0, 30, 0, 0, 45, 0}}},
      {"full carry of seconds and minutes",
       {Eit(0, {{k2345, {0x00, 0x30, 0x45}, kTokyo, {}}})},
       "   <現在の番組> * 東京 (23:45:30 ～ 00:16:15)    ",
       {{23, 45, 30, 0, 16, 15}}},
      {"a long duration wraps within the day",
       {Eit(0, {{k2330, {0x25, 0x00, 0x00}, kTokyo, {}}})},
       "   <現在の番組> * 東京 (23:30:00 ～ 00:30:00)    ",
       {{23, 30, 0, 0, 30, 0}}},
      {"present with an open end",
       {Eit(0, {{k2330, kOpen, kTokyo, kWeather}})},
       "   <現在の番組> * 東京 (23:30:00 ～ )    天気",
       {{23, 30, 0, 0, 0, 0}}},
      {"following with an open end",
       {Eit(1, {{k2330, kOpen, kTokyo, kWeather}})},
       "           <次の番組> * 東京天気",
       {{}, {23, 30, 0, 0, 0, 0}}},
      {"unknown start",
       {Eit(0, {{kUnknown, kHour, kTokyo, kWeather}})},
       "   <現在の番組> * 東京天気",
       {{0, 0, 0, 0, 0, 0}}},
      {"start that is not BCD",
       {Eit(0, {{{0xE0, 0x5A, 0x2A, 0x00, 0x00}, kHour, kTokyo, {}}})},
       "   <現在の番組> * 東京",
       {{0, 0, 0, 0, 0, 0}}},
      {"later events fill slots 2 and 3 and the table",
       {Eit(2, {{k2330, kHour, kTokyo, {}}, {k2345, kHour, kNews, {}}, {k2330, kHour, kWeather, {}}})},
       "   * 東京 (23:30:00 ～ 00:30:00)       * ニュ-ス (23:45:30 ～ 00:45:30)    ",
       {{}, {}, {23, 30, 0, 0, 30, 0}, {23, 45, 30, 0, 45, 30}, {23, 30, 0, 0, 30, 0}}},
      {"section 3 is not stored", {Eit(3, {{k2330, kHour, kTokyo, {}}})}, "", {}},
      {"other tables are not read", {Eit(0, {{k2330, kHour, kTokyo, {}}}, 0x4F)}, "", {}},
      {"a version not yet in force", {NextVersion(Eit(0, {{k2330, kHour, kTokyo, {}}}))}, "", {}},
      {"short event descriptor after another",
       {Eit(0, {{k2330, kOpen, kTokyo, {}, {0x54, 0x02, 0x30, 0x00}}})},
       "   <現在の番組> * 東京 (23:30:00 ～ )    ",
       {{23, 30, 0, 0, 0, 0}}},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    CAribTextDecoders dec(&sink);
    SectionFeed feed(dec);
    for (const Bytes& s : c.sections) Feed(feed, s);
    EXPECT_EQ(Utf8(dec.LastSummary()), c.summary) << c.what;
    for (size_t i = 0; i < c.times.size(); ++i) {
      if (c.times[i].empty()) continue;
      const EventEntry& e = dec.Events()[i + 1];
      EXPECT_EQ(
          (std::vector<int>{e.startHour, e.startMinute, e.startSecond, e.endHour, e.endMinute, e.endSecond}),
          c.times[i])
          << c.what << " entry " << i + 1;
      EXPECT_NE(e.title[0], 0) << c.what << " entry " << i + 1;
    }
    EXPECT_EQ(dec.Events()[c.times.size() + 1].title[0], 0) << c.what;
    EXPECT_EQ(dec.Events()[0].title[0], 0) << c.what;
  }
}

TEST(Eit, ASectionReplacesWhatItHeldBefore) {
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  const Bytes start = {0xE0, 0x5A, 0x10, 0x00, 0x00}, hour = {0x01, 0x00, 0x00};
  Feed(feed, Eit(0, {{start, hour, kTokyo, {}}}));
  Feed(feed, Eit(1, {{start, hour, kNews, {}}}));
  Feed(feed, Eit(2, {{start, hour, kWeather, {}}, {start, hour, kNews, {}}}));
  EXPECT_EQ(Utf8(dec.Events()[4].title), "ニュ-ス");
  // the following event is gone and the later list shorter
  Feed(feed, Eit(1, {}));
  Feed(feed, Eit(2, {{start, hour, kWeather, {}}}));
  EXPECT_EQ(Utf8(dec.LastSummary()),
            "   <現在の番組> * 東京 (10:00:00 ～ 11:00:00)       * 天気 (10:00:00 ～ 11:00:00)    ");
  EXPECT_EQ(dec.Events()[2].title[0], 0);
  EXPECT_EQ(Utf8(dec.Events()[3].title), "天気");
  EXPECT_EQ(dec.Events()[4].title[0], 0);
  EXPECT_EQ(Utf8(sink.lists.back()[1].title), "東京");
}

TEST(Eit, EventTextLimit) {
  Bytes longText(100, 0xA2);
  CAribTextDecoders dec(nullptr);
  SectionFeed feed(dec);
  Feed(feed, Eit(0, {{{0xE0, 0x5A, 0x23, 0x30, 0x00}, {0xFF, 0xFF, 0xFF}, kTokyo, longText}}));
  EXPECT_EQ(std::char_traits<char16_t>::length(dec.Events()[1].text), 80u);
}

TEST(Eit, ParseStopsWhereTheSectionEnds) {
  CAribTextDecoders dec(nullptr);
  SectionFeed feed(dec);
  Bytes s = Eit(2, {{{0xE0, 0x5A, 0x10, 0x00, 0x00}, {0x01, 0x00, 0x00}, kTokyo, {}},
                    {{0xE0, 0x5A, 0x11, 0x00, 0x00}, {0x01, 0x00, 0x00}, kNews, {}}});
  s[1] = 0xF0, s[2] = uint8_t(s[2] - 5);  // the second event's descriptors run past the end
  EXPECT_EQ(dec.ParseEitPresentFollowing(s.data(), s.size()), 0u);
  EXPECT_EQ(Utf8(dec.Events()[3].title), "東京");
  EXPECT_EQ(dec.Events()[4].title[0], 0);
  EXPECT_EQ(dec.ParseEitPresentFollowing(s.data(), 10), 0u);
}

TEST(Eit, Reassembly) {
  const Bytes a = Eit(0, {{{0xE0, 0x5A, 0x10, 0x00, 0x00}, {0x01, 0x00, 0x00}, kTokyo, Bytes(150, 0xA2)}});
  const Bytes b = Eit(1, {{{0xE0, 0x5A, 0x11, 0x00, 0x00}, {0x01, 0x00, 0x00}, kNews, {}}});
  ASSERT_GT(a.size(), 183u);

  {  // a section over two packets, then the next one starting in the second packet after it
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes p1 = {0x00};
    p1.insert(p1.end(), a.begin(), a.begin() + 183);
    Bytes p2 = {uint8_t(a.size() - 183)};
    p2.insert(p2.end(), a.begin() + 183, a.end());
    p2.insert(p2.end(), b.begin(), b.end());
    p2.resize(184, 0xFF);
    feed.Eit(true, p1.data(), p1.size());
    EXPECT_EQ(dec.Events()[1].title[0], 0);
    feed.Eit(true, p2.data(), p2.size());
    EXPECT_EQ(Utf8(dec.Events()[1].title), "東京");
    EXPECT_EQ(Utf8(dec.Events()[2].title), "ニュ-ス");
  }
  {  // the same cut, continued without a section start
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes p1 = {0x00};
    p1.insert(p1.end(), a.begin(), a.begin() + 183);
    Bytes p2(a.begin() + 183, a.end());
    p2.resize(184, 0xFF);
    feed.Eit(true, p1.data(), p1.size());
    feed.Eit(false, p2.data(), p2.size());
    EXPECT_EQ(Utf8(dec.Events()[1].title), "東京");
  }
  {  // a damaged packet reported by the demultiplexer drops the section being collected
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes p1 = {0x00};
    p1.insert(p1.end(), a.begin(), a.begin() + 183);
    Bytes p2(a.begin() + 183, a.end());
    p2.resize(184, 0xFF);
    feed.Eit(true, p1.data(), p1.size());
    feed.sections.Reset(SectionFeed::kEit);
    feed.Eit(false, p2.data(), p2.size());
    EXPECT_EQ(dec.Events()[1].title[0], 0);
  }
  {  // two sections in one packet
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes p = Payload(b);
    const Bytes c = Eit(0, {{{0xE0, 0x5A, 0x10, 0x00, 0x00}, {0x01, 0x00, 0x00}, kTokyo, {}}});
    p.insert(p.end(), c.begin(), c.end());
    feed.Eit(true, p.data(), p.size());
    EXPECT_EQ(Utf8(dec.Events()[1].title), "東京");
    EXPECT_EQ(Utf8(dec.Events()[2].title), "ニュ-ス");
  }
  {  // a continuation without its start, a damaged section, a start cut by the next start
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes orphan(a.begin() + 100, a.end());
    feed.Eit(false, orphan.data(), orphan.size());
    Bytes damaged = Payload(b);
    damaged[20] ^= 0x01;
    feed.Eit(true, damaged.data(), damaged.size());
    Bytes p1 = {0x00};
    p1.insert(p1.end(), a.begin(), a.begin() + 183);
    feed.Eit(true, p1.data(), p1.size());
    const Bytes p2 = Payload(b);  // pointer 0: the cut section is lost
    feed.Eit(true, p2.data(), p2.size());
    Bytes p3(a.begin() + 183, a.end());
    feed.Eit(false, p3.data(), p3.size());
    EXPECT_EQ(dec.Events()[1].title[0], 0);
    EXPECT_EQ(Utf8(dec.Events()[2].title), "ニュ-ス");
  }
  {  // a section longer than 4096 bytes is not collected; the next one is
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    Bytes p = {0x00, 0x4E, 0xFF, 0xFF};
    p.resize(184, 0x00);
    feed.Eit(true, p.data(), p.size());
    for (int i = 0; i < 30; ++i) feed.Eit(false, p.data(), p.size());
    Feed(feed, b);
    EXPECT_EQ(Utf8(dec.Events()[2].title), "ニュ-ス");
  }
  {  // bad pointer fields
    CAribTextDecoders dec(nullptr);
    SectionFeed feed(dec);
    const Bytes p = {0xB7, 0x4E, 0xF0};
    feed.Eit(true, p.data(), p.size());
    feed.Eit(true, p.data(), 0);
    Feed(feed, b);
    EXPECT_EQ(Utf8(dec.Events()[2].title), "ニュ-ス");
  }
}

TEST(Eit, ResetForgetsTheStation) {
  RecordingSink sink;
  CAribTextDecoders dec(&sink);
  SectionFeed feed(dec);
  const Bytes sdt = Payload(Sdt({ServiceDescriptor(kTokyo)}));
  const Bytes present = Eit(0, {{{0xE0, 0x5A, 0x10, 0x00, 0x00}, {0x01, 0x00, 0x00}, kTokyo, {}}});
  feed.Sdt(true, sdt.data(), sdt.size());
  Feed(feed, present);
  Bytes half = Payload(Eit(1, {{{0xE0, 0x5A, 0x11, 0x00, 0x00}, {0x01, 0x00, 0x00}, kNews, {}}}));
  half.resize(20);
  feed.Eit(true, half.data(), half.size());

  // A new channel: the engine resets the demultiplexer (its partial sections) and the decoders.
  feed.sections.Reset();
  dec.Reset();
  EXPECT_TRUE(dec.ServiceName().empty());
  EXPECT_TRUE(dec.LastSummary().empty());
  EXPECT_EQ(dec.Events()[1].title[0], 0);
  EXPECT_EQ(sink.calls.back(), "clear");
  // the partial section of the old station does not complete with the new one's bytes
  Bytes rest(100, 0x00);
  feed.Eit(false, rest.data(), rest.size());
  EXPECT_EQ(dec.Events()[2].title[0], 0);
  // the same programme on the new station is shown again
  Feed(feed, present);
  EXPECT_EQ(sink.infos.size(), 2u);
  EXPECT_EQ(sink.infos[0], sink.infos[1]);
}

}  // namespace
