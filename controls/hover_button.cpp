#include "controls/hover_button.h"

#include "controls/resources.h"
#include "controls/skin_mask.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr COLORREF kStripKey = RGB(255, 0, 255);
}

CHoverButton::CHoverButton(QWidget* parent, int controlId) : QAbstractButton(parent), m_controlId(controlId) {
  setMouseTracking(true);
  setFocusPolicy(Qt::TabFocus);
  m_hoverTimer.setSingleShot(true);
  connect(&m_hoverTimer, &QTimer::timeout, this, [this] { OnMouseHover(); });
}

CHoverButton::~CHoverButton() = default;

int CHoverButton::LoadStrip(unsigned nID, int frames, bool whole) {
  QImage image = LoadBitmapResource(nID);
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return 0;
  m_strip = image.convertToFormat(QImage::Format_RGB32);
  m_keyedStrip = PixmapWithKeyTransparent(m_strip, kStripKey);
  m_whole = whole;
  m_frameHeight = m_strip.height();
  m_frameWidth = whole ? m_strip.width() : m_strip.width() / frames;
  resize(m_frameWidth, m_frameHeight);
  update();
  return 1;
}

int CHoverButton::LoadBitmapW(unsigned nID, bool whole) { return LoadStrip(nID, 3, whole); }

void CHoverButton::SetToolTipText(const QString* pText, bool) {
  if (pText == nullptr || pText->isEmpty()) return;
  setToolTip(*pText);
}

void CHoverButton::SetToolTipText(int nID, bool bActivate) {
  const QString text = LoadStringResource(static_cast<unsigned>(nID));
  SetToolTipText(&text, bActivate);
}

void CHoverButton::SetToolTipText(const QString& text, bool bActivate) { SetToolTipText(&text, bActivate); }

void CHoverButton::setHideButton(bool bHide) { m_hide = bHide; }

int CHoverButton::ChooseFrame(bool selected) const {
  if (m_hide) return 0;
  if (selected) {
    m_pressedLatch = true;
    return 1;
  }
  if (m_pressedLatch) return 1;
  if (m_hover) return 2;
  return 0;
}

int CHoverButton::CurrentFrame() const {
  const bool latch = m_pressedLatch;
  const int frame = ChooseFrame(isDown());
  m_pressedLatch = latch;
  return frame;
}

void CHoverButton::DrawFrame(QPainter& painter, int frame) const {
  if (m_strip.isNull() || m_frameWidth <= 0) return;
  // A whole bitmap is a single picture: every state shows it.
  if (m_whole) frame = 0;
  const QRect source(frame * m_frameWidth, 0, m_frameWidth, m_frameHeight);
  if (TransparentFrames())
    painter.drawPixmap(QPoint(0, 0), m_keyedStrip, source);
  else
    painter.drawImage(QPoint(0, 0), m_strip, source);
}

void CHoverButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawFrame(painter, ChooseFrame(isDown()));
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event) {
  if (!m_tracking) {
    m_tracking = true;
    m_hoverTimer.start(1);
  }
  QAbstractButton::mouseMoveEvent(event);
}

void CHoverButton::OnMouseHover() {
  if (!m_tracking) return;  // left again before the hover time ran out
  m_hover = true;
  if (!m_hide) update();
}

void CHoverButton::OnMouseLeave() {
  m_hoverTimer.stop();
  m_tracking = false;
  m_hover = false;
  m_pressedLatch = false;
  if (!m_hide) update();
}

void CHoverButton::leaveEvent(QEvent* event) {
  OnMouseLeave();
  QAbstractButton::leaveEvent(event);
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    m_hover = true;
    m_pressedLatch = false;
    update();
  }
  QAbstractButton::mouseReleaseEvent(event);
}

void CHoverButton::keyReleaseEvent(QKeyEvent* event) {
  QAbstractButton::keyReleaseEvent(event);
  // A keyboard press draws the button selected too; its release must let go of the latch.
  if (!isDown()) {
    m_pressedLatch = false;
    update();
  }
}

void CHoverButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) m_enabledState = isEnabled();
}

CHoverButtonEx::CHoverButtonEx(QWidget* parent, int controlId) : CHoverButton(parent, controlId) {}

int CHoverButtonEx::LoadBitmapW(unsigned nID) { return LoadStrip(nID, 4, false); }

int CHoverButtonEx::ChooseFrame(bool selected) const {
  if (m_locked) return 3;
  if (selected) return 1;
  if (m_hover) return 2;
  return 0;
}

CToggleButton::CToggleButton(QWidget* parent, int controlId) : CHoverButton(parent, controlId) {}

void CToggleButton::SetToggle() {
  m_checked = !m_checked;
  update();
}

void CToggleButton::SetCheckState(bool checked) {
  m_checked = checked;
  update();
}

int CToggleButton::ChooseFrame(bool) const {
  if (m_checked) return 1;
  if (m_hover) return 2;
  return 0;
}

CToggleButtonEx::CToggleButtonEx(QWidget* parent, int controlId) : CToggleButton(parent, controlId) {}

int CToggleButtonEx::LoadBitmapW(unsigned nID, bool bCheckedHover) {
  const int result = LoadStrip(nID, 4, false);
  if (result) m_checkedHover = bCheckedHover;
  return result;
}

void CToggleButtonEx::SetToggle() {
  m_checked = !m_checked;
  update();
}

void CToggleButtonEx::SetCheckState(bool checked) {
  m_checked = checked;
  update();
}

int CToggleButtonEx::ChooseFrame(bool) const {
  if (m_locked) return 3;
  if (!m_checked) return m_hover ? 2 : 0;
  return (m_hover && m_checkedHover) ? 3 : 1;
}
