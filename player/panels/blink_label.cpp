#include "player/panels/blink_label.h"

#include <QPainter>

#include "player/panels/gui_thread.h"

namespace tevalo::panels {

CBlinkLabel::CBlinkLabel(QWidget* parent, int controlId) : QWidget(parent), m_controlId(controlId) {
  m_wordFont.setFamily(QStringLiteral("ＭＳ ゴシック"));
  m_wordFont.setPixelSize(12);
  m_wordFont.setBold(true);
  m_clockFont = m_wordFont;
  m_clockFont.setBold(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &CBlinkLabel::OnTimer);
}

void CBlinkLabel::SetBlink(bool on, const QString& text) {
  AssertGuiThread();
  m_blinking = on;
  m_shown.clear();
  if (on) {
    m_blinkText = text;
    m_timer.start(kBlinkPeriodMs);
  } else {
    m_blinkText.clear();
    m_timer.stop();
  }
}

void CBlinkLabel::SetWindowText(const QString& text) {
  AssertGuiThread();
  m_windowText = text;
  update();
}

void CBlinkLabel::OnTimer() {
  m_timer.stop();
  m_shown = m_shown.isEmpty() ? m_blinkText : QString();
  update();
  if (m_blinking) m_timer.start(kBlinkPeriodMs);
}

void CBlinkLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const bool word = !m_shown.isEmpty();
  const QString& text = word ? m_shown : m_windowText;
  if (text.isEmpty()) return;
  painter.setFont(word ? m_wordFont : m_clockFont);
  painter.setPen(QColor(255, 0, 0));
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

}  // namespace tevalo::panels
