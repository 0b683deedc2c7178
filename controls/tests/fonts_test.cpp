#include "controls/font_aliases.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>

namespace {

class FontEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    loaded_ = LoadFontAliases();
    static int argc = 1;
    static char name[] = "ostrellib_fonts_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }
  static bool Loaded() { return loaded_; }

 private:
  static inline bool loaded_ = false;
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new FontEnvironment);

TEST(FontAliases, EveryFaceResolvesToItsStandIn) {
  ASSERT_TRUE(FontEnvironment::Loaded());
  struct Case {
    const char* face;
    const char* standIn;
  } cases[] = {
      {"ＭＳ ゴシック", "Noto Sans CJK JP"}, {"ＭＳ UI Gothic", "Noto Sans CJK JP"},
      {"ＭＳ 明朝", "Noto Serif CJK JP"},    {"MS-Mincho", "Noto Serif CJK JP"},
      {"Arial", "Liberation Sans"},
  };
  for (const Case& c : cases) {
    const QFont font = PointFont(QString::fromUtf8(c.face), 9);
    EXPECT_EQ(QFontInfo(font).family(), QString::fromUtf8(c.standIn)) << c.face;
  }
}

TEST(FontAliases, ArialBlackIsTheBoldLiberationSans) {
  const QString sample = QStringLiteral("v1.000 Tevalo WMmm");
  const QFont black = PointFont(QStringLiteral("Arial Black"), 10);
  const QFont bold = PointFont(QStringLiteral("Liberation Sans"), 10, QFont::Bold);
  const QFont regular = PointFont(QStringLiteral("Liberation Sans"), 10);
  ASSERT_NE(QFontMetricsF(bold).horizontalAdvance(sample), QFontMetricsF(regular).horizontalAdvance(sample));
  EXPECT_EQ(QFontMetricsF(black).horizontalAdvance(sample), QFontMetricsF(bold).horizontalAdvance(sample));
  EXPECT_EQ(QFontInfo(black).styleName(), QStringLiteral("Bold"));
}

TEST(FontAliases, PointsAreTakenAt96Dpi) {
  struct Case {
    double points;
    int pixels;
  } cases[] = {{9, 12}, {8, 11}, {10, 13}, {12, 16}};
  for (const Case& c : cases) {
    EXPECT_EQ(PointsToPixels(c.points), c.pixels) << c.points;
    EXPECT_EQ(PointFont(QStringLiteral("Arial"), c.points).pixelSize(), c.pixels) << c.points;
  }
}

}  // namespace
