#include "player/panels/gif_static.h"

#include <QPainter>

#include "controls/resources.h"
#include "player/panels/gui_thread.h"

namespace tevalo::panels {

QRect AnimationPlacement(QSize client) {
  return QRect(QPoint(client.width() / 2 - 60, client.height() / 2 - 67), kAnimationSize);
}

CGifStatic::CGifStatic(QWidget* parent, int controlId) : QWidget(parent), m_controlId(controlId) {
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &CGifStatic::OnFrameTimer);
}

CGifStatic::~CGifStatic() { Stop(); }

bool CGifStatic::LoadFromResource(unsigned id) {
  const QByteArray bytes = LoadGifResource(id);
  if (bytes.isEmpty()) {
    Unload();
    return false;
  }
  return Load(bytes);
}

bool CGifStatic::Load(const QByteArray& data) {
  AssertGuiThread();
  Unload();
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.constData()),
                                       size_t(data.size()));
  if (!m_animation.Load(bytes, palette().color(QPalette::Button))) return false;
  resize(m_animation.Size());
  update();
  return true;
}

bool CGifStatic::Draw() {
  AssertGuiThread();
  if (!m_animation.Ready()) return false;
  if (m_animation.Animated()) {
    m_timer.start(m_animation.Begin());
    update();
    return false;
  }
  m_animation.ShowStill();
  update();
  return true;
}

void CGifStatic::Stop() { m_timer.stop(); }

void CGifStatic::Unload() {
  Stop();
  m_animation.Unload();
  update();
}

void CGifStatic::OnFrameTimer() {
  if (!m_animation.Animated()) return;
  m_timer.start(m_animation.Next());
  update();
}

void CGifStatic::paintEvent(QPaintEvent*) {
  if (!m_animation.Ready()) return;
  QPainter(this).drawImage(QPoint(0, 0), m_animation.Canvas());
}

}  // namespace tevalo::panels
