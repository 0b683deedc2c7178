#include "player/panels/skin_slider.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "controls/resources.h"
#include "controls/skin_mask.h"
#include "player/panels/gui_thread.h"

namespace tevalo::panels {

namespace {
// Toward zero, saturated to int (a position left outside a changed range can map far away).
int TruncToInt(double v) {
  if (!(v > double(INT_MIN))) return INT_MIN;
  if (v >= double(INT_MAX)) return INT_MAX;
  return static_cast<int>(std::trunc(v));
}

int Saturated(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }
}  // namespace

SkinSliderEvent::SkinSliderEvent(win::UINT message, int controlId, int position)
    : QEvent(Type()), message(message), controlId(controlId), position(position) {}

QEvent::Type SkinSliderEvent::Type() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

int SkinSliderAxis::Travel() const { return Saturated(int64_t(length) - endMargin - thumb - startMargin); }

bool SkinSliderAxis::Pinned() const { return maximum == minimum || Travel() <= 0; }

int SkinSliderAxis::PixelOf(int position) const {
  if (Pinned()) return startMargin + thumb / 2;
  const double share = (double(position) - minimum) / (double(maximum) - minimum);
  return Saturated(int64_t(startMargin) + TruncToInt(share * Travel()) + thumb / 2);
}

int SkinSliderAxis::PositionOf(int pixel) const {
  if (Pinned()) return minimum;
  return TruncToInt(minimum +
                    (double(pixel) - thumb / 2 - startMargin) / Travel() * (double(maximum) - minimum));
}

int SkinSliderAxis::ClampDrag(int t) const {
  const int low = startMargin + thumb / 2;
  if (Pinned()) return low;
  const int high = length - thumb / 2 - endMargin;
  return std::min(std::max(t, low), high);
}

CSkinSlider::CSkinSlider(QWidget* parent, int controlId) : QWidget(parent), m_controlId(controlId) {
  setFocusPolicy(Qt::StrongFocus);
}

CSkinSlider::~CSkinSlider() = default;

void CSkinSlider::SetVertical(bool vertical) {
  m_vertical = vertical;
  update();
}

void CSkinSlider::SetRangeMax(int max, bool redraw) {
  m_maximum = max;
  if (redraw) update();
}

void CSkinSlider::SetRangeMin(int min, bool redraw) {
  m_minimum = min;
  if (redraw) update();
}

void CSkinSlider::SetRange(int min, int max, bool redraw) {
  SetRangeMin(min, false);
  SetRangeMax(max, redraw);
}

void CSkinSlider::SetPos(int pos) {
  AssertGuiThread();
  m_position = std::max(std::min(pos, m_maximum), m_minimum);
  update();
}

void CSkinSlider::EnableSlider(bool enable) {
  m_enabled = enable;
  if (!enable && (m_dragging || m_buttonDown)) {
    // The drag ends here: the release will find the slider disabled and do nothing, so the
    // button-down flag must not outlive it either (IsDragging would hold the owner's updates).
    m_dragging = false;
    m_buttonDown = false;
    if (mouseGrabber() == this) releaseMouse();
  }
  update();
}

bool CSkinSlider::LoadGroup(Group& group, unsigned bitmapId, unsigned activeBitmapId, bool transparent,
                            COLORREF keyColour, int keyX, int keyY) {
  group.Clear();
  auto load = [&](unsigned id, QPixmap& out) {
    const QImage image = LoadBitmapResource(id);
    if (image.isNull()) return false;
    if (!transparent) {
      out = QPixmap::fromImage(image);
      return true;
    }
    COLORREF key = keyColour;
    if (keyColour == kKeyFromPixel) {
      const QPoint at(std::clamp(keyX, 0, image.width() - 1), std::clamp(keyY, 0, image.height() - 1));
      key = ColorRefFromColor(image.pixelColor(at));
    }
    out = PixmapWithKeyTransparent(image, key);
    return true;
  };
  if (bitmapId == 0) return true;
  if (!load(bitmapId, group.image)) return false;
  if (activeBitmapId != 0) {
    if (!load(activeBitmapId, group.active)) {
      group.Clear();
      return false;
    }
    group.hasActive = true;
  }
  group.transparent = transparent;
  group.loaded = true;
  return true;
}

bool CSkinSlider::SetTrackBitmaps(int width, unsigned bitmapId, unsigned activeBitmapId, bool transparent,
                                  COLORREF keyColour, int keyX, int keyY) {
  AssertGuiThread();
  const bool ok = LoadGroup(m_track, bitmapId, activeBitmapId, transparent, keyColour, keyX, keyY);
  if (ok && m_track.loaded) {
    m_width = width;
    m_height = m_track.image.height();
    resize(m_width, m_height);
  }
  update();
  return ok;
}

bool CSkinSlider::SetThumbBitmaps(unsigned bitmapId, unsigned activeBitmapId, bool transparent,
                                  COLORREF keyColour, int keyX, int keyY) {
  AssertGuiThread();
  const bool ok = LoadGroup(m_thumb, bitmapId, activeBitmapId, transparent, keyColour, keyX, keyY);
  if (ok && m_thumb.loaded && !m_track.loaded) {
    m_width = width();
    m_height = height();
  }
  update();
  return ok;
}

SkinSliderAxis CSkinSlider::Axis() const {
  SkinSliderAxis a;
  const QSize thumb = m_thumb.loaded ? m_thumb.image.size() : QSize();
  if (m_vertical) {
    a = {m_height, m_nTopMargin, m_nBottomMargin, thumb.height(), m_minimum, m_maximum};
  } else {
    a = {m_width, m_nLeftMargin, m_nRightMargin, thumb.width(), m_minimum, m_maximum};
  }
  return a;
}

QRect CSkinSlider::ThumbRect() const {
  if (!m_thumb.loaded || !m_enabled) return {};
  const QSize size = m_thumb.image.size();
  const int p = Axis().PixelOf(m_position);
  if (m_vertical) return QRect(QPoint(m_nLeftMargin, p - size.height() / 2), size);
  return QRect(QPoint(p - size.width() / 2, m_nTopMargin), size);
}

void CSkinSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // A transparent track lets the parent's picture show through; otherwise the background colour.
  if (!m_track.loaded || !m_track.transparent) painter.fillRect(rect(), palette().color(backgroundRole()));
  if (m_track.loaded) {
    if (m_track.hasActive && m_enabled) {
      const int p = Axis().PixelOf(m_position);
      const QRect before = m_vertical ? QRect(0, 0, m_width, p) : QRect(0, 0, p, m_height);
      const QRect after =
          m_vertical ? QRect(0, p, m_width, m_height - p) : QRect(p, 0, m_width - p, m_height);
      painter.drawPixmap(after, m_track.image, after);
      painter.drawPixmap(before, m_track.active, before);
    } else {
      painter.drawPixmap(QPoint(0, 0), m_track.image, QRect(0, 0, m_width, m_height));
    }
  }
  const QRect thumb = ThumbRect();
  if (!thumb.isNull()) {
    const QPixmap& image = m_dragging && m_thumb.hasActive ? m_thumb.active : m_thumb.image;
    painter.drawPixmap(thumb.topLeft(), image);
  }
}

