#include "controls/hover_button.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <memory>

namespace {
const QColor kParent(0, 0, 200);
const std::vector<QColor> kFrames = {QColor(10, 10, 10), QColor(200, 0, 0), QColor(0, 200, 0),
                                     QColor(200, 200, 0)};

enum : unsigned { kStrip3 = 100, kStrip4 = 101, kWide = 102, kOdd = 103 };

struct Fixture : ::testing::Test {
  void SetUp() override {
    RegisterBitmap(kStrip3, MakeStrip({kFrames[0], kFrames[1], kFrames[2]}, 30, 20));
    RegisterBitmap(kStrip4, MakeStrip(kFrames, 30, 20));
    RegisterBitmap(kWide, MakeStrip({kFrames[0], kFrames[1], kFrames[2]}, 30, 20));
    QImage odd(100, 10, QImage::Format_RGB32);
    odd.fill(Qt::white);
    RegisterBitmap(kOdd, odd);
    parent = std::make_unique<QWidget>();
    parent->setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, kParent);
    parent->setPalette(pal);
    parent->resize(120, 40);
  }
  // Colour of the drawn frame (away from the key corner) and of the key corner.
  std::pair<QColor, QColor> Drawn(QWidget* button) {
    const QImage img = Snapshot(parent.get());
    const QPoint at = button->pos();
    return {img.pixelColor(at + QPoint(15, 10)), img.pixelColor(at + QPoint(1, 1))};
  }
  void Hover(CHoverButton* b) {
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), b->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    // The hover shows once the button's 1 ms timer has run, which a busy machine can delay.
    ASSERT_TRUE(WaitFor([b] { return b->IsHover(); }));
  }
  std::unique_ptr<QWidget> parent;
};

using Buttons = Fixture;

TEST_F(Buttons, StripSizeRules) {
  struct Case {
    unsigned id;
    bool whole;
    bool four;
    QSize size;
  } cases[] = {
      {kWide, false, false, {30, 20}},
      {kWide, true, false, {90, 20}},
      {kOdd, false, false, {33, 10}},
      {kOdd, false, true, {25, 10}},
  };
  for (const auto& c : cases) {
    if (c.four) {
      CHoverButtonEx b(parent.get());
      ASSERT_EQ(b.LoadBitmapW(c.id), 1);
      EXPECT_EQ(b.size(), c.size);
    } else {
      CHoverButton b(parent.get());
      ASSERT_EQ(b.LoadBitmapW(c.id, c.whole), 1);
      EXPECT_EQ(b.size(), c.size) << c.id << " whole " << c.whole;
      EXPECT_EQ(QSize(b.FrameWidth(), b.FrameHeight()), c.size);
    }
  }
}

TEST_F(Buttons, FailedLoadKeepsTheStrip) {
  CHoverButton b(parent.get());
  ASSERT_EQ(b.LoadBitmapW(kStrip3), 1);
  EXPECT_EQ(b.LoadBitmapW(999), 0);
  EXPECT_EQ(b.size(), QSize(30, 20));
  parent->show();
  EXPECT_EQ(Drawn(&b).first, kFrames[0]);
}

TEST_F(Buttons, HoverButtonFramesAndTransparency) {
  auto* b = new CHoverButton(parent.get(), 1039);
  b->move(10, 10);
  b->LoadBitmapW(kStrip3);
  parent->show();
  auto [frame, key] = Drawn(b);
  EXPECT_EQ(frame, kFrames[0]);
  EXPECT_EQ(key, kParent) << "magenta shows the parent through a hover button";

  Hover(b);
  EXPECT_TRUE(b->IsHover());
  EXPECT_EQ(Drawn(b).first, kFrames[2]);

  b->setDown(true);
  EXPECT_EQ(Drawn(b).first, kFrames[1]);
  // The latch keeps the pressed picture while the control redraws unselected with the button held.
  b->setDown(false);
  EXPECT_EQ(Drawn(b).first, kFrames[1]);
  // Leaving clears hover and latch.
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(b, &leave);
  EXPECT_FALSE(b->IsPressedLatch());
  EXPECT_EQ(Drawn(b).first, kFrames[0]);
  SaveScreenshot(parent.get(), "ostrellib-hover-button");
}

TEST_F(Buttons, ReleaseOverTheButtonShowsHover) {
  auto* b = new CHoverButton(parent.get());
  b->LoadBitmapW(kStrip3);
  parent->show();
  int clicks = 0;
  QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
  QTest::mousePress(b, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(Drawn(b).first, kFrames[1]);
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->IsHover());
  EXPECT_FALSE(b->IsPressedLatch());
  EXPECT_EQ(Drawn(b).first, kFrames[2]);
}

