#include "updater/resources/updater_resources.h"
#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QProgressBar>
#include <set>
#include "controls/font_aliases.h"
#include "controls/resources.h"
#include "skin_checks.h"
#include "skin_preview.h"

namespace {

class UpdaterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = StartSkinTestApplication("updater_resources_test");
    InstallUpdaterResources();
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new UpdaterEnvironment);

constexpr COLORREF kGreen = RGB(0, 255, 0);

// Where the question screen puts its controls (client pixels).
constexpr QRect kStatus(17, 32, 312, 16);
constexpr QRect kProgress(18, 55, 311, 9);
constexpr QRect kUpdateButton(112, 85, 38, 38);
constexpr QRect kCancelButton(194, 85, 38, 38);

TEST(UpdaterSkin, EveryResourceLoadsAtItsSize) {
  constexpr ExpectedSkin expected[] = {
      {129, 347, 133, 1, kGreen},
      {130, 114, 38, 3, kNoKey},
      {131, 114, 38, 3, kNoKey},
      {128, 256, 256, 1, RGB(255, 0, 255)},
  };
  ExpectCatalogMatches(UpdaterSkin(), expected);
  EXPECT_EQ(LoadBitmapResource(129).size(), QSize(347, 133));
  EXPECT_FALSE(UpdaterIcon().isNull());
}

TEST(UpdaterSkin, BackgroundShapeHoldsTheQuestionScreen) {
  const QImage shape = UpdaterSkin().Bitmap(129);
  for (const QRect& r : {kStatus, kProgress, kUpdateButton, kCancelButton})
    EXPECT_EQ(KeyInside(shape, kGreen, r), "") << r.x() << "," << r.y();
}

TEST(UpdaterStrings, TableAsTheDialogShowsIt) {
  struct Case {
    unsigned id;
    const char* text;
  } cases[] = {
      {102, "%1 from %2"},
      {103, "Windows socket initializing failed."},
      {104, "ftp サーバーに\u3000接続します"},
      {109, "ftp サーバーに\u3000接続します"},
      {116, "%1% Update processing..."},
      {118, "%1 of  %2"},
      {121, "%1 min %2 sec"},
      {131, "An error occured while opening the file to be downloaded, Error:%1"},
      {132, "Aborting transfer"},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadStringResource(c.id), QString::fromUtf8(c.text)) << c.id;
  std::set<unsigned> ids;
  for (const StringResource& s : UpdaterStrings()) EXPECT_TRUE(ids.insert(s.id).second) << s.id;
  const std::set<unsigned> expected = {102, 103, 104, 105, 106, 107, 108, 109, 111, 112, 115, 116, 117,
                                       118, 119, 120, 121, 122, 124, 126, 127, 128, 129, 131, 132};
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(LoadStringResource(110), QString());
}

TEST(UpdaterStrings, EveryCharacterIsInTheStatusFont) {
  const QFontMetrics metrics(PointFont(QStringLiteral("ＭＳ ゴシック"), 8));
  for (const StringResource& s : UpdaterStrings())
    for (char32_t c : QString::fromUtf8(s.text).toUcs4()) EXPECT_TRUE(metrics.inFontUcs4(c)) << s.id;
}

TEST(UpdateDialogTemplate, ControlsInDialogUnits) {
  const DialogTemplate& t = UpdateDialogTemplate();
  EXPECT_EQ(t.id, 102u);
  EXPECT_EQ(t.unit, PlaceUnit::DialogUnits);
  EXPECT_EQ(t.size, QSize(227, 106));
  struct Case {
    int id;
    ControlKind kind;
    QRect place;
    bool visible;
  } cases[] = {
      {1001, ControlKind::Static, {7, 9, 213, 18}, true},
      {1002, ControlKind::Static, {7, 21, 213, 8}, false},
      {1003, ControlKind::ProgressBar, {7, 41, 214, 9}, true},
      {1004, ControlKind::Static, {67, 56, 142, 8}, false},
      {1005, ControlKind::Static, {67, 68, 141, 8}, false},
      {2, ControlKind::OwnerDrawButton, {171, 85, 50, 13}, true},
      {1000, ControlKind::OwnerDrawButton, {63, 87, 31, 11}, true},
  };
  for (const Case& c : cases) {
    const TemplateControl* control = t.Find(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(control->kind, c.kind) << c.id;
    EXPECT_EQ(control->place, c.place) << c.id;
    EXPECT_EQ(control->visible, c.visible) << c.id;
  }
  EXPECT_EQ(t.controls.size(), 9u);  // and the two hidden labels
}

TEST(UpdaterSkinPreview, QuestionScreenShapedOverTheDesktop) {
  QImage window = UpdaterSkin().Bitmap(129);
  QPainter p(&window);
  p.drawImage(kUpdateButton.topLeft(), StripFrame(UpdaterSkin().Bitmap(131), 3, 2));  // hovered
  p.drawImage(kCancelButton.topLeft(), StripFrame(UpdaterSkin().Bitmap(130), 3, 0));
  p.fillRect(kStatus, Qt::black);
  p.setFont(PointFont(QStringLiteral("ＭＳ ゴシック"), 8));
  p.setPen(QColor(200, 200, 200));
  p.drawText(kStatus, Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("新しいソフトウェアにアップデートします。よろしいですか"));
  QProgressBar bar;
  bar.setTextVisible(false);
  bar.setValue(42);
  bar.resize(kProgress.size());
  bar.render(&p, kProgress.topLeft());
  p.end();
  const QString path = SaveSkinShot(ShapedOnDesktop(window, UpdaterSkin().Bitmap(129), kGreen), "updater");
  EXPECT_TRUE(QImage(path).width() > 347);

  std::vector<QImage> rows;
  for (unsigned id : {131u, 130u}) rows.push_back(Enlarged(UpdaterSkin().Bitmap(id), 1));
  for (unsigned id : {131u, 130u}) rows.push_back(Enlarged(UpdaterSkin().Bitmap(id), 4));
  rows.push_back(UpdaterIcon().pixmap(48).toImage().convertToFormat(QImage::Format_RGB32));
  SaveSkinShot(Stacked(rows), "updater_buttons");
}

}  // namespace
