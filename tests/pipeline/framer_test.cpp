#include <gtest/gtest.h>

#include "ipc/stream_headers.h"
#include "player/pipeline/es_framer.h"
#include "player/pipeline/programme_map.h"
#include "player/pipeline/text_decoders.h"
#include "player/pipeline/ts_demux.h"
#include "tests/pipeline/stream_builder.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

struct Frame {
  int32_t type;
  int64_t stamp;
  Bytes payload;
};

struct Record : IFramerOutput {
  std::vector<Frame> frames;
  int formatsSent = 0;
  size_t framesBeforeFormats = 0;
  Bytes video, audio;
  void WriteFrame(const uint8_t* m, size_t size) override {
    const int32_t type = int32_t(ipcle::GetU32(m));
    EXPECT_EQ(size, type == IPC_VIDEO_FRAME ? kVideoFrameMessageBytes : kAudioFrameMessageBytes);
    EXPECT_EQ(int64_t(ipcle::GetU64(m + 8)), -1);
    EXPECT_EQ(int64_t(ipcle::GetU64(m + 24)), -1);
    EXPECT_EQ(int64_t(ipcle::GetU64(m + 32)), -1);
    const uint32_t n = ipcle::GetU32(m + 4);
    frames.push_back({type, int64_t(ipcle::GetU64(m + 16)), Bytes(m + 40, m + 40 + n)});
  }
  void SendStreamFormats(int direction, const StreamFormatMessage& v, const StreamFormatMessage& a) override {
    EXPECT_EQ(direction, 0);
    EXPECT_EQ(v.type, IPC_VIDEO_CONFIG);
    EXPECT_EQ(a.type, IPC_AUDIO_CONFIG);
    ++formatsSent;
    framesBeforeFormats = frames.size();
    video.assign(v.body, v.body + size_t(v.length));
    audio.assign(a.body, a.body + size_t(a.length));
  }
  std::vector<Frame> Of(int32_t type) const {
    std::vector<Frame> out;
    for (const auto& f : frames)
      if (f.type == type) out.push_back(f);
    return out;
  }
};

constexpr int64_t kT = 300;  // 90 kHz -> 27 MHz

// Streams both headers in: a video PES with SPS/PPS, then audio.
void StartStreaming(CEsFramer& f, int64_t pts = 0) {
  const Bytes v = AccessUnit(0, true);
  f.FrameVideo(v.data(), v.size(), pts * kT);
  const Bytes a = Adts(200);
  f.FrameAudio(a.data(), a.size(), pts * kT);
}

}  // namespace

TEST(VideoFraming, FirstPesCapturesTheHeaderAndWritesNothing) {
  Record out;
  CEsFramer f(out);
  const Bytes au = AccessUnit(0, true);
  f.FrameVideo(au.data(), au.size(), 0);
  EXPECT_EQ(f.State(), CEsFramer::kVideoHeader);
  const StreamFormatMessage& h = f.VideoFormat();
  ASSERT_GE(size_t(h.length), 4u);
  const Bytes body(h.body, h.body + size_t(h.length));
  // From the SPS's 3-byte start code through the PPS, up to and with the zero before the slice's
  // start code.
  Bytes expected = {0, 0, 1};
  Append(expected, Sps(1, 30));
  Append(expected, kPps);
  expected.push_back(0);
  EXPECT_EQ(body, expected);
  EXPECT_TRUE(out.frames.empty());
  EXPECT_EQ(out.formatsSent, 0);
}

TEST(VideoFraming, EachUnitCarriesItsOwnPesStampAfterTheHeadersWentOut) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f, 1000);
  ASSERT_EQ(f.State(), CEsFramer::kStreaming);
  EXPECT_EQ(out.formatsSent, 1);
  EXPECT_EQ(out.framesBeforeFormats, 0u);
  std::vector<Bytes> units;
  for (int k = 1; k <= 4; ++k) {
    units.push_back(AccessUnit(uint8_t(k), k == 3));
    f.FrameVideo(units.back().data(), units.back().size(), (1000 + 6000 * k) * kT);
  }
  const auto v = out.Of(IPC_VIDEO_FRAME);
  // The unit still in progress is not written yet.
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0].stamp, 1000 * kT);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(v[k + 1].stamp, (1000 + 6000 * (k + 1)) * kT) << k;
    // A carried unit begins at its delimiter's NAL header byte and ends with the next unit's
    // leading zero byte.
    Bytes expected(units[k].begin() + 4, units[k].end());
    expected.push_back(0);
    EXPECT_EQ(v[k + 1].payload, expected) << k;
  }
  EXPECT_EQ(out.formatsSent, 1);
}

