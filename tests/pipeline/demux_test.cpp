#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "player/pipeline/programme_map.h"
#include "player/pipeline/section_assembler.h"
#include "player/pipeline/ts_demux.h"
#include "tests/pipeline/ts_writer.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

constexpr uint16_t kV = 0x0100, kA = 0x0110, kC = 0x0130;

std::vector<PmtEntry> StandardEntries() {
  return {{0x1B, kV, {}}, {0x0F, kA, {}}, {0x06, kC, {}}, {0x0D, 0x0140, {0x52, 1, 0x40}}};
}

// Surrounds the packets with null packets so that every packet has a successor's sync.
Bytes Padded(TsWriter& w, const Bytes& packets, int nullsAfter = 2) {
  Bytes out = packets;
  for (int i = 0; i < nullsAfter; ++i) Append(out, w.Null());
  return out;
}

struct SearchResult {
  int found;
  size_t left;
  uint16_t v, a, c;
};

SearchResult Search(const Bytes& ts) {
  StreamPids pids;
  CProgramMap map(pids);
  size_t n = ts.size();
  const int found = map.FindPmt(ts.data(), n);
  return {found, n, pids.video, pids.audio, pids.caption};
}

}  // namespace

TEST(ProgrammeMap, EntriesGiveThePids) {
  struct Case {
    const char* name;
    std::vector<PmtEntry> entries;
    int found;
    uint16_t v, a, c;
  } cases[] = {
      {"all kinds, last with descriptors", StandardEntries(), 1, kV, kA, kC},
      {"descriptor entry first",
       {{0x0D, 0x0140, {1, 2, 3, 4, 5, 6}}, {0x1B, kV, {}}, {0x0F, kA, {}}},
       1,
       kV,
       kA,
       kNoPid},
      {"only video keeps searching", {{0x1B, kV, {}}}, 0, kV, kNoPid, kNoPid},
      {"first of each type wins",
       {{0x1B, kV, {}}, {0x1B, 0x0200, {}}, {0x0F, kA, {}}, {0x0F, 0x0210, {}}},
       1,
       kV,
       kA,
       kNoPid},
      {"no entries", {}, 0, kNoPid, kNoPid, kNoPid},
  };
  for (const auto& c : cases) {
    TsWriter w;
    Bytes ts = w.Null();
    Append(ts, w.Packets(kPmtPid, PmtSection(c.entries), true));
    ts = Padded(w, ts);
    const SearchResult r = Search(ts);
    EXPECT_EQ(r.found, c.found) << c.name;
    EXPECT_EQ(r.v, c.v) << c.name;
    EXPECT_EQ(r.a, c.a) << c.name;
    EXPECT_EQ(r.c, c.c) << c.name;
  }
}

TEST(ProgrammeMap, ProgramInfoAndAdaptationFieldAreSkipped) {
  TsWriter w;
  TsWriter::Options o;
  o.pcr = true;
  Bytes ts = w.Packets(kPmtPid, PmtSection(StandardEntries(), Bytes(20, 0x09)), true, o);
  const SearchResult r = Search(Padded(w, ts));
  EXPECT_EQ(r.found, 1);
  EXPECT_EQ(r.v, kV);
  EXPECT_EQ(r.a, kA);
}

TEST(ProgrammeMap, SectionOverTwoPacketsWithGapIsAbandonedAndFoundAgain) {
  // Enough descriptors to need two packets.
  std::vector<PmtEntry> big = {{0x0D, 0x0140, Bytes(200, 0x55)}, {0x1B, kV, {}}, {0x0F, kA, {}}};
  const Bytes section = PmtSection(big);
  TsWriter w;
  Bytes twoPackets = w.Packets(kPmtPid, section, true);
  ASSERT_EQ(twoPackets.size(), 376u);
  Bytes broken(twoPackets.begin(), twoPackets.begin() + 188);
  Bytes second(twoPackets.begin() + 188, twoPackets.end());
  second[3] = uint8_t((second[3] & 0xF0) | ((second[3] + 5) & 0x0F));  // continuity gap
  Append(broken, second);

  const SearchResult gap = Search(Padded(w, broken));
  EXPECT_EQ(gap.found, 0);
  EXPECT_EQ(gap.v, kNoPid);

  Bytes again = broken;
  Append(again, w.Packets(kPmtPid, section, true));
  const SearchResult r = Search(Padded(w, again));
  EXPECT_EQ(r.found, 1);
  EXPECT_EQ(r.v, kV);
  EXPECT_EQ(r.a, kA);
}

