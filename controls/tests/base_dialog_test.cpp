#include "controls/base_dialog.h"
#include "controls/hover_button.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>

namespace {

class Panel : public COstrelBaseDialog {
 public:
  Panel() : COstrelBaseDialog(401u) { resize(160, 100); }
  int snapX = -1;  // when set, the move hook pins the left edge there
  bool painted = false;
  std::vector<QPoint> proposals;

 protected:
  QPoint OnMoving(QPoint proposed) override {
    proposals.push_back(proposed);
    if (snapX >= 0) proposed.setX(snapX);
    return proposed;
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(30, 30, 30));
    p.fillRect(0, 0, 20, 20, QColor(0, 255, 0));  // key-coloured corner
  }
};

TEST(BaseDialog, StartsHiddenCentredAndTopmost) {
  Panel panel;
  ASSERT_TRUE(panel.Create());
  EXPECT_FALSE(panel.isVisible());
  EXPECT_EQ(panel.TemplateId(), 401u);
  EXPECT_TRUE(panel.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(panel.windowFlags() & Qt::FramelessWindowHint);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_NEAR(panel.frameGeometry().center().x(), screen.center().x(), 1);
  EXPECT_NEAR(panel.frameGeometry().center().y(), screen.center().y(), 1);
}

TEST(BaseDialog, PressOnTheSurfaceDragsByTheMouseOffset) {
  Panel panel;
  panel.Create();
  panel.move(100, 100);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, 60000));
  const QPoint start = panel.pos();
  QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(50, 50));
  QMouseEvent move(QEvent::MouseMove, QPointF(80, 70), panel.mapToGlobal(QPointF(80, 70)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&panel, &move);
  QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(80, 70));
  EXPECT_EQ(panel.pos(), start + QPoint(30, 20));

  panel.snapX = 7;
  const QPoint before = panel.pos();
  QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(50, 50));
  QMouseEvent move2(QEvent::MouseMove, QPointF(60, 60), panel.mapToGlobal(QPointF(60, 60)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&panel, &move2);
  QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(60, 60));
  EXPECT_EQ(panel.pos(), QPoint(7, before.y() + 10)) << "the move hook decides";
}

TEST(BaseDialog, AHeldWindowIsProposedEachMouseStepAnew) {
  // The hook holds the left edge: each proposal is where the window is, moved by the mouse's step
  // since the last event, so a hook can add up the pull.
  Panel panel;
  panel.Create();
  panel.move(100, 100);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, 60000));
  panel.snapX = 100;
  const QPoint press = panel.mapToGlobal(QPoint(50, 50));
  QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(50, 50));
  for (int step = 1; step <= 3; ++step) {
    const QPoint mouse = press + QPoint(3 * step, step);
    QMouseEvent move(QEvent::MouseMove, QPointF(panel.mapFromGlobal(mouse)), QPointF(mouse), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&panel, &move);
  }
  QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(panel.proposals, (std::vector<QPoint>{{103, 101}, {103, 102}, {103, 103}}));
  EXPECT_EQ(panel.pos(), QPoint(100, 103));
}

TEST(BaseDialog, PressOnAChildButtonDoesNotDrag) {
  RegisterBitmap(300, MakeStrip({Qt::gray, Qt::darkGray, Qt::lightGray}, 20, 20));
  Panel panel;
  auto* button = new CHoverButton(&panel);
  button->LoadBitmapW(300);
  button->move(100, 60);
  panel.Create();
  panel.move(200, 200);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, 60000));
  const QPoint start = panel.pos();
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(15, 15), button->mapToGlobal(QPointF(15, 15)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(button, &move);
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(15, 15));
  EXPECT_EQ(panel.pos(), start);
}

TEST(BaseDialog, ColourKeyCutsTheShape) {
  Panel panel;
  panel.Create();
  EXPECT_TRUE(panel.SetTransparentColor(RGB(0, 255, 0), false)) << "never layered: only redraws";
  EXPECT_TRUE(panel.mask().isEmpty());
  EXPECT_TRUE(panel.SetTransparentColor(RGB(0, 255, 0), true));
  EXPECT_FALSE(panel.mask().contains(QPoint(5, 5)));
  EXPECT_TRUE(panel.mask().contains(QPoint(100, 50)));
  panel.show();
  SaveScreenshot(&panel, "ostrellib-base-dialog");
  EXPECT_TRUE(panel.SetTransparentColor(RGB(0, 255, 0), false));
  EXPECT_TRUE(panel.mask().isEmpty());
}
}  // namespace
