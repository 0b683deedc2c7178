#include "channel_widgets_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include "controls/resources.h"
#include "skin_preview.h"

namespace tevalo::panels::testing {

QString SaveShot(const QImage& picture, const QString& name) {
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots/channels";
  QDir().mkpath(dir);
  const QString path = dir + "/" + name;
  picture.save(path);
  return path;
}

QImage PanelOnDesktop(CChannelPanel& panel) {
  return ShapedOnDesktop(panel.grab().toImage().convertToFormat(QImage::Format_RGB32),
                         LoadBitmapResource(413), 0x00FF00);
}

void Pump() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace tevalo::panels::testing
