#include "controls/base_dialog.h"

#include "controls/skin_mask.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace {
constexpr Qt::WindowFlags kFlags = Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

COstrelBaseDialog::COstrelBaseDialog(unsigned nIDTemplate, QWidget* parent)
    : QDialog(parent, kFlags), m_template(nIDTemplate) {}

COstrelBaseDialog::COstrelBaseDialog(QWidget* parent) : QDialog(parent, kFlags) {}

COstrelBaseDialog::~COstrelBaseDialog() = default;

bool COstrelBaseDialog::OnInitDialog() {
  DoDataExchange();
  QRect area;
  if (parentWidget() != nullptr && parentWidget()->isVisible())
    area = parentWidget()->window()->frameGeometry();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    area = screen->availableGeometry();
  if (area.isValid()) {
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
  }
  setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
  hide();
  return true;
}

int COstrelBaseDialog::DoModal() {
  if (!OnInitDialog()) return -1;
  return exec();
}

bool COstrelBaseDialog::Create() { return OnInitDialog(); }

void COstrelBaseDialog::OnLButtonDown(Qt::KeyboardModifiers, QPoint point) {
  m_dragging = true;
  m_lastMouse = mapToGlobal(point);
}

void COstrelBaseDialog::mousePressEvent(QMouseEvent* event) {
  // Children that take the press (buttons) never get here; a press on the bare surface drags.
  if (event->button() == Qt::LeftButton) {
    OnLButtonDown(event->modifiers(), event->position().toPoint());
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

void COstrelBaseDialog::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton)) {
    const QPoint mouse = event->globalPosition().toPoint();
    const QPoint proposed = pos() + (mouse - m_lastMouse);
    m_lastMouse = mouse;
    move(OnMoving(proposed));
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void COstrelBaseDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (m_dragging && event->button() == Qt::LeftButton) {
    m_dragging = false;
    event->accept();
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

bool COstrelBaseDialog::SetTransparentColor(COLORREF crKey, bool bEnable) {
  m_keyed = bEnable;
  m_key = crKey;
  if (bEnable) {
    ApplyColorKey();
  } else {
    clearMask();
    update();
  }
  return true;
}

void COstrelBaseDialog::ApplyColorKey() {
  // Rendering a hidden window delivers its pending resize, which would come back here.
  if (!m_keyed || size().isEmpty() || m_applyingKey) return;
  m_applyingKey = true;
  clearMask();
  const QImage picture = grab().toImage();
  setMask(MaskFromKeyColor(picture, m_key));
  m_applyingKey = false;
}

void COstrelBaseDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ApplyColorKey();
}