TEST(ProgrammeMap, DamagedSectionsAreBoundedAndRefused) {
  // Each case corrupts one PMT packet; none may find PIDs or read outside the packet.
  struct Case {
    const char* name;
    size_t offset;
    uint8_t value;
  } cases[] = {
      {"pointer field past the packet", 4, 183},
      {"adaptation field past the packet", 3, 0x30},  // with byte 4 = 0 -> payload at 5, pointer 0
      {"section length 0", 6, 0xB0},
      {"program info longer than the section", 15, 0xFF},
      {"not a PMT table", 5, 0x42},
  };
  for (const auto& c : cases) {
    TsWriter w;
    Bytes pkt = w.Packets(kPmtPid, PmtSection(StandardEntries()), true);
    pkt[c.offset] = c.value;
    if (std::string(c.name) == "section length 0") pkt[7] = 0;
    if (std::string(c.name) == "adaptation field past the packet") pkt[4] = 200;
    const SearchResult r = Search(Padded(w, pkt));
    EXPECT_EQ(r.found, 0) << c.name;
  }
}

TEST(ProgrammeMap, UnparsedTailStays) {
  TsWriter w;
  Bytes ts = w.Null();
  Append(ts, w.Null());
  Append(ts, w.Null());
  ts.insert(ts.begin(), {0x12, 0x34});  // junk before the first sync
  // The last packet has no successor: it stays.
  EXPECT_EQ(Search(ts).left, 188u);
  EXPECT_EQ(Search(Bytes(500, 0x00)).left, 188u);
}

TEST(ProgrammeMap, SearchBufferGathersFourBlocksAndKeepsTheNewestOnOverflow) {
  StreamPids pids;
  CProgramMap map(pids);
  CPmtSearchBuffer buffer(map);
  Bytes block(kTsBlockSize, 0);
  bool searched = true;
  for (int k = 0; k < 3; ++k) buffer.PushBlock(block.data(), block.size(), true, &searched);
  EXPECT_FALSE(searched);
  EXPECT_EQ(buffer.Fill(), 3 * kTsBlockSize);
  buffer.PushBlock(block.data(), block.size(), true, &searched);
  EXPECT_TRUE(searched);
  EXPECT_EQ(buffer.Fill(), 188u);  // no sync: the last packet's worth stays

  // Without searching the buffer fills; a block at a full buffer keeps the newest nine blocks.
  CPmtSearchBuffer full(map);
  for (int k = 0; k < 10; ++k) {
    Bytes b(kTsBlockSize, uint8_t(k));
    full.PushBlock(b.data(), b.size(), false);
  }
  ASSERT_EQ(full.Fill(), CPmtSearchBuffer::kCapacity);
  Bytes last(kTsBlockSize, 10);
  full.PushBlock(last.data(), last.size(), false);
  ASSERT_EQ(full.Fill(), CPmtSearchBuffer::kCapacity);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(full.Data()[k * kTsBlockSize], uint8_t(k + 1)) << k;
}

TEST(ProgrammeMap, RecheckChangesPidsAndKeepsMissingOnes) {
  StreamPids pids;
  pids.video = kV;
  pids.audio = kA;
  pids.caption = kC;
  CProgramMap map(pids);
  TsWriter w;
  Bytes moved = w.Packets(kPmtPid, PmtSection({{0x1B, 0x0300, {}}, {0x0F, 0x0310, {}}}), true);
  EXPECT_EQ(map.RecheckPmt(moved.data()), 1);
  EXPECT_EQ(pids.video, 0x0300);
  EXPECT_EQ(pids.audio, 0x0310);
  EXPECT_EQ(pids.caption, kC);  // not in this section: kept
  Bytes videoOnly = w.Packets(kPmtPid, PmtSection({{0x1B, 0x0400, {}}}), true);
  EXPECT_EQ(map.RecheckPmt(videoOnly.data()), 0);
  EXPECT_EQ(pids.video, 0x0400);
  EXPECT_EQ(pids.audio, 0x0310);
  // A bit error in a PID would send the streams elsewhere: a section failing its CRC changes nothing.
  Bytes flipped = w.Packets(kPmtPid, PmtSection({{0x1B, 0x0500, {}}, {0x0F, 0x0510, {}}}), true);
  flipped[5 + 14] ^= 0x01;  // the video PID's low byte
  EXPECT_EQ(map.RecheckPmt(flipped.data()), 0);
  EXPECT_EQ(pids.video, 0x0400);
  EXPECT_EQ(pids.audio, 0x0310);
}

// ---- Section assembly ----------------------------------------------------------------------

