#include "player/panels/ticker_static.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "player/panels/gui_thread.h"

namespace tevalo::panels {

double CondenseToFit(int textWidth, int clientWidth) {
  if (textWidth <= clientWidth || textWidth <= 0 || clientWidth <= 0) return 1.0;
  return std::max(kTickerMinCondense, static_cast<double>(clientWidth) / textWidth);
}

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
  const QString text = m_state.Text();
  const int left = m_state.TextLeft();
  const int textWidth = QFontMetrics(m_font).horizontalAdvance(text);
  if (m_state.Tick(textWidth, width())) m_timer.start(kTickerTickMs);
  // A fixed text ticks 50 times a second without changing: repaint only what moved or changed.
  if (m_state.Text() != text || (!text.isEmpty() && m_state.TextLeft() != left)) update();
}

void CTickerStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QString& text = m_state.Text();
  if (text.isEmpty()) return;
  // Shaping the text costs far more than copying it: it is drawn once per text, height and scale,
  // then copied to where the scroll puts it.
  const bool newText = text != m_imageText;
  if (newText) m_imageTextWidth = QFontMetrics(m_font).horizontalAdvance(text);
  const double scale = m_state.Scrolling() ? 1.0 : CondenseToFit(m_imageTextWidth, width());
  if (newText || m_image.height() != height() || scale != m_imageScale) {
    const QFontMetrics metrics(m_font);
    const int drawnWidth = static_cast<int>(std::ceil(m_imageTextWidth * scale));
    m_image = QPixmap(std::max(1, drawnWidth + metrics.maxWidth()), std::max(1, height()));
    m_image.fill(Qt::black);
    QPainter p(&m_image);
    p.scale(scale, 1.0);
    p.setFont(m_font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, m_image.width() / scale, m_image.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    m_imageText = text;
    m_imageScale = scale;
  }
  painter.drawPixmap(m_state.TextLeft(), 0, m_image);
}

}  // namespace tevalo::panels
