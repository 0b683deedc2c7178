#include "controls/skin_mask.h"

namespace {
QImage KeyedImage(const QImage& image, COLORREF key) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((line[x] & 0x00FFFFFF) == (keyRgb & 0x00FFFFFF))
        line[x] = 0;
      else
        line[x] |= 0xFF000000;
  }
  return out;
}
}  // namespace

QBitmap MaskFromKeyColor(const QImage& image, COLORREF key) {
  const QImage keyed = KeyedImage(image, key);
  return QBitmap::fromImage(keyed.createAlphaMask());
}

QRegion RegionFromKeyColor(const QImage& image, COLORREF key) {
  if (image.isNull()) return {};
  return QRegion(MaskFromKeyColor(image, key));
}

QPixmap PixmapWithKeyTransparent(const QImage& image, COLORREF key) {
  return QPixmap::fromImage(KeyedImage(image, key));
}