TEST(SectionAssembler, WholeSectionsReachTheirPidsHandler) {
  const Bytes a = PsiSection(0x4E, Bytes(400, 0x4E));  // three packets
  const Bytes b = PsiSection(0x4E, Bytes(20, 0x11));
  const Bytes c = PsiSection(0x4E, Bytes(30, 0x22));
  Bytes bc = b;  // two sections in one payload, then stuffing
  Append(bc, c);
  auto cc = [](Bytes& ts, size_t packet, int add) {
    uint8_t& b3 = ts[packet * 188 + 3];
    b3 = uint8_t((b3 & 0xF0) | ((b3 + add) & 0x0F));
  };
  struct Case {
    const char* what;
    std::function<Bytes(TsWriter&)> stream;
    std::vector<Bytes> sections;
  } cases[] = {
      {"over three packets", [&](TsWriter& w) { return w.Packets(kEitPid, a, true); }, {a}},
      {"two in one packet", [&](TsWriter& w) { return w.Packets(kEitPid, bc, true); }, {b, c}},
      {"another PID", [&](TsWriter& w) { return w.Packets(kSdtPid, b, true); }, {}},
      {"a lost packet, then the next section",
       [&](TsWriter& w) {
         Bytes ts = w.Packets(kEitPid, a, true);
         cc(ts, 2, 1);
         Append(ts, w.Packets(kEitPid, b, true));
         return ts;
       },
       {b}},
      {"a repeated packet",
       [&](TsWriter& w) {
         Bytes ts = w.Packets(kEitPid, a, true);
         Bytes again(ts.begin() + 188, ts.begin() + 376);
         ts.insert(ts.begin() + 376, again.begin(), again.end());
         return ts;
       },
       {}},
      {"a scrambled packet",
       [&](TsWriter& w) {
         Bytes ts = w.Packets(kEitPid, a, true);
         ts[188 + 3] |= 0x80;
         return ts;
       },
       {}},
      {"an adaptation field past the packet",
       [&](TsWriter& w) {
         Bytes ts = w.Packets(kEitPid, a, true);
         ts[188 + 3] |= 0x20;
         ts[188 + 4] = 200;
         return ts;
       },
       {}},
      {"a new section before the end",
       [&](TsWriter& w) {
         Bytes ts = w.Packets(kEitPid, a, true);
         ts.resize(2 * 188);
         Append(ts, w.Packets(kEitPid, c, true));
         cc(ts, 2, 15);  // no packet lost: the counter follows on
         return ts;
       },
       {c}},
  };
  for (const auto& k : cases) {
    CSectionAssembler sections;
    std::vector<Bytes> got;
    sections.SetHandler(kEitPid, [&](const uint8_t* s, size_t n) { got.emplace_back(s, s + n); });
    TsWriter w;
    const Bytes ts = k.stream(w);
    for (size_t i = 0; i + 188 <= ts.size(); i += 188) sections.FeedPacket(ts.data() + i);
    EXPECT_EQ(got, k.sections) << k.what;
  }
}

TEST(SectionAssembler, ResetDropsOnlyWhatIsBeingCollected) {
  CSectionAssembler sections;
  std::vector<uint16_t> got;
  for (uint16_t pid : {kSdtPid, kEitPid})
    sections.SetHandler(pid, [&got, pid](const uint8_t*, size_t) { got.push_back(pid); });
  TsWriter w;
  const Bytes sdt = w.Packets(kSdtPid, PsiSection(0x42, Bytes(300, 1)), true);
  const Bytes eit = w.Packets(kEitPid, PsiSection(0x4E, Bytes(300, 2)), true);
  sections.FeedPacket(sdt.data());
  sections.FeedPacket(eit.data());
  sections.Reset(kSdtPid);  // a damaged SDT packet
  sections.FeedPacket(sdt.data() + 188);
  sections.FeedPacket(eit.data() + 188);
  EXPECT_EQ(got, std::vector<uint16_t>{kEitPid});
  EXPECT_EQ(SectionCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x0376E6E7u);
}

// ---- PES assembly --------------------------------------------------------------------------

namespace {

struct Collect : IStreamPacketSink {
  std::vector<std::unique_ptr<StreamPacket>> packets;
  void PushPacket(std::unique_ptr<StreamPacket> p) override { packets.push_back(std::move(p)); }
};

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(seed + i * 7);
  return b;
}

// Feeds the packets' payloads (no adaptation field) straight to AssemblePes.
void FeedPayloads(const Bytes& ts, PesAssembler& a, Collect& sink, std::vector<int>* results = nullptr) {
  for (size_t i = 0; i + 188 <= ts.size(); i += 188) {
    const uint8_t* p = ts.data() + i;
    size_t off = 4;
    if (p[3] & 0x20) off += 1 + p[4];
    const int r = AssemblePes((p[1] & 0x40) != 0, p + off, 188 - off, a, sink);
    if (results) results->push_back(r);
    if (r == 0) a.Reset();
  }
}

}  // namespace

