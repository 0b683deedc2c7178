#include "player/panels/list_scroll_bar.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "controls/resources.h"

namespace {
constexpr int kThumbWidth = 8;
constexpr int kThumbHeight = 27;
constexpr int kTrackHeight = 126;
}  // namespace

CListScrollBar::CListScrollBar(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted, so nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CListScrollBar::~CListScrollBar() = default;

void CListScrollBar::UpdateThumb() {
  const QScrollBar* bar = m_pList ? m_pList->verticalScrollBar() : nullptr;
  const int limit = bar ? bar->maximum() : 0;
  m_dPixelsPerStep = limit > 0 ? static_cast<double>(height() - 26) / limit : 0;
  m_nThumbTop = static_cast<int>(m_dPixelsPerStep * (bar ? bar->value() : 0));
  m_nThumbTop = std::clamp(m_nThumbTop, 0, std::max(0, height() - kThumbHeight));
  update();
}

void CListScrollBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QImage track = LoadBitmapResource(kTrackBitmap);
  const QImage thumb = LoadBitmapResource(kThumbBitmap);
  if (!track.isNull()) p.drawImage(QRect(0, 0, width(), kTrackHeight), track, QRect(0, 0, track.width(), 4));
  if (!thumb.isNull()) p.drawImage(QRect(0, m_nThumbTop, kThumbWidth, kThumbHeight), thumb);
}