TEST(VideoFraming, AKeyPictureCutBeforeTheSoundHeaderGoesOutRightAfterTheFormats) {
  // A tune that lands where the key picture comes before the next sound: the picture is cut (at the
  // next delimiter) before the sound header is known.
  Record out;
  CEsFramer f(out);
  const Bytes before = AccessUnit(9, false);  // before the video header: cannot be decoded
  f.FrameVideo(before.data(), before.size(), 500 * kT);
  std::vector<Bytes> units;
  for (int k = 0; k < 3; ++k) {
    units.push_back(AccessUnit(uint8_t(k), k == 0));
    f.FrameVideo(units.back().data(), units.back().size(), (1000 + 6000 * k) * kT);
  }
  EXPECT_EQ(f.State(), CEsFramer::kVideoHeader);
  EXPECT_TRUE(out.frames.empty());
  Bytes a = Adts(200);
  Append(a, Adts(201));
  f.FrameAudio(a.data(), a.size(), 2000 * kT);
  ASSERT_EQ(out.formatsSent, 1);
  EXPECT_EQ(out.framesBeforeFormats, 0u);
  const auto v = out.Of(IPC_VIDEO_FRAME);
  ASSERT_EQ(v.size(), 2u);  // the third unit is still in progress
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(v[k].stamp, (1000 + 6000 * k) * kT) << k;
    Bytes expected(units[k].begin() + 4, units[k].end());
    expected.push_back(0);
    EXPECT_EQ(v[k].payload, expected) << k;
  }
  // They went before the sound frame.
  EXPECT_EQ(out.frames.back().type, IPC_AUDIO_FRAME);
  EXPECT_EQ(f.Stats().videoWritten, 2u);

  // A new programme map forgets what waited.
  Record other;
  CEsFramer g(other);
  for (const Bytes& u : units) g.FrameVideo(u.data(), u.size(), 0);
  g.ResetState();
  StartStreaming(g);
  EXPECT_EQ(other.formatsSent, 1);
  EXPECT_TRUE(other.Of(IPC_VIDEO_FRAME).empty());
}

TEST(VideoFraming, UnitsOfOnePesAdvanceByTheFramePeriod) {
  struct Case {
    Bytes sps;
    int64_t period;
  } cases[] = {
      {Sps(1, 30), 27000000 / 15}, {Sps(1001, 60000), 27000000LL * 2002 / 60000}, {Sps(), 27000000 / 15}};
  for (const auto& c : cases) {
    Record out;
    CEsFramer f(out);
    Bytes first = AccessUnit(0, true, c.sps);
    f.FrameVideo(first.data(), first.size(), 0);
    const Bytes a = Adts(100);
    f.FrameAudio(a.data(), a.size(), 0);
    EXPECT_EQ(f.FramePeriod(), c.period);
    // Three units in one PES with one PTS, then a fourth PES ends the last.
    Bytes pes = AccessUnit(1, false);
    Append(pes, AccessUnit(2, false));
    Append(pes, AccessUnit(3, false));
    f.FrameVideo(pes.data(), pes.size(), 90000 * kT);
    Bytes next = AccessUnit(4, false);
    f.FrameVideo(next.data(), next.size(), -1);
    const auto v = out.Of(IPC_VIDEO_FRAME);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].stamp, 0);  // the first PES's unit, ended by the second PES
    for (int k = 1; k < 4; ++k) EXPECT_EQ(v[k].stamp, 90000 * kT + (k - 1) * c.period) << k;
    // Units cut inside one PES begin with their start code.
    EXPECT_EQ(Bytes(v[2].payload.begin(), v[2].payload.begin() + 4), Bytes({0, 0, 1, 9}));
  }
}

TEST(VideoFraming, PesWithoutPtsKeepsMinusOne) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  Bytes pes = AccessUnit(1, false);
  Append(pes, AccessUnit(2, false));
  f.FrameVideo(pes.data(), pes.size(), -1);
  Bytes next = AccessUnit(3, false);
  f.FrameVideo(next.data(), next.size(), 5000);
  const auto v = out.Of(IPC_VIDEO_FRAME);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[1].stamp, -1);
  EXPECT_EQ(v[2].stamp, -1);
}