TEST(PesAssembly, StampIsPtsTimes300AndMissingPtsIsMinusOne) {
  struct Case {
    int64_t pts;
    int64_t stamp;
  } cases[] = {{0, 0},
               {90000, 27000000},
               {(int64_t(1) << 33) - 1, ((int64_t(1) << 33) - 1) * 300},
               {0x1'2345'6789, 0x1'2345'6789LL * 300},
               {-1, -1}};
  for (const auto& c : cases) {
    TsWriter w;
    PesAssembler a;
    a.kind = 0;
    Collect sink;
    const Bytes payload = Pattern(400, 3);
    FeedPayloads(w.Packets(kA, Pes(0xC0, payload, c.pts)), a, sink);
    ASSERT_EQ(sink.packets.size(), 1u) << c.pts;
    EXPECT_EQ(sink.packets[0]->stamp, c.stamp) << c.pts;
    EXPECT_EQ(sink.packets[0]->data, payload);
    EXPECT_EQ(sink.packets[0]->kind, 0);
  }
}

TEST(PesAssembly, UnboundedVideoPesIsDeliveredAtTheNextStart) {
  TsWriter w;
  PesAssembler a;
  a.kind = 1;
  Collect sink;
  const Bytes first = Pattern(1000, 1), second = Pattern(500, 9);
  Bytes ts = w.Packets(kV, Pes(0xE0, first, 9000, true));
  Append(ts, w.Packets(kV, Pes(0xE0, second, 12000, true)));
  FeedPayloads(ts, a, sink);
  ASSERT_EQ(sink.packets.size(), 1u);
  EXPECT_EQ(sink.packets[0]->data, first);
  EXPECT_EQ(sink.packets[0]->stamp, 9000 * 300);
  EXPECT_EQ(sink.packets[0]->kind, 1);
  EXPECT_EQ(a.stamp, 12000 * 300);  // the second one is in progress
}

// The next start comes before the PES is full: what arrived goes on, marked as cut at its end so
// the framer drops the frame the lost bytes belonged to.
TEST(PesAssembly, UnfinishedAudioPesGoesOnMarkedCut) {
  TsWriter w;
  PesAssembler a;
  a.kind = 0;
  Collect sink;
  Bytes cut = w.Packets(kA, Pes(0xC0, Pattern(600, 1), 100));
  cut.resize(188 * 2);  // third packet lost
  Append(cut, w.Packets(kA, Pes(0xC0, Pattern(300, 5), 200)));
  FeedPayloads(cut, a, sink);
  ASSERT_EQ(sink.packets.size(), 2u);
  const Bytes first = Pattern(600, 1);
  EXPECT_EQ(sink.packets[0]->data, Bytes(first.begin(), first.begin() + 2 * 184 - 14));
  EXPECT_TRUE(sink.packets[0]->cut.after);
  EXPECT_FALSE(sink.packets[0]->cut.before);
  EXPECT_EQ(sink.packets[1]->data, Pattern(300, 5));
  EXPECT_FALSE(sink.packets[1]->cut.after);
}

TEST(PesAssembly, HeaderFillingThePacketExactlyIsLegal) {
  TsWriter w;
  PesAssembler a;
  a.kind = 0;
  Collect sink;
  // 9 + 5 PTS + 170 stuffing = 184: the first packet holds only the header.
  const Bytes payload = Pattern(300, 2);
  Bytes ts = w.Packets(kA, Pes(0xC0, payload, 4500, false, 170));
  std::vector<int> results;
  FeedPayloads(ts, a, sink, &results);
  ASSERT_GE(results.size(), 2u);
  EXPECT_EQ(results[0], 1);
  ASSERT_EQ(sink.packets.size(), 1u);
  EXPECT_EQ(sink.packets[0]->data, payload);
  EXPECT_EQ(sink.packets[0]->stamp, 4500 * 300);
}

TEST(PesAssembly, RefusedHeadersGiveNoStampedPes) {
  struct Case {
    const char* name;
    Bytes pes;
    int kind;
  } cases[] = {
      {"bad start code",
       [] {
         Bytes p = Pes(0xC0, Pattern(100, 1), 0);
         p[2] = 2;
         return p;
       }(),
       0},
      {"unknown stream id", Pes(0xBE, Pattern(100, 1), 0), 0},
      {"length shorter than its header",
       [] {
         Bytes p = Pes(0xC0, Pattern(100, 1), 0);
         p[4] = 0;
         p[5] = 7;
         return p;
       }(),
       0},
      {"length that leaves no payload",
       [] {
         Bytes p = Pes(0xC0, Pattern(100, 1), 0);
         p[4] = 0;
         p[5] = 8;
         return p;
       }(),
       0},
      {"audio length 0", Pes(0xC0, Pattern(100, 1), 0, true), 0},
      {"header data past the packet",
       [] {
         Bytes p = Pes(0xC0, Pattern(300, 1), 0);
         p[8] = 250;
         return p;
       }(),
       0},
  };
  for (const auto& c : cases) {
    TsWriter w;
    PesAssembler a;
    a.kind = c.kind;
    Collect sink;
    std::vector<int> results;
    FeedPayloads(w.Packets(kA, c.pes), a, sink, &results);
    ASSERT_FALSE(results.empty());
    // Sound after a spoilt header is collected as a piece without header (its stamp unknown).
    EXPECT_EQ(results[0], c.kind == 0 ? 1 : 0) << c.name;
    EXPECT_EQ(a.headerLost, c.kind == 0) << c.name;
    EXPECT_TRUE(sink.packets.empty()) << c.name;
  }
}

