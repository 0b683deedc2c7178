#include "controls/slider_ctrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kThumbBreadth = 11;  // thumb size along the channel
constexpr int kThumbLength = 21;   // thumb size across the channel
constexpr int kChannelInset = 8;   // channel ends, so the thumb fits at both extremes
constexpr int kChannelThickness = 4;

int Position(int from, int span, int min, int max, int value) {
  if (max <= min) return from;
  value = std::clamp(value, min, max);
  return from + static_cast<int>(static_cast<int64_t>(span) * (value - min) / (max - min));
}
}  // namespace

SliderGeometry ComputeSliderGeometry(QSize client, Qt::Orientation orientation, int min, int max, int value) {
  SliderGeometry g;
  const bool horizontal = orientation == Qt::Horizontal;
  const int along = horizontal ? client.width() : client.height();
  const int across = horizontal ? client.height() : client.width();
  const int span = std::max(0, along - 2 * kChannelInset);
  const int thumbLength = std::max(1, std::min(kThumbLength, across - 4));
  const int centre = across / 2;
  const int pos = Position(kChannelInset, span, min, max, value);
  if (horizontal) {
    g.channel = QRect(kChannelInset, centre - kChannelThickness / 2, span, kChannelThickness);
    g.edge = g.channel.adjusted(0, -2, 0, 2);
    g.thumb = QRect(pos - kThumbBreadth / 2, centre - thumbLength / 2, kThumbBreadth, thumbLength);
  } else {
    g.channel = QRect(centre - kChannelThickness / 2, kChannelInset, kChannelThickness, span);
    g.edge = g.channel.adjusted(-1, 0, 1, 0);
    g.thumb = QRect(centre - thumbLength / 2, pos - kThumbBreadth / 2, thumbLength, kThumbBreadth);
  }
  return g;
}

COstrelSliderCtrl::COstrelSliderCtrl(Qt::Orientation orientation, QWidget* parent, int controlId)
    : QSlider(orientation, parent), m_controlId(controlId) {}

void COstrelSliderCtrl::SetThumbColors(COLORREF normal, COLORREF pressed) {
  m_normal = normal;
  m_pressed = pressed;
}

void COstrelSliderCtrl::DrawTransparent(bool bRepaint) {
  if (bRepaint) update();
}

SliderGeometry COstrelSliderCtrl::Geometry() const {
  return ComputeSliderGeometry(size(), orientation(), minimum(), maximum(), value());
}

QColor COstrelSliderCtrl::ThumbColor(bool pressed) const {
  const COLORREF c = pressed ? m_pressed : m_normal;
  if (c != 0) return ColorFromColorRef(c);
  return pressed ? palette().color(QPalette::Light) : palette().color(QPalette::Button);
}

void COstrelSliderCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const SliderGeometry g = Geometry();
  // Sunken edge: dark above/left, light below/right.
  const QRect e = g.edge;
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(e.topLeft(), e.topRight());
  painter.drawLine(e.topLeft(), e.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(e.bottomLeft(), e.bottomRight());
  painter.drawLine(e.topRight(), e.bottomRight());
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.setBrush(ThumbColor(isSliderDown()));
  painter.drawEllipse(g.thumb);
}

int COstrelSliderCtrl::ValueAt(QPoint pos) const {
  const SliderGeometry g = Geometry();
  const bool horizontal = orientation() == Qt::Horizontal;
  const int from = horizontal ? g.channel.left() : g.channel.top();
  const int span = horizontal ? g.channel.width() : g.channel.height();
  const int at = horizontal ? pos.x() : pos.y();
  if (span <= 0 || maximum() <= minimum()) return minimum();
  const int64_t offset = std::clamp(at - from, 0, span);
  return minimum() + static_cast<int>(offset * (maximum() - minimum()) / span);
}

void COstrelSliderCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QSlider::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  if (Geometry().thumb.contains(pos)) {
    m_dragging = true;
    setSliderDown(true);
  } else {
    // A click beside the thumb pages towards the click.
    const int target = ValueAt(pos);
    triggerAction(target > value() ? SliderPageStepAdd : SliderPageStepSub);
  }
  event->accept();
}

void COstrelSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging) return QSlider::mouseMoveEvent(event);
  setSliderPosition(ValueAt(event->position().toPoint()));
  event->accept();
}

void COstrelSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (!m_dragging) return QSlider::mouseReleaseEvent(event);
  m_dragging = false;
  setSliderDown(false);
  update();
  event->accept();
}