TEST(VideoFraming, UnitSplitOverPesPayloadsIsWholeWithItsFirstStamp) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  const Bytes au = AccessUnit(7, false);
  const Bytes next = AccessUnit(8, false);
  // The unit's bytes arrive in three pieces, the cuts inside start codes.
  f.FrameVideo(au.data(), 2, 111);
  f.FrameVideo(au.data() + 2, 3, 222);
  f.FrameVideo(au.data() + 5, au.size() - 5, 333);
  f.FrameVideo(next.data(), next.size(), 444);
  const auto v = out.Of(IPC_VIDEO_FRAME);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[1].stamp, 222);  // the PES in which the delimiter's header byte came
  Bytes expected(au.begin() + 4, au.end());
  expected.push_back(0);
  EXPECT_EQ(v[1].payload, expected);
}

TEST(VideoFraming, OversizeUnitIsDroppedAndCounted) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  Bytes big = kAud4;
  Append(big, Nal(0x65, kVideoFramePayloadMax + 10, 1));
  f.FrameVideo(big.data(), big.size(), 1);
  Bytes huge = kAud4;
  Append(huge, Nal(0x65, CEsFramer::kCarryMax + 10, 1));  // past the carry's limit
  f.FrameVideo(huge.data(), huge.size(), 2);
  const Bytes ok = AccessUnit(3, false);
  f.FrameVideo(ok.data(), ok.size(), 3);
  f.FrameVideo(ok.data(), ok.size(), 4);
  const auto v = out.Of(IPC_VIDEO_FRAME);
  ASSERT_EQ(v.size(), 2u);  // the header PES's unit and the first small one
  EXPECT_EQ(v[1].stamp, 3);
  EXPECT_EQ(f.Stats().videoOversize, 2u);
}

TEST(VideoFraming, HeaderCaptureOver128BytesIsAbandonedUntilTheNextSps) {
  Record out;
  CEsFramer f(out);
  // SPS + PPS of 129 bytes with their start code.
  Bytes longPps = {0, 0, 0, 1, 0x68};
  const Bytes sps = Sps(1, 30);
  const size_t captured = 3 + sps.size() + 4 + 1;  // 00 00 01 SPS 00 00 00 01 68
  longPps.resize(longPps.size() + (129 - captured), 0x33);
  Bytes pes = kAud4;
  Append(pes, WithStartCode(sps));
  Append(pes, longPps);
  Append(pes, Nal(0x65, 50, 1));
  f.FrameVideo(pes.data(), pes.size(), 0);
  EXPECT_EQ(f.State(), CEsFramer::kNothing);
  const Bytes good = AccessUnit(1, true);
  f.FrameVideo(good.data(), good.size(), 0);
  EXPECT_EQ(f.State(), CEsFramer::kVideoHeader);
}

TEST(VideoFraming, ResetStateCapturesBothHeadersAgain) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  f.ResetState();
  const Bytes p = AccessUnit(1, false);
  f.FrameVideo(p.data(), p.size(), 1);
  EXPECT_TRUE(out.Of(IPC_VIDEO_FRAME).empty());
  const Bytes a = Adts(100);
  f.FrameAudio(a.data(), a.size(), 0);
  const Bytes idr = AccessUnit(2, true);
  f.FrameVideo(idr.data(), idr.size(), 2);
  EXPECT_EQ(f.State(), CEsFramer::kStreaming);
  EXPECT_EQ(out.formatsSent, 2);
}

TEST(AudioFraming, FramesOfOnePesAdvanceBy1024SamplesAtTheirRate) {
  struct Case {
    int index;
    int rate;
  } cases[] = {{6, 24000}, {3, 48000}, {4, 44100}};
  for (const auto& c : cases) {
    Record out;
    CEsFramer f(out);
    const Bytes v = AccessUnit(0, true);
    f.FrameVideo(v.data(), v.size(), 0);
    Bytes first = Adts(100, 0x11, c.index);
    f.FrameAudio(first.data(), first.size(), 0);
    ASSERT_EQ(f.State(), CEsFramer::kStreaming);
    EXPECT_EQ(Bytes(out.audio.begin(), out.audio.end()), Bytes(first.begin(), first.begin() + 7));
    Bytes pes;
    for (int k = 0; k < 5; ++k) Append(pes, Adts(150 + k, uint8_t(0x20 + k), c.index));
    f.FrameAudio(pes.data(), pes.size(), 9000 * kT);
    const auto a = out.Of(IPC_AUDIO_FRAME);
    ASSERT_EQ(a.size(), 5u) << c.rate;
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(a[k].stamp, 9000 * kT + k * 1024LL * 27000000 / c.rate) << c.rate << " " << k;
      EXPECT_EQ(a[k].payload, Adts(150 + k, uint8_t(0x20 + k), c.index));
    }
  }
}

