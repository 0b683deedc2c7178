#include "player/panels/list_scroll_bar.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "controls/resources.h"
#include "player/panels/list_thumb.h"

namespace {
constexpr int kThumbWidth = 8;
constexpr int kThumbHeight = 27;
constexpr int kTrackHeight = 126;
}  // namespace

CListScrollBar::CListScrollBar(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted, so nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  m_timer1.setInterval(50);
  m_timer2.setInterval(250);
  connect(&m_timer1, &QTimer::timeout, this, [this] { OnTimer(1); });
  connect(&m_timer2, &QTimer::timeout, this, [this] { OnTimer(2); });
}

CListScrollBar::~CListScrollBar() = default;

void CListScrollBar::UpdateThumb() {
  const QScrollBar* bar = m_pList ? m_pList->verticalScrollBar() : nullptr;
  const int limit = bar ? bar->maximum() : 0;
  m_dPixelsPerStep = tevalo::panels::ListPixelsPerStep(height(), limit);
  m_nThumbTop = tevalo::panels::ListThumbTop(height(), limit, bar ? bar->value() : 0);
  update();
}

void CListScrollBar::StartRepeat(bool lineDown) {
  (lineDown ? m_bLineDown : m_bLineUp) = true;
  m_timer2.start();
}

void CListScrollBar::OnTimer(int id) {
  if (id == 2) {
    m_timer2.stop();
    m_timer1.start();
    return;
  }
  if (id != 1 || !m_pList) return;
  QScrollBar* bar = m_pList->verticalScrollBar();
  if (m_bLineDown) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  if (m_bLineUp) bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  UpdateThumb();
}

void CListScrollBar::ScrollFromThumb(int y) {
  m_nThumbTop = y - 11;
  if (m_pList) {
    QScrollBar* bar = m_pList->verticalScrollBar();
    bar->setValue(tevalo::panels::ListScrollForThumb(height(), bar->maximum(), m_nThumbTop));
  }
  m_nThumbTop = std::clamp(m_nThumbTop, 0, std::max(0, height() - tevalo::panels::kListThumbReserve));
  update();
}

void CListScrollBar::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  grabMouse();
  if (at.x() >= 0 && at.x() <= 6 && at.y() >= m_nThumbTop && at.y() <= m_nThumbTop + 22)
    m_bDragging = true;
  else
    m_nThumbTop = at.y() - 11;
  update();
}

void CListScrollBar::mouseMoveEvent(QMouseEvent* event) {
  if (m_bDragging) ScrollFromThumb(event->position().toPoint().y());
}

void CListScrollBar::mouseReleaseEvent(QMouseEvent* event) {
  UpdateThumb();
  m_timer1.stop();
  m_timer2.stop();
  releaseMouse();
  ScrollFromThumb(event->position().toPoint().y());
  m_bDragging = false;
  m_bLineUp = m_bLineDown = false;
}

void CListScrollBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QImage track = LoadBitmapResource(kTrackBitmap);
  const QImage thumb = LoadBitmapResource(kThumbBitmap);
  // The art is drawn at its own size; a narrower bar shows it scaled into its width.
  const double sx = std::min(1.0, width() / 9.0);
  if (!track.isNull())
    p.drawImage(QRect(0, 0, width(), std::max(kTrackHeight, height())), track, QRect(0, 0, track.width(), 4));
  if (!thumb.isNull())
    p.drawImage(QRect(0, m_nThumbTop, static_cast<int>(kThumbWidth * sx + 0.5), kThumbHeight), thumb);
}
