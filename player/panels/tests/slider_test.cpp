// The bitmap slider: loading, drawing, mouse and keys, and the messages its parent gets.
#include <gtest/gtest.h>
#include <QTest>

#include "panels_support.h"
#include "player/panels/skin_slider.h"
#include "test_support.h"

using namespace tevalo::panels;
using panels_test::SliderParent;

namespace {

const QColor kActiveLine(0x3d, 0x8b, 0xfd);
const QColor kTrackLine(0x4a, 0x50, 0x5a);
const QColor kThumbFace(0xe6, 0xe9, 0xef);

class SkinSliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panels_test::RegisterSliderBitmaps();
    parent.resize(400, 100);
    seek = new CSkinSlider(&parent, 1090);
    seek->move(10, 10);
    ASSERT_TRUE(seek->SetTrackBitmaps(313, 411, 460, false, kKeyFromPixel, 0, 0));
    ASSERT_TRUE(seek->SetThumbBitmaps(412, 0, false, kKeyFromPixel, 0, 0));
    seek->m_nLeftMargin = seek->m_nTopMargin = seek->m_nRightMargin = 2;
    seek->SetRange(0, 1000);
    volume = new CSkinSlider(&parent, 1060);
    volume->move(10, 50);
    ASSERT_TRUE(volume->SetTrackBitmaps(59, 457, 459, false, kKeyFromPixel, 0, 0));
    ASSERT_TRUE(volume->SetThumbBitmaps(458, 0, false, kKeyFromPixel, 0, 0));
    volume->SetRange(0, 900);
    parent.show();
  }

  static void Press(CSkinSlider* s, int x) { QTest::mousePress(s, Qt::LeftButton, {}, QPoint(x, 7)); }
  static void Move(CSkinSlider* s, int x) {
    QMouseEvent e(QEvent::MouseMove, QPointF(x, 7), s->mapToGlobal(QPointF(x, 7)), Qt::NoButton,
                  Qt::LeftButton, {});
    QApplication::sendEvent(s, &e);
  }
  static void Release(CSkinSlider* s, int x) { QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(x, 7)); }

  using M = SliderParent::Message;
  static M Moving(int id, int pos) { return {WM_SKINSLIDER_MOVING, id, pos}; }
  static M Moved(int id, int pos) { return {WM_SKINSLIDER_MOVED, id, pos}; }
  void ExpectMessages(const std::vector<M>& want) {
    const auto got = parent.Take();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].message, want[i].message) << i;
      EXPECT_EQ(got[i].controlId, want[i].controlId) << i;
      EXPECT_EQ(got[i].position, want[i].position) << i;
    }
  }

  SliderParent parent;
  CSkinSlider* seek = nullptr;
  CSkinSlider* volume = nullptr;
};

TEST_F(SkinSliderTest, LoadingSizesTheControlAndPlacesTheThumb) {
  EXPECT_EQ(seek->size(), QSize(313, 14));  // the bitmap is wider; the width argument counts
  EXPECT_EQ(volume->size(), QSize(59, 10));
  seek->SetPos(500);
  EXPECT_EQ(seek->ThumbRect(), QRect(151, 2, 10, 14));
  const QImage picture = Snapshot(seek);
  EXPECT_EQ(picture.pixelColor(100, 7), kActiveLine);
  EXPECT_EQ(picture.pixelColor(250, 7), kTrackLine);
  EXPECT_EQ(picture.pixelColor(156, 8), kThumbFace);
}

TEST_F(SkinSliderTest, FarClickJumpsAndPostsMoving) {
  seek->SetPos(500);
  Press(seek, 250);
  EXPECT_TRUE(seek->IsDragging());
  EXPECT_EQ(seek->GetPos(), 812);  // (250 - 7) / 299 * 1000
  ExpectMessages({Moving(1090, 812)});
  Release(seek, 250);
  EXPECT_FALSE(seek->IsDragging());
  ExpectMessages({Moved(1090, 812)});
}

TEST_F(SkinSliderTest, ClickOnTheThumbWaitsForAMove) {
  seek->SetPos(500);
  Press(seek, 158);  // within half a thumb of the centre at 156: the hold is kept
  ExpectMessages({});
  EXPECT_EQ(seek->GetPos(), 500);
  Move(seek, 170);  // centre to 168
  EXPECT_EQ(seek->GetPos(), 538);
  ExpectMessages({Moving(1090, 538)});
  Release(seek, 170);
  ExpectMessages({Moved(1090, 538)});
  // A release without any change still reports.
  Press(seek, seek->ThumbRect().center().x());
  Release(seek, seek->ThumbRect().center().x());
  ExpectMessages({Moved(1090, 538)});
}

