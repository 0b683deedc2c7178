#include "skin_preview.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <algorithm>
#include "controls/skin_mask.h"

QImage Checkerboard(QSize size) {
  QImage out(size, QImage::Format_RGB32);
  QPainter p(&out);
  for (int y = 0; y < size.height(); y += 16)
    for (int x = 0; x < size.width(); x += 16)
      p.fillRect(x, y, 16, 16, ((x + y) / 16) % 2 ? QColor(205, 205, 205) : QColor(150, 150, 150));
  return out;
}

QImage Enlarged(const QImage& image, int factor) {
  return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage StripFrame(const QImage& strip, int frames, int index) {
  const int w = strip.width() / frames;
  return strip.copy(index * w, 0, w, strip.height());
}

void DrawKeyed(QPainter& painter, QPoint at, const QImage& image, COLORREF key) {
  if (key == kNoKey)
    painter.drawImage(at, image);
  else
    painter.drawPixmap(at, PixmapWithKeyTransparent(image, key));
}

QImage ShapedOnDesktop(const QImage& window, const QImage& shape, COLORREF key, int margin) {
  QImage out = Checkerboard(window.size() + QSize(2 * margin, 2 * margin));
  QPainter p(&out);
  p.setClipRegion(RegionFromKeyColor(shape, key).translated(margin, margin));
  p.drawImage(margin, margin, window);
  return out;
}

QImage StripSheet(const SkinCatalog& catalog, int scale) {
  std::vector<const SkinResource*> strips;
  int width = 0, height = 8;
  for (const SkinResource& r : catalog.Table())
    if (r.kind == SkinKind::Strip) {
      strips.push_back(&r);
      width = std::max(width, r.width * scale);
      height += r.height * scale + 8;
    }
  QImage out = Checkerboard(QSize(width + 72, height));
  QPainter p(&out);
  int y = 8;
  for (const SkinResource* r : strips) {
    p.setPen(Qt::black);
    p.drawText(QRect(4, y, 60, r->height * scale), Qt::AlignVCenter, QString::number(r->id));
    DrawKeyed(p, QPoint(64, y), Enlarged(catalog.Bitmap(r->id), scale), r->key);
    y += r->height * scale + 8;
  }
  return out;
}

QImage GifFrames(const QByteArray& gif, int scale) {
  QBuffer buffer;
  buffer.setData(gif);
  QImageReader reader(&buffer, "gif");
  std::vector<QImage> frames;
  for (QImage f = reader.read(); !f.isNull(); f = reader.read()) frames.push_back(Enlarged(f, scale));
  if (frames.empty()) return {};
  const QSize one = frames.front().size();
  QImage out(QSize((one.width() + 6) * static_cast<int>(frames.size()) + 6, one.height() + 12),
             QImage::Format_RGB32);
  out.fill(QColor(128, 128, 128));
  QPainter p(&out);
  for (size_t i = 0; i < frames.size(); ++i)
    p.drawImage(6 + static_cast<int>(i) * (one.width() + 6), 6, frames[i]);
  return out;
}

QImage Stacked(const std::vector<QImage>& pictures, int gap) {
  int width = 0, height = gap;
  for (const QImage& pic : pictures) {
    width = std::max(width, pic.width());
    height += pic.height() + gap;
  }
  QImage out(width + 2 * gap, height, QImage::Format_RGB32);
  out.fill(QColor(96, 96, 96));
  QPainter p(&out);
  int y = gap;
  for (const QImage& pic : pictures) {
    p.drawImage(gap, y, pic);
    y += pic.height() + gap;
  }
  return out;
}

QString SaveSkinShot(const QImage& picture, const QString& name) {
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots/skin";
  QDir().mkpath(dir);
  const QString path = dir + "/" + name + ".png";
  picture.save(path);
  return path;
}
