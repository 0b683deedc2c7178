// The animations checked by a walk over their bytes, independent of the player's own GIF reader.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QImageReader>
#include <cstdint>
#include <string>
#include <vector>
#include "player/resources/player_resources.h"

namespace {

struct Frame {
  bool control = false;  // a graphic control extension came before the image
  int disposal = -1;
  int delay = -1;
  int left = -1, top = -1, width = -1, height = -1;
  bool localTable = false;
};

struct Walk {
  std::string error;  // empty when the file is well formed
  std::string version;
  int width = 0, height = 0;
  std::vector<Frame> frames;
  bool trailer = false;
};

class Reader {
 public:
  explicit Reader(const QByteArray& bytes) : b_(bytes) {}
  bool Has(qsizetype n) const { return pos_ + n <= b_.size(); }
  int U8() { return static_cast<std::uint8_t>(b_[pos_++]); }
  int U16() {
    const int lo = U8();
    return lo | (U8() << 8);
  }
  void Skip(qsizetype n) { pos_ += n; }
  qsizetype Left() const { return b_.size() - pos_; }
  // Sub-blocks up to and including the zero terminator.
  bool SkipChain() {
    while (Has(1)) {
      const int n = U8();
      if (n == 0) return true;
      if (!Has(n)) return false;
      Skip(n);
    }
    return false;
  }

 private:
  const QByteArray& b_;
  qsizetype pos_ = 0;
};

Walk Fail(std::string error) {
  Walk w;
  w.error = std::move(error);
  return w;
}

Walk WalkGif(const QByteArray& bytes) {
  Walk w;
  Reader r(bytes);
  if (!r.Has(13)) return Fail("short header");
  w.version = bytes.left(6).toStdString();
  r.Skip(6);
  w.width = r.U16();
  w.height = r.U16();
  const int packed = r.U8();
  r.Skip(2);
  if (packed & 0x80) r.Skip(3 * (2 << (packed & 7)));
  Frame pending;
  while (r.Has(1)) {
    const int kind = r.U8();
    if (kind == 0x3B) {
      w.trailer = true;
      if (r.Left() != 0) w.error = "bytes after the trailer";
      return w;
    }
    if (kind == 0x21) {
      if (!r.Has(1)) return Fail("cut extension");
      const int label = r.U8();
      if (label == 0xF9) {
        if (!r.Has(6) || r.U8() != 4) return Fail("bad graphic control extension");
        pending.control = true;
        pending.disposal = (r.U8() >> 2) & 7;
        pending.delay = r.U16();
        r.Skip(1);
        if (r.U8() != 0) return Fail("graphic control extension not terminated");
      } else if (!r.SkipChain()) {
        return Fail("cut extension chain");
      }
      continue;
    }
    if (kind == 0x2C) {
      if (!r.Has(9)) return Fail("cut image descriptor");
      Frame f = pending;
      pending = Frame();
      f.left = r.U16();
      f.top = r.U16();
      f.width = r.U16();
      f.height = r.U16();
      const int p = r.U8();
      f.localTable = (p & 0x80) != 0;
      if (f.localTable) r.Skip(3 * (2 << (p & 7)));
      if (!r.Has(1)) return Fail("no code size");
      r.Skip(1);
      if (!r.SkipChain()) return Fail("cut image data");
      w.frames.push_back(f);
      continue;
    }
    return Fail("unknown block " + std::to_string(kind));
  }
  w.error = "no trailer";
  return w;
}

TEST(PlayerAnimations, EveryFrameIsAFullCanvasWithItsDelayAndDisposalTwo) {
  struct Case {
    unsigned id;
    std::vector<int> delays;
  } cases[] = {
      {505, {55, 50}},
      {506, {50, 50, 50, 50, 50, 50}},
      {507, {50, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("GIF " + std::to_string(c.id));
    const QByteArray bytes = PlayerSkin().GifBytes(c.id);
    const Walk w = WalkGif(bytes);
    ASSERT_EQ(w.error, "");
    EXPECT_EQ(w.version, "GIF89a");
    EXPECT_EQ(w.width, 120);
    EXPECT_EQ(w.height, 75);
    EXPECT_TRUE(w.trailer);
    ASSERT_EQ(w.frames.size(), c.delays.size());
    for (size_t i = 0; i < w.frames.size(); ++i) {
      const Frame& f = w.frames[i];
      EXPECT_TRUE(f.control) << "frame " << i;
      EXPECT_EQ(f.disposal, 2) << "frame " << i;
      EXPECT_EQ(f.delay, c.delays[i]) << "frame " << i;
      EXPECT_EQ(QRect(f.left, f.top, f.width, f.height), QRect(0, 0, 120, 75)) << "frame " << i;
    }

    // A decoder sees the same frames, each one different from the one before.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "gif");
    EXPECT_EQ(reader.imageCount(), static_cast<int>(c.delays.size()));
    QImage previous;
    for (size_t i = 0; i < c.delays.size(); ++i) {
      const QImage frame = reader.read();
      ASSERT_FALSE(frame.isNull()) << "frame " << i << ": " << reader.errorString().toStdString();
      EXPECT_EQ(frame.size(), QSize(120, 75));
      if (i > 0) {
        EXPECT_NE(frame, previous) << "frame " << i << " repeats the one before";
      }
      previous = frame;
    }
  }
}

TEST(PlayerAnimations, TheWalkRejectsBrokenFiles) {
  const QByteArray good = PlayerSkin().GifBytes(505);
  ASSERT_EQ(WalkGif(good).error, "");
  EXPECT_NE(WalkGif(good.left(good.size() - 1)).error, "");  // no trailer
  EXPECT_NE(WalkGif(good.left(good.size() / 2)).error, "");  // cut image data
  QByteArray junk = good;
  junk[junk.size() - 1] = 0x42;
  EXPECT_NE(WalkGif(junk).error, "");
  EXPECT_NE(WalkGif(good.left(10)).error, "");
}

}  // namespace
