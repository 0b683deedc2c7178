#include "player/panels/ticker_static.h"

#include <QFontMetrics>
#include <QPainter>

#include "player/panels/gui_thread.h"

namespace tevalo::panels {

void TickerState::SetText(const QString& text, bool scrolling) {
  m_text = text;
  m_scrolling = scrolling;
}

void TickerState::StartScroll(bool run, int ticks) {
  m_running = run;
  if (!run) return;
  m_remaining = ticks;
  m_offset = 0;
  m_shownOffset = 0;
}

bool TickerState::Tick(int textWidth, int clientWidth) {
  --m_offset;
  m_shownOffset = m_offset;
  // Once the text has left on the left it comes back from the right edge, from the next tick on.
  if (!m_text.isEmpty() && -m_offset > textWidth) m_offset = clientWidth;
  if (m_remaining > 0)
    --m_remaining;
  else if (m_remaining == 0)
    m_text.clear();
  return m_running;
}

CTickerStatic::CTickerStatic(QWidget* parent, int controlId) : QWidget(parent), m_controlId(controlId) {
  m_font.setFamily(QStringLiteral("ＭＳ ゴシック"));
  m_font.setPixelSize(12);  // 9 points
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &CTickerStatic::OnTimer);
}

void CTickerStatic::SetText(const QString& text, int mode) {
  AssertGuiThread();
  m_state.SetText(text, mode == 1);
}

void CTickerStatic::StartScroll(bool run, int ticks) {
  AssertGuiThread();
  m_state.StartScroll(run, ticks);
  if (run) m_timer.start(kTickerTickMs);
}

void CTickerStatic::OnTimer() {
  m_timer.stop();
  const int textWidth = QFontMetrics(m_font).horizontalAdvance(m_state.Text());
  if (m_state.Tick(textWidth, width())) m_timer.start(kTickerTickMs);
  update();
}

void CTickerStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (m_state.Text().isEmpty()) return;
  painter.setFont(m_font);
  painter.setPen(Qt::white);
  const QRect area = rect().adjusted(m_state.TextLeft(), 0, 0, 0);
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_state.Text());
}

}  // namespace tevalo::panels
