#include "panels_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>

#include "test_support.h"

namespace panels_test {

int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) == (colour.rgb() & 0xFFFFFF)) ++n;
  return n;
}

int CountLit(const QImage& image, const QRect& area) {
  return area.intersected(image.rect()).width() * area.intersected(image.rect()).height() -
         CountColour(image, area, Qt::black);
}

void PaintDark(QWidget& widget) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, QColor(0x1b, 0x1d, 0x22));
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

void SaveImage(const QImage& image, const QString& name) {
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots";
  QDir().mkpath(dir);
  image.save(dir + "/" + name + ".png");
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

std::vector<SliderParent::Message> SliderParent::Take() {
  QCoreApplication::sendPostedEvents(this);
  return std::exchange(messages, {});
}

bool SliderParent::event(QEvent* e) {
  if (e->type() == tevalo::panels::SkinSliderEvent::Type()) {
    const auto* m = static_cast<tevalo::panels::SkinSliderEvent*>(e);
    messages.push_back({m->message, m->controlId, m->position});
    return true;
  }
  return QWidget::event(e);
}

namespace {
QImage Track(int width, int height, const QColor& line) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(0x1b, 0x1d, 0x22));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(line);
  p.drawRoundedRect(QRectF(2, height / 2.0 - 2, width - 4, 4), 2, 2);
  return image;
}

QImage Thumb(int width, int height, const QColor& face) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(0x1b, 0x1d, 0x22));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0x9a, 0xa3, 0xb2));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 3, 3);
  return image;
}
}  // namespace

void RegisterSliderBitmaps() {
  RegisterBitmap(411, Track(320, 14, QColor(0x4a, 0x50, 0x5a)));
  RegisterBitmap(460, Track(320, 14, QColor(0x3d, 0x8b, 0xfd)));
  RegisterBitmap(412, Thumb(10, 14, QColor(0xe6, 0xe9, 0xef)));
  RegisterBitmap(457, Track(59, 10, QColor(0x4a, 0x50, 0x5a)));
  RegisterBitmap(459, Track(59, 10, QColor(0x3d, 0x8b, 0xfd)));
  RegisterBitmap(458, Thumb(9, 10, QColor(0xe6, 0xe9, 0xef)));
}

}  // namespace panels_test
