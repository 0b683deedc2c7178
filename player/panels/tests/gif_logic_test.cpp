// The GIF walk, frame schedule and canvas, on files from the test's own writer.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "gif_writer.h"
#include "player/panels/gif_decoder.h"

using namespace tevalo::panels;
using gif_test::GifWriter;

namespace {

std::span<const uint8_t> Span(const QByteArray& b) {
  return {reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())};
}

QByteArray SampleNamed(const std::string& name) {
  for (const auto& s : gif_test::Samples())
    if (name == s.name) return s.bytes;
  ADD_FAILURE() << "no sample " << name;
  return {};
}

const QColor kBackground(10, 20, 30);

QRgb At(const GifAnimation& a, int x, int y) { return a.Canvas().pixel(x, y) & 0xFFFFFF; }
QRgb Rgb(const QColor& c) { return c.rgb() & 0xFFFFFF; }

TEST(GifScan, FramesAndDelays) {
  struct Case {
    const char* sample;
    std::vector<int> delaysMs;
    bool animated;
  } cases[] = {
      {"still", {}, false},
      {"two", {550, 500}, true},
      {"six", {100, 100, 100, 100, 100, 50}, true},  // 0..4 hundredths: 100 ms
      {"twelve", {500, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100}, true},
      {"extensions", {200, 300}, true},  // comment and application blocks between control and image
      {"plaintext", {100, 100}, true},   // the plain-text frame is dropped
      {"nocontrol", {100, 100}, true},   // no control extension: 100 ms
      {"disposal3", {100, 100, 100}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    GifAnimation a;
    ASSERT_TRUE(a.Load(Span(SampleNamed(c.sample)), kBackground));
    EXPECT_TRUE(a.IsGif());
    EXPECT_EQ(a.Animated(), c.animated);
    EXPECT_EQ(a.Size(), QSize(16, 12));
    std::vector<int> delays;
    for (const auto& f : a.Frames()) delays.push_back(f.delayMs);
    EXPECT_EQ(delays, c.delaysMs);
  }
}

TEST(GifScan, DelayRule) {
  GifGraphic g;
  EXPECT_EQ(GifFrameDelayMs(g), 100);  // no control extension
  g.control = 0;
  for (auto [delay, ms] : std::map<uint16_t, int>{{0, 100}, {4, 100}, {5, 50}, {55, 550}, {65535, 655350}}) {
    g.delay = delay;
    EXPECT_EQ(GifFrameDelayMs(g), ms) << delay;
  }
}

TEST(GifScan, GraphicBlocksKeepTheirControlExtension) {
  const QByteArray gif = SampleNamed("extensions");
  const auto scan = ScanGif(Span(gif));
  ASSERT_TRUE(scan);
  ASSERT_EQ(scan->graphics.size(), 2u);
  EXPECT_EQ(scan->graphics[0].delay, 20);
  EXPECT_EQ(scan->graphics[0].disposal, 2);
  EXPECT_EQ(scan->graphics[1].rect, QRect(4, 3, 8, 6));
  EXPECT_EQ(scan->globalTableBytes, 6u);
  // A stand-alone frame: header, screen and table, its control extension, its image, the trailer.
  const QByteArray one = StandaloneGif(Span(gif), *scan, scan->graphics[1]);
  EXPECT_EQ(one.left(13 + 6), gif.left(13 + 6));
  EXPECT_EQ(one.mid(19, 8), gif.mid(qsizetype(*scan->graphics[1].control), 8));
  EXPECT_EQ(one.back(), ';');
  EXPECT_EQ(one.size(), 13 + 6 + 8 + qsizetype(scan->graphics[1].length) + 1);
}

TEST(GifScan, BrokenFilesFail) {
  const QByteArray good = SampleNamed("two");
  struct Case {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"empty", {}},
      {"no image", GifWriter(16, 12, {Qt::red}).Trailer().Bytes()},
      {"unknown block",
       GifWriter(16, 12, {Qt::red}).Solid(QRect(0, 0, 16, 12), 0).Raw("\x42").Trailer().Bytes()},
      {"unknown extension",
       GifWriter(16, 12, {Qt::red}).Raw(QByteArray("\x21\x77\x00", 3)).Trailer().Bytes()},
      {"zero width", GifWriter(0, 12, {Qt::red}).Solid(QRect(0, 0, 0, 12), 0).Trailer().Bytes()},
      {"oversized canvas", GifWriter(1025, 10, {Qt::red}).Solid(QRect(0, 0, 1, 1), 0).Trailer().Bytes()},
      {"not a picture", QByteArray("hello, this is no picture")},
      {"only a plain text", GifWriter(16, 12, {Qt::red}).PlainText("x").Trailer().Bytes()},
  };
  for (const Case& c : cases) {
    GifAnimation a;
    EXPECT_FALSE(a.Load(Span(c.bytes), kBackground)) << c.what;
    EXPECT_FALSE(a.Ready()) << c.what;
  }
  // Every cut fails: the walk needs each block whole and the trailer.
  for (qsizetype cut = 0; cut < good.size(); ++cut) {
    GifAnimation a;
    EXPECT_FALSE(a.Load(Span(good.left(cut)), kBackground)) << "cut at " << cut;
  }
}

