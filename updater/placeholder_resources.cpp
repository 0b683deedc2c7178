#include "updater/placeholder_resources.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <map>

#include "controls/resources.h"
#include "updater/resource_ids.h"

namespace tevalo::updater {
namespace {

const std::map<unsigned, QString>& Strings() {
  static const std::map<unsigned, QString> table = {
      {res::kSourceFrom, QStringLiteral("%1 from %2")},
      {res::kSocketInitFailed, QStringLiteral("Windows socket initializing failed.")},
      {res::kConnectedToServer, QStringLiteral("ftp サーバーに　接続します")},
      {res::kResolvingName, QStringLiteral("Resolving name: %1")},
      {res::kNameResolved, QStringLiteral("Resolved name to %1")},
      {res::kConnectingTo, QStringLiteral("Connecting to %1")},
      {res::kOpenRemoteFileFailed,
       QStringLiteral("An error occurred while attempting to open the specified remote file, Error:%1")},
      {res::kConnecting, QStringLiteral("ftp サーバーに　接続します")},
      {res::kTransferFailed,
       QStringLiteral("An error occurred while attempting to transfer the file, Error:%1")},
      {res::kServerConnectFailed, QStringLiteral("An error occurred connecting to the server, Error:%1")},
      {res::kDownloadFailed, QStringLiteral("An error occurred while downloading the file, Error:%1")},
      {res::kPercentCaption, QStringLiteral("%1% Update processing...")},
      {res::kTransferring, QStringLiteral("...")},
      {res::kSizes, QStringLiteral("%1 of  %2")},
      {res::kSeconds, QStringLiteral("%1 sec")},
      {res::kMinutes, QStringLiteral("%1 min")},
      {res::kMinutesSeconds, QStringLiteral("%1 min %2 sec")},
      {res::kBytes, QStringLiteral("%1 Bytes")},
      {res::kKilobytes, QStringLiteral("%1 KB")},
      {res::kMegabytes, QStringLiteral("%1 MB")},
      {res::kTimeAndSizes, QStringLiteral("%1 (%2 copied)")},
      {res::kBytesPerSecond, QStringLiteral("%1 Bytes/sec")},
      {res::kKilobytesPerSecond, QStringLiteral("%1 KB/sec")},
      {res::kOpenLocalFileFailed,
       QStringLiteral("An error occured while opening the file to be downloaded, Error:%1")},
      {res::kAborting, QStringLiteral("Aborting transfer")},
  };
  return table;
}

const QColor kKey(0, 255, 0);
const QColor kPlate(43, 46, 51);
const QColor kEdge(74, 79, 87);

// The dialog's plate: a rounded graphite rectangle, pure green around it. Drawn without smoothing so
// that no edge pixel blends towards the key colour.
QImage Background() {
  QImage image(347, 133, QImage::Format_RGB32);
  image.fill(kKey);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kEdge);
  p.setBrush(kPlate);
  p.drawRoundedRect(QRect(0, 0, 346, 132), 12, 12);
  return image;
}

enum class Glyph { kCross, kArrow };

// Three 38 x 38 frames (normal, pressed, hover) on the plate's colour.
QImage ButtonStrip(Glyph glyph) {
  QImage image(114, 38, QImage::Format_RGB32);
  image.fill(kPlate);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QColor faces[3] = {QColor(66, 71, 79), QColor(36, 38, 42), QColor(92, 98, 108)};
  const QColor ink = glyph == Glyph::kCross ? QColor(200, 200, 200) : QColor(255, 169, 0);
  for (int frame = 0; frame < 3; ++frame) {
    const QRectF face(frame * 38 + 3.5, 3.5, 31, 31);
    p.setPen(QPen(kEdge, 1));
    p.setBrush(faces[frame]);
    p.drawEllipse(face);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF c = face.center() + (frame == 1 ? QPointF(1, 1) : QPointF(0, 0));
    if (glyph == Glyph::kCross) {
      p.drawLine(c + QPointF(-6, -6), c + QPointF(6, 6));
      p.drawLine(c + QPointF(-6, 6), c + QPointF(6, -6));
    } else {
      p.drawLine(c + QPointF(0, -8), c + QPointF(0, 6));
      QPainterPath head;
      head.moveTo(c + QPointF(-6, 1));
      head.lineTo(c + QPointF(0, 7));
      head.lineTo(c + QPointF(6, 1));
      p.drawPath(head);
    }
  }
  return image;
}

QImage Icon() {
  QImage image(32, 32, QImage::Format_RGB32);
  image.fill(kPlate);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(255, 169, 0), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(16, 5), QPointF(16, 21));
  p.drawLine(QPointF(9, 15), QPointF(16, 22));
  p.drawLine(QPointF(23, 15), QPointF(16, 22));
  p.drawLine(QPointF(7, 27), QPointF(25, 27));
  return image;
}

const std::map<unsigned, QImage>& Bitmaps() {
  static const std::map<unsigned, QImage> bitmaps = {
      {res::kIcon, Icon()},
      {res::kBackgroundBitmap, Background()},
      {res::kCancelBitmap, ButtonStrip(Glyph::kCross)},
      {res::kUpdateBitmap, ButtonStrip(Glyph::kArrow)},
  };
  return bitmaps;
}

}  // namespace

void InstallUpdaterResources() {
  // Drawn once here, on the calling thread; the resolvers only read the finished tables.
  Strings();
  Bitmaps();
  SetStringResolver([](unsigned id) {
    const auto it = Strings().find(id);
    return it == Strings().end() ? QString() : it->second;
  });
  SetBitmapResolver([](unsigned id) {
    const auto it = Bitmaps().find(id);
    return it == Bitmaps().end() ? QImage() : it->second;
  });
}

const std::vector<TemplateControl>& UpdateDialogTemplate() {
  using K = TemplateControl::Kind;
  static const std::vector<TemplateControl> controls = {
      {res::kIdStatus, K::kStatic, true, QRect(7, 9, 213, 18), {}},
      {res::kIdSource, K::kStatic, false, QRect(7, 21, 213, 8), {}},
      {res::kIdProgress, K::kProgress, true, QRect(7, 41, 214, 9), {}},
      {res::kIdStaticLabel, K::kStatic, false, QRect(8, 56, 60, 8), QStringLiteral("残り時間：")},
      {res::kIdTimeLeft, K::kStatic, false, QRect(67, 56, 142, 8), {}},
      {res::kIdStaticLabel, K::kStatic, false, QRect(8, 68, 43, 8), QStringLiteral("転送速度：")},
      {res::kIdRate, K::kStatic, false, QRect(67, 68, 141, 8), {}},
      {res::kIdCancel, K::kButton, true, QRect(171, 85, 50, 13), QStringLiteral("Cancel")},
      {res::kIdUpdate, K::kButton, true, QRect(63, 87, 31, 11), QStringLiteral("ok")},
  };
  return controls;
}

}  // namespace tevalo::updater