void CSkinSlider::Post(win::UINT message) {
  if (QWidget* parent = parentWidget())
    QCoreApplication::postEvent(parent, new SkinSliderEvent(message, m_controlId, m_position));
}

void CSkinSlider::DragTo(int c) {
  const SkinSliderAxis axis = Axis();
  const int t = axis.ClampDrag(c - m_grabOffset);
  if (t == axis.PixelOf(m_position)) return;
  const int before = m_position;
  SetPos(axis.PositionOf(t));
  // Only a change is reported: a pointer held past an end (or on a pixel whose positions round to the
  // current one) stays silent.
  if (m_position != before) Post(WM_SKINSLIDER_MOVING);
}

void CSkinSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  if (!m_enabled) return;
  setFocus(Qt::MouseFocusReason);
  m_dragging = true;
  const SkinSliderAxis axis = Axis();
  const int c = Coordinate(event->position().toPoint());
  const int pixel = axis.PixelOf(m_position);
  // Far from the thumb it jumps under the pointer; on the thumb it keeps its hold.
  m_grabOffset = std::abs(int64_t(c) - pixel) > axis.thumb / 2 ? 0 : c - pixel;
  DragTo(c);
  update();
  m_buttonDown = true;
}

void CSkinSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging || !m_enabled) return;
  DragTo(Coordinate(event->position().toPoint()));
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  if (!m_enabled) return;
  m_dragging = false;
  update();
  Post(WM_SKINSLIDER_MOVED);
  m_buttonDown = false;
}

void CSkinSlider::keyPressEvent(QKeyEvent* event) {
  if (!m_enabled) return;
  int step = 0;
  if (event->key() == Qt::Key_Left) step = -10;
  if (event->key() == Qt::Key_Right) step = 10;
  if (step == 0) return QWidget::keyPressEvent(event);
  SetPos(Saturated(int64_t(m_position) + step));
  Post(WM_SKINSLIDER_MOVED);
}

void CSkinSlider::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void CSkinSlider::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace tevalo::panels
