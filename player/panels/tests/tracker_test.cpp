// The rectangle tracker run for real on the offscreen platform, on a window away from the screen's
// origin: the owners pass the press in screen coordinates.
#include <gtest/gtest.h>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "panels_support.h"
#include "player/panels/frame_tracker.h"
#include "test_support.h"

using namespace tevalo::panels;

namespace {

class FrameTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner.setGeometry(300, 200, 346, 380);
    panels_test::PaintDark(owner);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const QRect frame = owner.geometry();
    tracker.SetRect(frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height());
  }

  // Runs the track from a press at `screen`; `during` runs inside the tracker's loop.
  void Track(QPoint screen, const std::function<void()>& during) {
    QTimer::singleShot(0, &owner, during);
    tracker.Track(&owner, screen);
  }
  // The button is held (the owner starts the track from its press), the pointer moves and the button
  // is released, all through the platform as a user's would.
  void PressAt(QPoint screen) {
    QTest::mousePress(owner.windowHandle(), Qt::LeftButton, {}, owner.windowHandle()->mapFromGlobal(screen));
  }
  void MoveTo(QPoint screen) {
    QTest::mouseMove(owner.windowHandle(), owner.windowHandle()->mapFromGlobal(screen));
  }
  void ReleaseAt(QPoint screen) {
    QTest::mouseRelease(owner.windowHandle(), Qt::LeftButton, {},
                        owner.windowHandle()->mapFromGlobal(screen));
  }

  QWidget owner;
  CFrameTracker tracker;
};

TEST_F(FrameTrackerTest, ResizeCornerDragsTheBottomRight) {
  const QPoint corner(300 + 346 - 1, 200 + 380 - 1);
  ASSERT_EQ(tracker.HitTest(corner), kZoneBottomRight);
  QRect outlineDuring;
  Track(corner, [&] {
    PressAt(corner);
    MoveTo(corner + QPoint(20, 10));
    MoveTo(corner + QPoint(54, 40));
    ASSERT_TRUE(tracker.Tracking());
    ASSERT_TRUE(tracker.Outline());
    outlineDuring = tracker.Outline()->geometry();
    EXPECT_TRUE(tracker.Outline()->isVisible());
    EXPECT_TRUE(tracker.Outline()->isWindow());
    // A picture of the screen as the user sees it: the window and the outline following the pointer.
    QImage screen(900, 700, QImage::Format_RGB32);
    screen.fill(QColor(0x5b, 0x6b, 0x7d));
    QPainter p(&screen);
    p.drawImage(owner.geometry().topLeft() - QPoint(200, 100), Snapshot(&owner));
    const QRect band = tracker.Outline()->geometry();
    QWidget* outline = const_cast<QWidget*>(tracker.Outline());
    p.setClipRegion(outline->mask().translated(band.topLeft() - QPoint(200, 100)));
    p.drawImage(band.topLeft() - QPoint(200, 100), outline->grab().toImage());
    p.end();
    panels_test::SaveImage(screen, "tracker");
    ReleaseAt(corner + QPoint(54, 40));
  });
  EXPECT_FALSE(tracker.Tracking());
  EXPECT_EQ(tracker.Outline(), nullptr);
  EXPECT_EQ(tracker.GetRect(), (TrackerRect{300, 200, 300 + 346 + 54, 200 + 380 + 40}));
  EXPECT_EQ(outlineDuring, QRect(300, 200, 346 + 54, 380 + 40));
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(FrameTrackerTest, EscapePutsTheEdgesBack) {
  const QPoint corner(645, 579);
  Track(corner, [&] {
    PressAt(corner);
    MoveTo(corner + QPoint(60, 30));
    MoveTo(corner + QPoint(80, 50));
    EXPECT_EQ(tracker.GetRect(), (TrackerRect{300, 200, 726, 630}));
    QTest::keyClick(&owner, Qt::Key_Escape);
  });
  EXPECT_EQ(tracker.GetRect(), (TrackerRect{300, 200, 646, 580}));
}

TEST_F(FrameTrackerTest, LosingTheGrabPutsTheEdgesBack) {
  QWidget other;
  other.setGeometry(50, 50, 100, 100);
  other.show();
  const QPoint corner(645, 579);
  Track(corner, [&] {
    PressAt(corner);
    MoveTo(corner + QPoint(-40, -30));
    EXPECT_EQ(tracker.GetRect().right, 606);
    other.grabMouse();
    MoveTo(corner + QPoint(-60, -30));  // the next event finds the grab gone
  });
  other.releaseMouse();
  EXPECT_EQ(tracker.GetRect(), (TrackerRect{300, 200, 646, 580}));
  EXPECT_FALSE(tracker.Tracking());
}

TEST_F(FrameTrackerTest, OtherButtonsAndKeysAreSwallowed) {
  int seen = 0;
  struct Counter : QObject {
    int* seen;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::KeyPress || e->type() == QEvent::MouseButtonPress) ++*seen;
      return false;
    }
  } counter;
  counter.seen = &seen;
  owner.installEventFilter(&counter);
  const QPoint edge(300 + 346 - 1, 200 + 190);
  ASSERT_EQ(tracker.HitTest(edge), kZoneRight);
  Track(edge, [&] {
    PressAt(edge);
    QTest::keyClick(&owner, Qt::Key_A);
    QTest::mousePress(owner.windowHandle(), Qt::RightButton, {}, QPoint(100, 100));
    MoveTo(edge + QPoint(-100, 0));
    ReleaseAt(edge + QPoint(-100, 0));
  });
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(tracker.GetRect(), (TrackerRect{300, 200, 546, 580}));
}

}  // namespace
