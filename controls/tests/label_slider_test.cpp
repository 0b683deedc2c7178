#include "controls/label.h"
#include "controls/slider_ctrl.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <QDesktopServices>
#include <QTest>
#include <QUrl>

namespace {

TEST(StaticText, StyleToDrawFlags) {
  struct Case {
    uint32_t style;
    uint32_t flags;
  } cases[] = {
      {SS_LEFT, DT_WORDBREAK},
      {SS_RIGHT, DT_RIGHT | DT_WORDBREAK},
      {SS_CENTER, DT_CENTER | DT_WORDBREAK},
      {SS_CENTERIMAGE, DT_VCENTER | DT_SINGLELINE},
      {SS_NOPREFIX, DT_NOPREFIX | DT_WORDBREAK},
      {SS_ENDELLIPSIS, DT_WORD_ELLIPSIS | DT_END_ELLIPSIS},
      {SS_PATHELLIPSIS, DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS},
      {SS_WORDELLIPSIS, DT_WORD_ELLIPSIS | DT_END_ELLIPSIS | DT_PATH_ELLIPSIS},
      {0x000C, 0},  // a type with the 0x0C bits set does not wrap
      {SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX},
  };
  for (const auto& c : cases) EXPECT_EQ(DrawTextFlagsForStaticStyle(c.style), c.flags) << std::hex << c.style;
}

TEST(Label, SettersChainAndFontNameIsCut) {
  CLabel label;
  CLabel& same = label.SetText("abc").SetTextColor(RGB(1, 2, 3)).SetFontBold(true).SetFontSize(14);
  EXPECT_EQ(&same, &label);
  EXPECT_EQ(label.GetWindowText(), "abc");
  EXPECT_EQ(label.TextColor(), RGB(1, 2, 3));
  EXPECT_EQ(label.Font().weight(), QFont::Bold);
  EXPECT_EQ(label.Font().pixelSize(), 14);
  label.SetFontName(QString(40, QChar('x')));
  EXPECT_EQ(label.FaceName(), QString(31, QChar('x')));
}

TEST(Label, TextFlashCycleAndRestore) {
  CLabel label;
  label.SetText("REC");
  label.FlashText(true);
  EXPECT_TRUE(label.FlashTimerActive());
  const char* expected[] = {"", "REC", "", "REC", ""};
  for (const char* text : expected) {
    label.OnTimer(1);
    EXPECT_EQ(label.GetWindowText(), text);
  }
  label.FlashText(false);  // stopped in the blank phase
  EXPECT_FALSE(label.FlashTimerActive());
  EXPECT_EQ(label.GetWindowText(), "REC");
  // A later stop must not bring back an old text.
  label.SetText("new");
  label.FlashText(false);
  EXPECT_EQ(label.GetWindowText(), "new");
  // Switching to a background flash mid-blank gives the text back too.
  label.FlashText(true);
  label.OnTimer(1);
  label.FlashBackground(true);
  EXPECT_EQ(label.GetWindowText(), "new");
}

TEST(Label, BackgroundFlashAlternatesAndRestores) {
  CLabel label;
  label.resize(40, 16);
  label.SetBkColor(RGB(255, 0, 0));
  EXPECT_EQ(label.CurrentBackground(), RGB(255, 0, 0));
  label.FlashBackground(true);
  const COLORREF flash = label.CurrentBackground();
  EXPECT_NE(flash, RGB(255, 0, 0)) << "the flash brush comes first";
  label.OnTimer(1);
  EXPECT_EQ(label.CurrentBackground(), RGB(255, 0, 0));
  label.OnTimer(1);
  EXPECT_EQ(label.CurrentBackground(), flash);
  label.FlashBackground(false);
  EXPECT_EQ(label.CurrentBackground(), RGB(255, 0, 0));
  EXPECT_EQ(Snapshot(&label).pixelColor(38, 14), QColor(255, 0, 0)) << "paints its own background";
}

TEST(Label, PaintsWithItsOwnColoursAndLinkOpensText) {
  QWidget parent;
  parent.resize(200, 40);
  auto* label = new CLabel(&parent);
  label->resize(200, 40);
  label->SetText("https://example.invalid/").SetTextColor(RGB(0, 0, 255)).SetBkColor(RGB(255, 255, 0));
  label->SetFontSize(20).SetFontBold(true);
  parent.show();
  const QImage img = Snapshot(label);
  bool blue = false;
  for (int y = 0; y < img.height() && !blue; ++y)
    for (int x = 0; x < img.width() && !blue; ++x) blue = img.pixelColor(x, y) == QColor(0, 0, 255);
  EXPECT_TRUE(blue) << "text in the label's own colour";
  EXPECT_EQ(img.pixelColor(199, 39), QColor(255, 255, 0));
  SaveScreenshot(label, "ostrellib-label");
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QUrl opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened = url; }
};