TEST(PesAssembly, TruncatedStartPayloadIsRefusedWithoutReadingPast) {
  PesAssembler a;
  Collect sink;
  const uint8_t shortStart[] = {0, 0, 1, 0xE0, 0, 0};
  EXPECT_EQ(AssemblePes(true, shortStart, sizeof shortStart, a, sink), 0);
  const uint8_t noPts[] = {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 0};  // PTS flag but no PTS bytes
  EXPECT_EQ(AssemblePes(true, noPts, sizeof noPts, a, sink), 1);
  EXPECT_EQ(a.stamp, -1);
}

// ---- The packet loop -----------------------------------------------------------------------

namespace {

struct TextLog : ITextDecoders {
  int captions = 0, resets = 0, captionResets = 0;
  std::vector<Bytes> names, events;  // whole sections
  int ParseCaptionPes(bool, const uint8_t*, size_t size) override {
    ++captions;
    EXPECT_LE(size, 184u);
    return 1;
  }
  void DecodeServiceName(const uint8_t* s, size_t n) override { names.emplace_back(s, s + n); }
  void DecodeEventInfo(const uint8_t* s, size_t n) override { events.emplace_back(s, s + n); }
  void Reset() override { ++resets; }
  void ResetCaption() override { ++captionResets; }
};

struct Demux {
  StreamPids pids;
  CProgramMap map{pids};
  Collect sink;
  TextLog text;
  CTsDemux demux{pids, map, sink, text};

  Demux() {
    pids.video = kV;
    pids.audio = kA;
    pids.caption = kC;
  }
  // Feeds in blocks of 1128 bytes (the last one shorter).
  void Feed(const Bytes& ts) {
    for (size_t i = 0; i < ts.size(); i += kTsBlockSize)
      demux.PushBlock(ts.data() + i, std::min(kTsBlockSize, ts.size() - i));
  }
  std::vector<Bytes> Payloads(int kind) const {
    std::vector<Bytes> out;
    for (const auto& p : sink.packets)
      if (p->kind == kind) out.push_back(p->data);
    return out;
  }
};

}  // namespace

TEST(PacketLoop, RoutesEveryPidAndKeepsPacketsAcrossBlocks) {
  Demux d;
  TsWriter w;
  Bytes ts;
  // Junk in front and between: the loop finds the sync again.
  ts = {0x00, 0x47, 0x12};
  TsWriter::Options pcr;
  pcr.pcr = true;
  Append(ts, w.Packets(kV, Pes(0xE0, Pattern(2000, 1), 3000), false, pcr));
  Append(ts, w.Packets(kA, Pes(0xC0, Pattern(700, 2), 3000)));
  Append(ts, {0x47, 0x47});
  const Bytes sdt = PsiSection(0x42, Bytes(30, 0x42));
  const Bytes eit = PsiSection(0x4E, Bytes(400, 0x4E));  // three packets
  Append(ts, w.Packets(kSdtPid, sdt, true));
  Append(ts, w.Packets(kEitPid, eit, true));
  Append(ts, w.Packets(kC, Pes(0xBD, Pattern(100, 3), 3000)));
  Append(ts, w.Packets(0x0555, Bytes(100, 1)));  // unknown PID: ignored
  Append(ts, w.Packets(kV, Pes(0xE0, Pattern(10, 4), 6000, true)));
  Append(ts, w.Null());
  d.Feed(ts);
  ASSERT_EQ(d.Payloads(1).size(), 1u);
  EXPECT_EQ(d.Payloads(1)[0], Pattern(2000, 1));
  ASSERT_EQ(d.Payloads(0).size(), 1u);
  EXPECT_EQ(d.Payloads(0)[0], Pattern(700, 2));
  EXPECT_EQ(d.text.names, std::vector<Bytes>{sdt});
  EXPECT_EQ(d.text.events, std::vector<Bytes>{eit});
  EXPECT_EQ(d.text.captions, 1);
}