TEST(AudioFraming, FrameSplitOverTwoPesIsSentOnceWithTheStampOfItsFirstByte) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  Bytes one = Adts(300, 0x21);
  const Bytes split = Adts(371, 0x22);
  one.insert(one.end(), split.begin(), split.begin() + 100);
  Bytes two(split.begin() + 100, split.end());
  Append(two, Adts(120, 0x23));
  f.FrameAudio(one.data(), one.size(), 90000 * kT);
  f.FrameAudio(two.data(), two.size(), 180000 * kT);
  const auto a = out.Of(IPC_AUDIO_FRAME);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0].stamp, 90000 * kT);
  EXPECT_EQ(a[1].payload, split);
  EXPECT_EQ(a[1].stamp, 90000 * kT + 1152000);  // second frame of the first PES
  EXPECT_EQ(a[2].stamp, 180000 * kT);           // first frame that begins in the second PES
}

TEST(AudioFraming, StreamingThatStartsMidPesStampsByPosition) {
  Record out;
  CEsFramer f(out);
  const Bytes v = AccessUnit(0, true);
  f.FrameVideo(v.data(), v.size(), 0);
  Bytes pes;
  for (int k = 0; k < 4; ++k) Append(pes, Adts(200, uint8_t(0x30 + k)));
  f.FrameAudio(pes.data(), pes.size(), 45000 * kT);  // header captured from the first frame
  const auto a = out.Of(IPC_AUDIO_FRAME);
  ASSERT_EQ(a.size(), 3u);  // the first frame went out as the header only
  for (int k = 0; k < 3; ++k) EXPECT_EQ(a[k].stamp, 45000 * kT + (k + 1) * 1152000LL);
}

TEST(AudioFraming, ImpossibleCandidatesArePassedOver) {
  Record out;
  CEsFramer f(out);
  StartStreaming(f);
  Bytes pes;
  Bytes zeroLength = Adts(100, 0x41);
  zeroLength[3] &= 0xFC;
  zeroLength[4] = 0;
  zeroLength[5] &= 0x1F;  // frame length 0
  Append(pes, zeroLength);
  Bytes f9 = Adts(100, 0x42);
  f9[1] = 0xF9;  // MPEG-2 sync: not recognised
  Append(pes, f9);
  Bytes otherRate = Adts(100, 0x43, 3);  // differs from the captured header
  Append(pes, otherRate);
  Append(pes, Adts(100, 0x44));
  f.FrameAudio(pes.data(), pes.size(), 0);
  const auto a = out.Of(IPC_AUDIO_FRAME);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].payload, Adts(100, 0x44));
  EXPECT_EQ(f.Stats().audioShortLength, 1u);
}