TEST_F(SkinSliderTest, DragsPastTheEndsStopSilently) {
  struct Case {
    CSkinSlider* slider;
    int id;
    int max;
  } cases[] = {{seek, 1090, 1000}, {volume, 1060, 900}};  // the volume thumb is 9 wide
  for (const Case& c : cases) {
    c.slider->SetPos(c.max / 2);
    const int centre = c.slider->ThumbRect().center().x();
    Press(c.slider, centre);
    Move(c.slider, -40);
    Move(c.slider, -80);
    ExpectMessages({Moving(c.id, 0)});
    Move(c.slider, 400);
    Move(c.slider, 500);
    Move(c.slider, 501);
    ExpectMessages({Moving(c.id, c.max)});
    EXPECT_EQ(c.slider->GetPos(), c.max);
    Release(c.slider, 500);
    ExpectMessages({Moved(c.id, c.max)});
  }
}

TEST_F(SkinSliderTest, MessagesCarryThePositionAtPostingTime) {
  seek->SetPos(0);
  Press(seek, 250);
  seek->SetPos(3);
  ExpectMessages({Moving(1090, 812)});
  Release(seek, 250);
}

TEST_F(SkinSliderTest, ArrowKeysStepByTenAndReport) {
  seek->SetPos(0);
  QTest::keyClick(seek, Qt::Key_Left);
  EXPECT_EQ(seek->GetPos(), 0);
  ExpectMessages({Moved(1090, 0)});  // also at the minimum
  QTest::keyClick(seek, Qt::Key_Right);
  QTest::keyClick(seek, Qt::Key_Right);
  ExpectMessages({Moved(1090, 10), Moved(1090, 20)});
  seek->SetPos(995);
  QTest::keyClick(seek, Qt::Key_Right);
  ExpectMessages({Moved(1090, 1000)});
  QTest::keyClick(seek, Qt::Key_Up);
  ExpectMessages({});
}

TEST_F(SkinSliderTest, SetPosClampsAndTheMinimumWins) {
  struct Case {
    int min, max, pos, stored;
  } cases[] = {
      {0, 1000, 5000, 1000}, {0, 1000, -5, 0}, {0, 1000, 42, 42}, {600, 500, 550, 600}, {7, 7, 9, 7}};
  for (const Case& c : cases) {
    seek->SetRange(c.min, c.max);
    seek->SetPos(c.pos);
    EXPECT_EQ(seek->GetPos(), c.stored) << c.min << ".." << c.max << " " << c.pos;
  }
  ExpectMessages({});
}

TEST_F(SkinSliderTest, EmptyRangePinsTheThumb) {
  seek->SetRange(0, 0);  // a duration that reads 1 makes this range
  seek->SetPos(0);
  EXPECT_EQ(seek->ThumbRect().x(), 2);
  Press(seek, 250);
  Move(seek, 300);
  Release(seek, 300);
  EXPECT_EQ(seek->GetPos(), 0);
  ExpectMessages({Moved(1090, 0)});
}

TEST_F(SkinSliderTest, DisabledSliderShowsNoThumbAndTakesNoInput) {
  seek->SetPos(500);
  seek->EnableSlider(false);
  EXPECT_TRUE(seek->ThumbRect().isNull());
  const QImage picture = Snapshot(seek);
  EXPECT_EQ(panels_test::CountColour(picture, picture.rect(), kThumbFace), 0);
  EXPECT_EQ(panels_test::CountColour(picture, picture.rect(), kActiveLine), 0);  // the plain track only
  Press(seek, 250);
  Release(seek, 250);
  QTest::keyClick(seek, Qt::Key_Left);
  EXPECT_EQ(seek->GetPos(), 500);
  ExpectMessages({});

  // Disabling during a drag ends it; nothing more is reported.
  seek->EnableSlider(true);
  Press(seek, 156);
  EXPECT_TRUE(seek->IsDragging());
  seek->EnableSlider(false);
  EXPECT_FALSE(seek->IsDragging());
  Move(seek, 250);
  Release(seek, 250);
  seek->EnableSlider(true);
  Move(seek, 250);
  EXPECT_EQ(seek->GetPos(), 500);
  ExpectMessages({});
}

