#include "skin_checks.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <set>
#include "controls/font_aliases.h"

namespace {
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

QRgb Rgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

bool Is(const QImage& image, int x, int y, COLORREF key) {
  return (image.pixel(x, y) & 0xFFFFFF) == (Rgb(key) & 0xFFFFFF);
}

std::string At(int x, int y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; }

bool Contains(const QImage& image, COLORREF colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Is(image, x, y, colour)) return true;
  return false;
}
}  // namespace

std::string NearKeyPixel(const QImage& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      for (COLORREF key : {kMagenta, kGreen}) {
        const QRgb k = Rgb(key);
        const bool same = (p & 0xFFFFFF) == (k & 0xFFFFFF);
        if (!same && std::abs(qRed(p) - qRed(k)) <= 24 && std::abs(qGreen(p) - qGreen(k)) <= 24 &&
            std::abs(qBlue(p) - qBlue(k)) <= 24)
          return At(x, y) + " is close to a key colour";
      }
    }
  return {};
}

std::string KeyInside(const QImage& image, COLORREF key, const QRect& rect) {
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (!image.rect().contains(x, y) || Is(image, x, y, key)) return At(x, y) + " lies outside the shape";
  return {};
}

void ExpectCatalogMatches(const SkinCatalog& catalog, std::span<const ExpectedSkin> expected) {
  std::set<unsigned> wanted;
  for (const ExpectedSkin& e : expected) wanted.insert(e.id);
  for (const SkinResource& r : catalog.Table())
    EXPECT_TRUE(wanted.count(r.id)) << r.id << " is in the table but not expected";

  for (const ExpectedSkin& e : expected) {
    SCOPED_TRACE("resource " + std::to_string(e.id));
    const SkinResource* r = catalog.Find(e.id);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->width, e.width);
    EXPECT_EQ(r->height, e.height);
    EXPECT_EQ(r->frames, e.frames);
    EXPECT_EQ(r->key, e.key);
    if (r->kind == SkinKind::Gif) {
      EXPECT_FALSE(catalog.GifBytes(e.id).isEmpty());
      EXPECT_TRUE(catalog.Bitmap(e.id).isNull());
      continue;
    }
    EXPECT_TRUE(catalog.GifBytes(e.id).isEmpty());
    const QImage image = catalog.Bitmap(e.id);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(e.width, e.height));
    EXPECT_EQ(NearKeyPixel(image), "");
    if (e.key == kNoKey) {
      EXPECT_FALSE(Contains(image, kMagenta));
      EXPECT_FALSE(Contains(image, kGreen));
      continue;
    }
    EXPECT_FALSE(Contains(image, e.key == kMagenta ? kGreen : kMagenta));
    if (r->kind == SkinKind::Strip) {
      ASSERT_EQ(e.width % e.frames, 0);
      const int w = e.width / e.frames;
      for (int f = 0; f < e.frames; ++f) {
        EXPECT_TRUE(Is(image, f * w, 0, e.key)) << "frame " << f << " has no key outside its shape";
        EXPECT_FALSE(Is(image, f * w + w / 2, e.height / 2, e.key)) << "frame " << f << " is hollow";
      }
    } else {
      for (QPoint corner :
           {QPoint(0, 0), QPoint(e.width - 1, 0), QPoint(0, e.height - 1), QPoint(e.width - 1, e.height - 1)})
        EXPECT_TRUE(Is(image, corner.x(), corner.y(), e.key)) << "corner " << At(corner.x(), corner.y());
      EXPECT_FALSE(Is(image, e.width / 2, e.height / 2, e.key));
    }
  }
}

QApplication* StartSkinTestApplication(const char* name) {
  EXPECT_TRUE(LoadFontAliases());
  static int argc = 1;
  static std::string program;
  program = name;
  static char* argv[] = {program.data(), nullptr};
  return new QApplication(argc, argv);
}