// Three six-frame PES on the audio PID, the middle one damaged by lost packets: every frame the
// loss left whole comes out, stamped by its place in the PES; a frame the loss cut never does.
TEST(AudioFraming, LossInsideAPesKeepsTheWholeFramesAndTheirStamps) {
  constexpr uint16_t kAudioPid = 0x0110;
  // Payload spans in the damaged PES: 0-150 | 150-360 | 360-530 | 530-770 | 770-960 | 960-1120.
  // Its 14-byte header leaves 170 payload bytes in the first packet, 184 in each next one.
  const size_t lengths[6] = {150, 210, 170, 240, 190, 160};
  struct Case {
    const char* name;
    std::vector<int> lost;             // packets of the damaged PES, from 0
    std::vector<int> out;              // its frames that come out
    size_t fakeSyncAt = 0;             // a frame-like sync pattern planted in the payload at this position
    bool spoilHeader = false;          // a bit of its PES start code flipped
    std::vector<int> lostBefore = {};  // packets of the PES before it lost
    std::vector<int> outBefore = {0, 1, 2, 3, 4, 5};
  } cases[] = {
      {"third packet: a frame cut each side, one lost within", {2}, {0, 4, 5}},
      {"fourth packet: the frames before pass", {3}, {0, 1, 2, 4, 5}},
      {"last packet: the cut frame is the last", {6}, {0, 1, 2, 3, 4}},
      {"two losses", {2, 4}, {0, 5}},
      {"a sync pattern inside the frame cut after the loss", {2}, {0, 4, 5}, 600},
      {"the packet with the header: the frames reaching the end, placed after the last PES",
       {0},
       {2, 3, 4, 5}},
      {"the header and a later packet: the frames after the later loss, placed back from the next PES",
       {0, 3},
       {4, 5}},
      {"a start code bit flipped: as the header lost", {}, {2, 3, 4, 5}, 0, true},
      {"the header after a PES that lost a packet: placed back from the next PES",
       {0},
       {2, 3, 4, 5},
       0,
       false,
       {3},
       {0, 1, 2, 4, 5}},
      {"the last packet of the PES before and the header: placed back from the next PES",
       {0},
       {2, 3, 4, 5},
       0,
       false,
       {6},
       {0, 1, 2, 3, 4}},
  };
  const auto frameOf = [&](int pes, int k) { return Adts(lengths[k], uint8_t(0x20 + 0x10 * pes + k)); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Record out;
    CEsFramer framer(out);
    StartStreaming(framer);
    out.frames.clear();
    struct ToFramer : IStreamPacketSink {
      CEsFramer& f;
      explicit ToFramer(CEsFramer& framer) : f(framer) {}
      void PushPacket(std::unique_ptr<StreamPacket> p) override {
        if (p->kind == 0) f.FrameAudio(p->data.data(), p->data.size(), p->stamp, p->cut);
      }
    } sink(framer);
    struct NoText : ITextDecoders {
      int ParseCaptionPes(bool, const uint8_t*, size_t) override { return 1; }
      void DecodeServiceName(const uint8_t*, size_t) override {}
      void DecodeEventInfo(const uint8_t*, size_t) override {}
      void Reset() override {}
      void ResetCaption() override {}
    } text;
    StreamPids pids;
    pids.audio = kAudioPid;
    CProgramMap map(pids);
    CTsDemux demux(pids, map, sink, text);

    TsWriter w;
    Bytes ts;
    const int64_t pesPts = 6 * 1024 * 90000 / 24000;
    for (int pes = 0; pes < 3; ++pes) {
      Bytes payload;
      for (int k = 0; k < 6; ++k) Append(payload, frameOf(pes, k));
      if (pes == 1 && c.fakeSyncAt) {
        const Bytes fake = Adts(100, 0x77);
        std::copy(fake.begin(), fake.begin() + 7, payload.begin() + std::ptrdiff_t(c.fakeSyncAt));
      }
      const Bytes packets = w.Packets(kAudioPid, Pes(0xC0, payload, 9000 + pes * pesPts));
      for (size_t i = 0; i < packets.size() / 188; ++i) {
        const std::vector<int>* lostHere = pes == 1 ? &c.lost : pes == 0 ? &c.lostBefore : nullptr;
        const bool lost =
            lostHere && std::find(lostHere->begin(), lostHere->end(), int(i)) != lostHere->end();
        if (lost) continue;
        ts.insert(ts.end(), packets.begin() + std::ptrdiff_t(188 * i),
                  packets.begin() + std::ptrdiff_t(188 * (i + 1)));
        if (pes == 1 && i == 0 && c.spoilHeader) ts[ts.size() - 188 + 6] ^= 0x01;
      }
    }
    Append(ts, w.Null());
    demux.PushBlock(ts.data(), ts.size());

    std::vector<std::pair<int, int>> want;  // (PES, frame)
    for (int k : c.outBefore) want.emplace_back(0, k);
    for (int k : c.out) want.emplace_back(1, k);
    for (int k = 0; k < 6; ++k) want.emplace_back(2, k);
    const auto a = out.Of(IPC_AUDIO_FRAME);
    ASSERT_EQ(a.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const auto [pes, k] = want[i];
      EXPECT_EQ(a[i].payload, frameOf(pes, k)) << pes << " " << k;
      EXPECT_EQ(a[i].stamp, (9000 + pes * pesPts) * kT + k * 1152000LL) << pes << " " << k;
    }
  }
}

TEST(H264Timing, DamagedSpsGivesNoPeriod) {
  const Bytes good = Sps(1, 30);
  EXPECT_EQ(streamhdr::SpsFramePeriodTicks(good.data(), good.size()), 27000000 / 15);
  for (size_t n = 0; n < good.size(); ++n) {
    const int64_t p = streamhdr::SpsFramePeriodTicks(good.data(), n);
    EXPECT_TRUE(p == 0 || p == 27000000 / 15) << n;
  }
  const Bytes absurd = Sps(1, 1000000);
  EXPECT_EQ(streamhdr::SpsFramePeriodTicks(absurd.data(), absurd.size()), 0);
}