TEST(PacketLoop, ScrambledPacketResetsItsAssembler) {
  Demux d;
  TsWriter w;
  Bytes ts = w.Packets(kA, Pes(0xC0, Pattern(500, 1), 100));
  // The second packet of the PES becomes scrambled: the PES is cut there and, its header gone, its
  // last packet comes as a piece without a place (the framer places it after the PES before, if
  // that came whole); the next PES is whole.
  ts[188 + 3] |= 0x40;
  Append(ts, w.Packets(kA, Pes(0xC0, Pattern(300, 2), 200)));
  Bytes captionScrambled = w.Packets(kC, Pes(0xBD, Pattern(50, 1), 0), false, {2, false});
  Append(ts, captionScrambled);
  Append(ts, w.Null());
  d.Feed(ts);
  ASSERT_EQ(d.Payloads(0).size(), 2u);
  const Bytes first = Pattern(500, 1);
  EXPECT_EQ(d.Payloads(0)[0], Bytes(first.begin() + 170 + 184, first.end()));
  EXPECT_EQ(d.sink.packets[0]->cut.offset, -1);
  EXPECT_TRUE(d.sink.packets[0]->cut.before);
  EXPECT_EQ(d.sink.packets[0]->stamp, -1);
  EXPECT_EQ(d.Payloads(0)[1], Pattern(300, 2));
  EXPECT_EQ(d.demux.Stats().scrambled, 2u);
  EXPECT_EQ(d.text.captions, 0);
  EXPECT_GT(d.text.captionResets, 0);
}

TEST(PacketLoop, AdaptationOnlyPacketKeepsThePesAndOversizeFieldResets) {
  Demux d;
  TsWriter w;
  Bytes pes = w.Packets(kA, Pes(0xC0, Pattern(500, 1), 100));
  Bytes ts(pes.begin(), pes.begin() + 188);
  Append(ts, w.PcrOnly(kA));
  ts.insert(ts.end(), pes.begin() + 188, pes.end());
  // An adaptation field longer than the packet resets.
  Bytes bad = w.Packets(kA, Pes(0xC0, Pattern(500, 3), 100));
  bad[188 + 3] = uint8_t((bad[188 + 3] & 0xCF) | 0x30);
  bad[188 + 4] = 190;
  Append(ts, bad);
  Append(ts, w.Null());
  d.Feed(ts);
  ASSERT_EQ(d.Payloads(0).size(), 1u);
  EXPECT_EQ(d.Payloads(0)[0], Pattern(500, 1));
  EXPECT_EQ(d.demux.Stats().malformed, 1u);
}

// A loss cuts the PES it hits: a picture goes on with what arrived before the loss (the decoder
// conceals the rest); sound hands on the pieces either side of the loss, each marked where it lies,
// for the framer to keep the frames they hold whole. A repeated packet is no loss.
TEST(PacketLoop, LostPacketCutsTheDamagedPesAndRepeatsAreIgnored) {
  for (const uint16_t pid : {kV, kA}) {
    const bool video = pid == kV;
    SCOPED_TRACE(video ? "video" : "audio");
    const uint8_t id = video ? 0xE0 : 0xC0;
    Demux d;
    TsWriter w;
    Bytes one = w.Packets(pid, Pes(id, Pattern(800, 1), 3000));
    Bytes two = w.Packets(pid, Pes(id, Pattern(800, 2), 6000));
    Bytes three = w.Packets(pid, Pes(id, Pattern(400, 3), 9000));
    Bytes ts = one;
    ts.insert(ts.end(), two.begin(), two.begin() + 188 * 2);  // packet 3 of 5 lost
    ts.insert(ts.end(), two.begin() + 188 * 3, two.end());
    ts.insert(ts.end(), three.begin(), three.begin() + 188);
    ts.insert(ts.end(), three.begin(), three.begin() + 188);  // a repeated packet
    ts.insert(ts.end(), three.begin() + 188, three.end());
    Append(ts, w.Null());
    d.Feed(ts);
    const auto got = d.Payloads(video ? 1 : 0);
    std::vector<Bytes> want = {Pattern(800, 1)};
    // Two whole packets of the second PES arrived: 184 payload bytes each, less its 14-byte header.
    const Bytes second = Pattern(800, 2);
    want.emplace_back(second.begin(), second.begin() + 2 * 184 - 14);
    if (!video) want.emplace_back(second.begin() + 3 * 184 - 14, second.end());
    want.push_back(Pattern(400, 3));
    EXPECT_EQ(got, want);
    EXPECT_EQ(d.sink.packets[1]->stamp, 6000 * 300);
    const PesCut before = d.sink.packets[1]->cut;
    EXPECT_EQ(before.offset, 0);
    EXPECT_FALSE(before.before);
    EXPECT_EQ(before.after, !video);  // a picture's cut is the decoder's to conceal
    if (!video) {
      const PesCut rest = d.sink.packets[2]->cut;
      EXPECT_EQ(rest.offset, 3 * 184 - 14);
      EXPECT_TRUE(rest.before);
      EXPECT_FALSE(rest.after);
      EXPECT_EQ(d.sink.packets[2]->stamp, 6000 * 300);
    }
    EXPECT_EQ(d.demux.Stats().continuityGaps, 1u);
  }
}