TEST_F(Buttons, KeyboardPressDoesNotLeaveTheLatchStuck) {
  auto* b = new CHoverButton(parent.get());
  b->LoadBitmapW(kStrip3);
  parent->show();
  b->setFocus();
  QTest::keyPress(b, Qt::Key_Space);
  EXPECT_EQ(Drawn(b).first, kFrames[1]);
  QTest::keyRelease(b, Qt::Key_Space);
  EXPECT_FALSE(b->IsPressedLatch());
  EXPECT_EQ(Drawn(b).first, kFrames[0]);
}

TEST_F(Buttons, HideModeAlwaysDrawsFrameZero) {
  auto* b = new CHoverButton(parent.get());
  b->LoadBitmapW(kStrip3);
  b->setHideButton(true);
  parent->show();
  Hover(b);
  EXPECT_EQ(Drawn(b).first, kFrames[0]);
  b->setDown(true);
  EXPECT_EQ(Drawn(b).first, kFrames[0]);
  b->setDown(false);
  b->setHideButton(false);
  EXPECT_EQ(b->CurrentFrame(), 2) << "hide mode off takes effect at the next repaint";
}

TEST_F(Buttons, WholeBitmapShowsTheWholePictureInEveryState) {
  auto* b = new CHoverButton(parent.get());
  b->LoadBitmapW(kWide, true);
  parent->show();
  Hover(b);
  b->setDown(true);
  const QImage img = Snapshot(parent.get());
  EXPECT_EQ(img.pixelColor(15, 10), kFrames[0]);
  EXPECT_EQ(img.pixelColor(45, 10), kFrames[1]) << "the second third of the picture is drawn too";
}

TEST_F(Buttons, HoverButtonExLockFrame) {
  auto* b = new CHoverButtonEx(parent.get());
  b->LoadBitmapW(kStrip4);
  parent->show();
  b->SetLock(true);
  EXPECT_EQ(Drawn(b).first, kFrames[3]);
  EXPECT_EQ(Drawn(b).second, kParent);
  b->SetLock(false);
  b->setDown(true);
  EXPECT_EQ(Drawn(b).first, kFrames[1]);
}

TEST_F(Buttons, TogglesAreOpaqueAndFollowTheirState) {
  auto* t = new CToggleButton(parent.get());
  t->LoadBitmapW(kStrip3);
  parent->show();
  auto [frame, key] = Drawn(t);
  EXPECT_EQ(frame, kFrames[0]);
  EXPECT_EQ(key, QColor(255, 0, 255)) << "toggles draw the key colour as it is";
  Hover(t);
  EXPECT_EQ(Drawn(t).first, kFrames[2]);
  t->SetToggle();
  EXPECT_EQ(Drawn(t).first, kFrames[1]);
  t->SetCheckState(false);
  EXPECT_EQ(Drawn(t).first, kFrames[2]);
  SaveScreenshot(parent.get(), "ostrellib-toggle-button");
}

TEST_F(Buttons, ToggleExCheckedHoverFlag) {
  struct Case {
    bool flag, checked, hover, locked;
    int frame;
  } cases[] = {
      {false, false, false, false, 0}, {false, false, true, false, 2}, {false, true, false, false, 1},
      {false, true, true, false, 1},   {true, true, true, false, 3},   {true, true, false, false, 1},
      {false, false, false, true, 3},
  };
  for (const auto& c : cases) {
    auto* t = new CToggleButtonEx(parent.get());
    t->LoadBitmapW(kStrip4, c.flag);
    t->SetCheckState(c.checked);
    t->SetLock(c.locked);
    parent->show();
    t->show();
    if (c.hover) Hover(t);
    EXPECT_EQ(t->CurrentFrame(), c.frame) << c.flag << c.checked << c.hover << c.locked;
    EXPECT_EQ(Drawn(t).first, kFrames[c.frame]);
    delete t;
  }
}

TEST_F(Buttons, TooltipTextIsReplacedAndEmptyTextIgnored) {
  CHoverButton b(parent.get());
  b.LoadBitmapW(kStrip3);
  QString first("録画"), second("停止");
  b.SetToolTipText(&first, true);
  EXPECT_EQ(b.toolTip(), first);
  b.SetToolTipText(&second, true);
  EXPECT_EQ(b.toolTip(), second);
  b.SetToolTipText(static_cast<const QString*>(nullptr), true);
  b.SetToolTipText(QString(), true);
  b.SetToolTipText(12345, true);  // no such string
  EXPECT_EQ(b.toolTip(), second);
}

TEST_F(Buttons, EnableStateIsRecorded) {
  CHoverButton b(parent.get());
  b.setEnabled(false);
  EXPECT_FALSE(b.IsEnabledState());
  b.setEnabled(true);
  EXPECT_TRUE(b.IsEnabledState());
}
}  // namespace