TEST_F(SkinSliderTest, FailedLoadsLeaveTheGroupUnloaded) {
  EXPECT_FALSE(seek->SetTrackBitmaps(313, 999, 0, false, kKeyFromPixel, 0, 0));
  EXPECT_FALSE(seek->TrackLoaded());
  ASSERT_TRUE(seek->SetTrackBitmaps(313, 411, 460, false, kKeyFromPixel, 0, 0));
  EXPECT_FALSE(seek->SetTrackBitmaps(313, 411, 999, false, kKeyFromPixel, 0, 0));
  EXPECT_FALSE(seek->TrackLoaded());
  EXPECT_FALSE(seek->SetThumbBitmaps(999, 0, false, kKeyFromPixel, 0, 0));
  EXPECT_FALSE(seek->ThumbLoaded());
  EXPECT_TRUE(seek->ThumbRect().isNull());
  // Identifier 0 unloads on purpose and succeeds.
  EXPECT_TRUE(seek->SetTrackBitmaps(0, 0, 0, false, kKeyFromPixel, 0, 0));
  EXPECT_FALSE(seek->TrackLoaded());
  Snapshot(seek);  // paints without bitmaps
}

TEST_F(SkinSliderTest, TransparentThumbLetsTheTrackShowThroughItsKeyColour) {
  RegisterBitmap(700, MakeStrip({QColor(0xe6, 0xe9, 0xef)}, 10, 14));  // magenta 4 x 4 top-left corner
  ASSERT_TRUE(seek->SetThumbBitmaps(700, 0, true, kKeyFromPixel, 0, 0));
  seek->SetPos(500);
  const QImage picture = Snapshot(seek);
  const QRect thumb = seek->ThumbRect();
  EXPECT_EQ(panels_test::CountColour(picture, thumb, QColor(255, 0, 255)), 0);
  EXPECT_EQ(picture.pixelColor(thumb.topLeft()), QColor(0x1b, 0x1d, 0x22));
  EXPECT_EQ(picture.pixelColor(thumb.center()), kThumbFace);
}

TEST_F(SkinSliderTest, VerticalSliderRunsDown) {
  QImage track(14, 120, QImage::Format_RGB32);
  track.fill(kTrackLine);
  RegisterBitmap(701, track);
  CSkinSlider vertical(&parent, 7);
  vertical.SetVertical(true);
  ASSERT_TRUE(vertical.SetTrackBitmaps(14, 701, 0, false, kKeyFromPixel, 0, 0));
  ASSERT_TRUE(vertical.SetThumbBitmaps(412, 0, false, kKeyFromPixel, 0, 0));
  vertical.m_nLeftMargin = 0;
  vertical.SetRange(0, 100);
  vertical.SetPos(50);
  vertical.show();
  EXPECT_EQ(vertical.ThumbRect(), QRect(0, 53, 10, 14));  // centre 0 + 50% of 106 + 7 = 60
  QTest::mousePress(&vertical, Qt::LeftButton, {}, QPoint(5, 113));
  EXPECT_EQ(vertical.GetPos(), 100);
  QTest::mouseRelease(&vertical, Qt::LeftButton, {}, QPoint(5, 113));
  ExpectMessages({Moving(7, 100), Moved(7, 100)});
}

TEST_F(SkinSliderTest, Screenshot) {
  QWidget panel;
  panel.setFixedSize(340, 128);
  panels_test::PaintDark(panel);
  struct Row {
    int y;
    int pos;
    bool enabled;
  } rows[] = {{8, 0, true}, {32, 500, true}, {56, 1000, true}, {80, 300, false}};
  for (const Row& r : rows) {
    auto* s = new CSkinSlider(&panel, 1090);
    s->move(13, r.y);
    s->SetTrackBitmaps(313, 411, 460, false, kKeyFromPixel, 0, 0);
    s->SetThumbBitmaps(412, 0, false, kKeyFromPixel, 0, 0);
    s->m_nLeftMargin = s->m_nTopMargin = s->m_nRightMargin = 2;
    s->SetRange(0, 1000);
    s->SetPos(r.pos);
    s->EnableSlider(r.enabled);
  }
  auto* v = new CSkinSlider(&panel, 1060);
  v->move(13, 108);
  v->SetTrackBitmaps(59, 457, 459, false, kKeyFromPixel, 0, 0);
  v->SetThumbBitmaps(458, 0, false, kKeyFromPixel, 0, 0);
  v->SetRange(0, 900);
  v->SetPos(600);
  SaveScreenshot(&panel, "skin_slider");
}

}  // namespace