// A flipped sync byte costs its own packet only: the packet before it, whose successor no longer
// begins with the sync byte, is still taken, here near the start, inside and at the end of a block.
TEST(PacketLoop, ADamagedSyncByteLosesOnlyItsOwnPacket) {
  for (const size_t before : {size_t{1}, size_t{3}, size_t{4}}) {
    SCOPED_TRACE(before);
    Demux d;
    TsWriter w;
    Bytes ts;
    for (size_t i = 0; i < before; ++i) Append(ts, w.Null());
    Append(ts, w.Packets(kA, Pes(0xC0, Pattern(45, 1), 3000)));  // one packet
    const size_t damaged = ts.size();
    Append(ts, w.Null());
    ts[damaged] ^= 0x01;
    Append(ts, w.Packets(kA, Pes(0xC0, Pattern(45, 2), 6000)));
    Append(ts, w.Null());
    d.Feed(ts);
    EXPECT_EQ(d.Payloads(0), (std::vector<Bytes>{Pattern(45, 1), Pattern(45, 2)}));
  }
}

// Two sound packets lost: a whole PES and the header of the next. The rest of that one still comes,
// as a piece to be placed back from the stamp of the PES after it, not after the last whole one.
TEST(PacketLoop, SoundAfterALongerLossComesAsAPiecePlacedByTheNextStamp) {
  Demux d;
  TsWriter w;
  Bytes ts = w.Packets(kA, Pes(0xC0, Pattern(45, 1), 3000));
  w.Packets(kA, Pes(0xC0, Pattern(45, 2), 6000));  // lost
  const Bytes third = w.Packets(kA, Pes(0xC0, Pattern(500, 3), 9000));
  ts.insert(ts.end(), third.begin() + 188, third.end());  // its first packet lost
  Append(ts, w.Packets(kA, Pes(0xC0, Pattern(45, 4), 12000)));
  Append(ts, w.Null());
  d.Feed(ts);
  const Bytes rest = Pattern(500, 3);
  ASSERT_EQ(d.Payloads(0),
            (std::vector<Bytes>{Pattern(45, 1), Bytes(rest.begin() + 184 - 14, rest.end()), Pattern(45, 4)}));
  const PesCut cut = d.sink.packets[1]->cut;
  EXPECT_EQ(cut.offset, -1);
  EXPECT_TRUE(cut.before);
  EXPECT_TRUE(cut.placedByNext);
  EXPECT_FALSE(d.sink.packets[2]->cut.placedByNext);
}

// A PES may hold a single short unit: the last PES of a stretch of silence carries one 15-byte ADTS
// frame. Each one arrives whole, between its neighbours, also without a PTS or right after a seam.
TEST(PacketLoop, ShortPesIsDeliveredWhole) {
  const Bytes silence = Adts(15, 0x21);
  Bytes three;
  for (int k = 0; k < 3; ++k) Append(three, Adts(15, uint8_t(0x30 + k)));
  const Bytes tinyUnit = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x41, 0x9A};
  struct Case {
    const char* name;
    uint16_t pid;
    uint8_t streamId;
    Bytes payload;
    int64_t pts;
    bool discontinuity;  // the short PES follows a seam marked in its first packet
  } cases[] = {
      {"lone silent frame", kA, 0xC0, silence, 1421320, false},
      {"lone silent frame, no PTS", kA, 0xC0, silence, -1, false},
      {"lone silent frame after a seam", kA, 0xC0, silence, 1421320, true},
      {"one-byte payload", kA, 0xC0, Bytes{0x5A}, 1421320, false},
      {"small access unit", kV, 0xE0, tinyUnit, 12000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Demux d;
    TsWriter w;
    const uint8_t kind = c.pid == kV ? 1 : 0;
    Bytes ts = w.Packets(c.pid, Pes(c.streamId, three, 1413640));
    Bytes shortPes = w.Packets(c.pid, Pes(c.streamId, c.payload, c.pts));
    ASSERT_EQ(shortPes.size(), 188u);
    if (c.discontinuity) {
      // The writer already put the payload behind an adaptation field of stuffing: mark it.
      ASSERT_TRUE(shortPes[3] & 0x20);
      shortPes[5] |= 0x80;
    }
    Append(ts, shortPes);
    Append(ts, w.Packets(c.pid, Pes(c.streamId, Pattern(300, 4), 1425160)));
    Append(ts, w.Null());
    d.Feed(ts);
    const auto got = d.Payloads(kind);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], three);
    EXPECT_EQ(got[1], c.payload);
    EXPECT_EQ(got[2], Pattern(300, 4));
    EXPECT_EQ(d.sink.packets[1]->stamp, c.pts < 0 ? -1 : c.pts * 300);
    EXPECT_EQ(d.demux.Stats().refused, 0u);
  }
}