TEST(GifScan, DecodeBudgetBoundsFramesTimesCanvas) {
  // Each frame is decoded at canvas size: 8 frames of 1024 x 1024 fit, a ninth does not.
  for (int frames : {8, 9}) {
    GifWriter gif(1024, 1024, {Qt::red});
    for (int i = 0; i < frames; ++i) gif.Control(10, 0).Solid(QRect(0, 0, 1, 1), 0);
    GifAnimation a;
    EXPECT_EQ(a.Load(Span(gif.Trailer().Bytes()), kBackground), frames == 8) << frames;
  }
}

TEST(GifAnimation, StillAndPng) {
  GifAnimation a;
  ASSERT_TRUE(a.Load(Span(SampleNamed("still")), kBackground));
  EXPECT_EQ(At(a, 5, 5), Rgb(kBackground));
  a.ShowStill();
  EXPECT_EQ(At(a, 5, 5), Rgb(Qt::red));

  ASSERT_TRUE(a.Load(Span(SampleNamed("png")), kBackground));
  EXPECT_FALSE(a.IsGif());
  EXPECT_FALSE(a.Animated());
  EXPECT_EQ(a.Size(), QSize(20, 10));
  a.ShowStill();
  EXPECT_EQ(At(a, 19, 9), Rgb(Qt::darkCyan));
}

TEST(GifAnimation, FramesDrawnAtTheirOffsetWithTheirOwnColours) {
  const QByteArray gif = SampleNamed("extensions");  // frame 1: (4, 3) 8 x 6, blue from its local table
  GifAnimation a;
  ASSERT_TRUE(a.Load(Span(gif), kBackground));
  EXPECT_EQ(a.Begin(), 200);
  EXPECT_EQ(At(a, 0, 0), Rgb(Qt::red));
  EXPECT_EQ(a.Next(), 300);  // frame 0's disposal 2 clears it to the background first
  EXPECT_EQ(At(a, 4, 3), Rgb(Qt::blue));
  EXPECT_EQ(At(a, 11, 8), Rgb(Qt::blue));
  EXPECT_EQ(At(a, 12, 9), Rgb(kBackground));  // not offset a second time
  EXPECT_EQ(At(a, 3, 2), Rgb(kBackground));
}

TEST(GifAnimation, DisposalAndClearingAfterTheLastFrame) {
  // Frame 0 full red (kept), 1 green square (restored after), 2 blue square (cleared after).
  GifAnimation a;
  ASSERT_TRUE(a.Load(Span(SampleNamed("disposal3")), kBackground));
  a.Begin();
  EXPECT_EQ(At(a, 3, 3), Rgb(Qt::red));
  a.Next();
  EXPECT_EQ(At(a, 3, 3), Rgb(Qt::green));
  a.Next();  // frame 1 restored what was under it; frame 2 drawn
  EXPECT_EQ(At(a, 3, 3), Rgb(Qt::red));
  EXPECT_EQ(At(a, 9, 7), Rgb(Qt::blue));
  EXPECT_EQ(a.CurrentFrame(), 2u);
  a.Next();  // after the last: the whole canvas cleared, then frame 0 again
  EXPECT_EQ(a.CurrentFrame(), 0u);
  EXPECT_EQ(At(a, 9, 7), Rgb(Qt::red));

  // A frame drawn without disposal stays until the canvas is cleared after the last frame.
  const QByteArray kept = GifWriter(16, 12, {Qt::red, Qt::green})
                              .Control(10, 1)
                              .Solid(QRect(0, 0, 4, 4), 0)
                              .Control(10, 1)
                              .Solid(QRect(8, 8, 4, 4), 1)
                              .Trailer()
                              .Bytes();
  ASSERT_TRUE(a.Load(Span(kept), kBackground));
  a.Begin();
  a.Next();
  EXPECT_EQ(At(a, 1, 1), Rgb(Qt::red));
  EXPECT_EQ(At(a, 9, 9), Rgb(Qt::green));
  a.Next();
  EXPECT_EQ(At(a, 1, 1), Rgb(Qt::red));
  EXPECT_EQ(At(a, 9, 9), Rgb(kBackground));
}

TEST(GifAnimation, TransparentPixelsLeaveTheCanvas) {
  std::vector<uint8_t> indices(16, 1);
  indices[5] = 0;  // transparent
  const QByteArray gif = GifWriter(4, 4, {Qt::black, Qt::yellow, Qt::red})
                             .Control(10, 1)
                             .Solid(QRect(0, 0, 4, 4), 2)
                             .Control(10, 1, 0)
                             .Image(QRect(0, 0, 4, 4), indices)
                             .Trailer()
                             .Bytes();
  GifAnimation a;
  ASSERT_TRUE(a.Load(Span(gif), kBackground));
  a.Begin();
  a.Next();
  EXPECT_EQ(At(a, 0, 0), Rgb(Qt::yellow));
  EXPECT_EQ(At(a, 1, 1), Rgb(Qt::red));
}

}  // namespace
