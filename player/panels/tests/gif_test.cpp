// The animation control: still pictures, frame timing on the GUI thread, stopping and reloading, and
// the three player animations frame by frame.
#include <gtest/gtest.h>
#include <QPainter>

#include "controls/resources.h"
#include "gif_writer.h"
#include "panels_support.h"
#include "player/panels/gif_static.h"
#include "test_support.h"

using namespace tevalo::panels;
using gif_test::GifWriter;

namespace {

QByteArray SampleNamed(const std::string& name) {
  for (const auto& s : gif_test::Samples())
    if (name == s.name) return s.bytes;
  ADD_FAILURE() << "no sample " << name;
  return {};
}

class GifStaticTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetGifResolver([](unsigned id) {
      if (id >= 505 && id <= 507) return gif_test::PlayerAnimation(id);
      return QByteArray();
    });
    gif.move(30, 20);
    gif.show();
  }
  void TearDown() override { SetGifResolver({}); }
  CGifStatic gif;
};

TEST_F(GifStaticTest, DrawBeforeLoadDrawsNothing) {
  EXPECT_FALSE(gif.Draw());
  EXPECT_FALSE(gif.Animating());
  EXPECT_FALSE(gif.LoadFromResource(999));
  EXPECT_FALSE(gif.Draw());
}

TEST_F(GifStaticTest, StillPictureIsDrawnAtOnce) {
  ASSERT_TRUE(gif.Load(SampleNamed("still")));
  EXPECT_EQ(gif.size(), QSize(16, 12));
  EXPECT_EQ(gif.pos(), QPoint(30, 20));  // resized, not moved
  EXPECT_TRUE(gif.Draw());
  EXPECT_FALSE(gif.Animating());
  EXPECT_EQ(Snapshot(&gif).pixelColor(8, 6), QColor(Qt::red));
  ASSERT_TRUE(gif.Load(SampleNamed("png")));
  EXPECT_TRUE(gif.Draw());
  EXPECT_EQ(Snapshot(&gif).pixelColor(19, 9), QColor(Qt::darkCyan));
}

TEST_F(GifStaticTest, FramesFollowOnTheTimerWithTheirDelays) {
  ASSERT_TRUE(gif.LoadFromResource(507));
  EXPECT_EQ(gif.size(), QSize(120, 75));
  EXPECT_FALSE(gif.Draw());  // an animation reports false and runs
  EXPECT_TRUE(gif.Animating());
  EXPECT_EQ(gif.ArmedDelayMs(), 500);
  for (int i = 1; i < 12; ++i) {
    gif.OnFrameTimer();
    EXPECT_EQ(gif.Animation().CurrentFrame(), size_t(i));
    EXPECT_EQ(gif.ArmedDelayMs(), 100);
  }
  gif.OnFrameTimer();
  EXPECT_EQ(gif.Animation().CurrentFrame(), 0u);
  EXPECT_EQ(gif.ArmedDelayMs(), 500);
}

TEST_F(GifStaticTest, RealTimerRunsThroughEveryFrame) {
  ASSERT_TRUE(gif.LoadFromResource(507));
  gif.Draw();
  size_t highest = 0;
  ASSERT_TRUE(panels_test::WaitFor(
      [&] {
        highest = std::max(highest, gif.Animation().CurrentFrame());
        return highest == 11 && gif.Animation().CurrentFrame() == 0;
      },
      30000));
}

TEST_F(GifStaticTest, StopActsAtOnceAndLoadReplacesARunningAnimation) {
  ASSERT_TRUE(gif.LoadFromResource(506));
  gif.Draw();
  gif.OnFrameTimer();
  const QImage shown = Snapshot(&gif);
  gif.Stop();
  EXPECT_FALSE(gif.Animating());
  EXPECT_EQ(Snapshot(&gif), shown);  // the canvas keeps its picture

  gif.Draw();
  ASSERT_TRUE(gif.Animating());
  ASSERT_TRUE(gif.LoadFromResource(505));  // stops the running one before anything is replaced
  EXPECT_FALSE(gif.Animating());
  EXPECT_EQ(gif.Animation().Frames().size(), 2u);
  EXPECT_EQ(gif.Animation().CurrentFrame(), 0u);
  gif.Draw();
  EXPECT_EQ(gif.ArmedDelayMs(), 550);

  EXPECT_FALSE(gif.Load(QByteArray("GIF89a broken")));  // a failed load leaves nothing behind
  EXPECT_FALSE(gif.Animating());
  EXPECT_FALSE(gif.Draw());
}

TEST_F(GifStaticTest, PlacementInTheMainWindow) {
  EXPECT_EQ(AnimationPlacement(QSize(346, 380)), QRect(113, 123, 120, 75));
  EXPECT_EQ(AnimationPlacement(QSize(1920, 1080)), QRect(900, 473, 120, 75));
}

TEST_F(GifStaticTest, ScreenshotOfEveryFrame) {
  constexpr int kPerRow = 6;
  constexpr int kGap = 6;
  const unsigned ids[] = {505, 506, 507};
  int rows = 0;
  for (unsigned id : ids) rows += (id == 507 ? 2 : 1);
  QImage sheet(kPerRow * (120 + kGap) + kGap, rows * (75 + kGap) + kGap, QImage::Format_RGB32);
  sheet.fill(QColor(0x1b, 0x1d, 0x22));
  QPainter painter(&sheet);
  int row = 0;
  for (unsigned id : ids) {
    ASSERT_TRUE(gif.LoadFromResource(id));
    gif.Draw();
    const size_t frames = gif.Animation().Frames().size();
    for (size_t i = 0; i < frames; ++i) {
      if (i > 0) gif.OnFrameTimer();
      const int x = kGap + int(i % kPerRow) * (120 + kGap);
      const int y = kGap + (row + int(i / kPerRow)) * (75 + kGap);
      painter.drawImage(x, y, Snapshot(&gif));
    }
    row += int((frames + kPerRow - 1) / kPerRow);
    gif.Stop();
  }
  painter.end();
  panels_test::SaveImage(sheet, "gif_frames");
}

}  // namespace