TEST(PacketLoop, ProgrammeMapChangeMidwayReroutes) {
  Demux d;
  TsWriter w;
  Bytes ts = w.Packets(kA, Pes(0xC0, Pattern(300, 1), 100));
  Append(ts, w.Packets(kPmtPid, PmtSection({{0x1B, 0x0301, {}}, {0x0F, 0x0311, {}}}), true));
  Append(ts, w.Packets(kA, Pes(0xC0, Pattern(300, 2), 200)));      // old PID: now ignored
  Append(ts, w.Packets(0x0311, Pes(0xC0, Pattern(300, 3), 300)));  // new PID
  Append(ts, w.Null());
  d.Feed(ts);
  const auto a = d.Payloads(0);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0], Pattern(300, 1));
  EXPECT_EQ(a[1], Pattern(300, 3));
  EXPECT_EQ(d.pids.audio, 0x0311);
}

TEST(PacketLoop, RandomDamageNeverReadsOutOfBoundsAndRecovers) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    Demux d;
    TsWriter w;
    Bytes ts;
    for (int k = 0; k < 20; ++k) {
      Append(ts, w.Packets(kV, Pes(0xE0, Pattern(1500 + k, uint8_t(k)), 3000 * k, k % 2)));
      Append(ts, w.Packets(kA, Pes(0xC0, Pattern(600, uint8_t(k)), 3000 * k)));
      Append(ts, w.Packets(kPmtPid, PmtSection(StandardEntries()), true));
    }
    const size_t cleanFrom = ts.size();
    // Bit errors, dropped and inserted bytes.
    for (int e = 0; e < 40; ++e) {
      const size_t at = rng() % cleanFrom;
      switch (rng() % 3) {
        case 0:
          ts[at] ^= uint8_t(1 << (rng() % 8));
          break;
        case 1:
          ts.erase(ts.begin() + at);
          break;
        default:
          ts.insert(ts.begin() + at, uint8_t(rng()));
          break;
      }
    }
    const size_t damagedEnd = ts.size();
    TsWriter clean;
    for (int k = 0; k < 3; ++k) Append(ts, clean.Packets(kA, Pes(0xC0, Pattern(500, 77), 1000)));
    Append(ts, clean.Null());
    d.Feed(ts);
    (void)damagedEnd;
    // The clean tail comes through whole.
    const auto a = d.Payloads(0);
    ASSERT_GE(a.size(), 3u);
    for (size_t k = a.size() - 3; k < a.size(); ++k) EXPECT_EQ(a[k], Pattern(500, 77));
  }
}

namespace {
Bytes WithCrc(Bytes s) {
  s.resize(s.size() - 4);
  const uint32_t crc = SectionCrc32(s.data(), s.size());
  for (int i = 3; i >= 0; --i) s.push_back(uint8_t(crc >> (8 * i)));
  return s;
}
}  // namespace

TEST(ProgrammeMap, SectionWalkStaysInsideTheSection) {
  PmtEntries e;
  Bytes s = PmtSection({{0x1B, kV, {}}, {0x0F, kA, {1, 2}}});
  EXPECT_TRUE(ParsePmtSection(s.data(), s.size(), e));
  EXPECT_EQ(e.audio, kA);

  Bytes flipped = s;
  flipped[14] ^= 0x01;  // a bit error in the video PID
  PmtEntries f;
  EXPECT_FALSE(ParsePmtSection(flipped.data(), flipped.size(), f));
  EXPECT_EQ(f.video, kNoPid);

  Bytes longInfo = s;
  longInfo[18] = 0xFF;  // ES_info_length of the audio entry far past the section
  longInfo[19] = 0xFF;
  longInfo = WithCrc(longInfo);
  PmtEntries g;
  EXPECT_TRUE(ParsePmtSection(longInfo.data(), longInfo.size(), g));
  EXPECT_EQ(g.video, kV);

  Bytes longProgram = s;
  longProgram[10] = 0xFF;
  longProgram[11] = 0xFF;
  longProgram = WithCrc(longProgram);
  PmtEntries h;
  EXPECT_FALSE(ParsePmtSection(longProgram.data(), longProgram.size(), h));
}
