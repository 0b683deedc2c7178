#include "test_support.h"

#include "controls/resources.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <map>

namespace {
std::map<unsigned, QImage>& Bitmaps() {
  static std::map<unsigned, QImage> bitmaps;
  return bitmaps;
}

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "ostrellib_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    SetBitmapResolver([](unsigned id) {
      auto it = Bitmaps().find(id);
      return it == Bitmaps().end() ? QImage() : it->second;
    });
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);
}  // namespace

QImage MakeStrip(const std::vector<QColor>& frameColours, int frameWidth, int height, bool keyCorner) {
  QImage image(frameWidth * static_cast<int>(frameColours.size()), height, QImage::Format_RGB32);
  QPainter p(&image);
  for (size_t i = 0; i < frameColours.size(); ++i) {
    const int x = static_cast<int>(i) * frameWidth;
    p.fillRect(x, 0, frameWidth, height, frameColours[i]);
    if (keyCorner) p.fillRect(x, 0, 4, 4, QColor(255, 0, 255));
  }
  return image;
}

void RegisterBitmap(unsigned id, const QImage& image) { Bitmaps()[id] = image; }

QImage Snapshot(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

void SaveScreenshot(QWidget* widget, const QString& name) {
  const QString dir = qEnvironmentVariable("TEVALO_BINARY_DIR", QDir::tempPath()) + "/screenshots";
  QDir().mkpath(dir);
  widget->grab().save(dir + "/" + name + ".png");
}

void ProcessEvents(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  } while (t.elapsed() < ms);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}