TEST(Label, ClickOpensTheTextOnlyInLinkMode) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("tevalo-test", &catcher, "open");
  CLabel label;
  label.resize(100, 20);
  label.SetText("tevalo-test://page");
  label.show();
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_TRUE(catcher.opened.isEmpty());
  label.SetLink(true);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(catcher.opened, QUrl("tevalo-test://page"));
  QDesktopServices::unsetUrlHandler("tevalo-test");
}

TEST(TransparentStatic, LeavesTheParentVisible) {
  QWidget parent;
  parent.setAutoFillBackground(true);
  QPalette pal;
  pal.setColor(QPalette::Window, QColor(200, 0, 0));
  parent.setPalette(pal);
  parent.resize(120, 30);
  auto* text = new CTransparentStatic(&parent);
  text->resize(120, 30);
  text->SetWindowText("1seg");
  parent.show();
  EXPECT_EQ(Snapshot(&parent).pixelColor(110, 25), QColor(200, 0, 0));
  SaveScreenshot(&parent, "ostrellib-transparent-static");
}

TEST(Slider, EdgeAndThumbGeometry) {
  const SliderGeometry h = ComputeSliderGeometry({200, 30}, Qt::Horizontal, 0, 100, 0);
  EXPECT_EQ(h.edge.height(), h.channel.height() + 4);
  EXPECT_EQ(h.edge.width(), h.channel.width());
  EXPECT_EQ(h.thumb.center().x(), h.channel.left());
  const SliderGeometry hMax = ComputeSliderGeometry({200, 30}, Qt::Horizontal, 0, 100, 100);
  EXPECT_EQ(hMax.thumb.center().x(), hMax.channel.right() + 1);
  const SliderGeometry v = ComputeSliderGeometry({30, 200}, Qt::Vertical, 0, 100, 50);
  EXPECT_EQ(v.edge.width(), v.channel.width() + 2);
  EXPECT_EQ(v.edge.height(), v.channel.height());
  EXPECT_NEAR(v.thumb.center().y(), v.channel.center().y(), 1);
  // An empty range keeps the thumb at the start instead of dividing by zero.
  const SliderGeometry e = ComputeSliderGeometry({200, 30}, Qt::Horizontal, 5, 5, 5);
  EXPECT_EQ(e.thumb.center().x(), e.channel.left());
}

TEST(Slider, ThumbColourZeroMeansSystemColour) {
  COstrelSliderCtrl slider;
  const QColor systemNormal = slider.ThumbColor(false);
  slider.SetThumbColors(0, RGB(255, 0, 0));
  EXPECT_EQ(slider.ThumbColor(false), systemNormal);
  EXPECT_EQ(slider.ThumbColor(true), QColor(255, 0, 0));
  slider.SetThumbColors(RGB(0, 128, 0), 0);
  EXPECT_EQ(slider.ThumbColor(false), QColor(0, 128, 0));
}

TEST(Slider, DragMovesTheValue) {
  QWidget parent;
  parent.setAutoFillBackground(true);
  QPalette pal;
  pal.setColor(QPalette::Window, QColor(0, 0, 120));
  parent.setPalette(pal);
  parent.resize(216, 30);
  auto* slider = new COstrelSliderCtrl(Qt::Horizontal, &parent);
  slider->resize(216, 30);
  slider->setRange(0, 200);
  slider->SetThumbColors(RGB(255, 255, 255), RGB(255, 128, 0));
  parent.show();
  const QPoint thumb = slider->Geometry().thumb.center();
  QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
  EXPECT_TRUE(slider->isSliderDown());
  QTest::mouseMove(slider, QPoint(108, 15));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(108, 15));
  EXPECT_EQ(slider->value(), 100);
  EXPECT_EQ(Snapshot(&parent).pixelColor(2, 2), QColor(0, 0, 120)) << "the parent shows through";
  SaveScreenshot(&parent, "ostrellib-slider");
}
}  // namespace

#include "label_slider_test.moc"
