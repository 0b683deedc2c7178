#include "updater/hover_button.h"

namespace tevalo::updater {

int CHoverButton::ChooseFrame(bool selected) const {
  if (selected) {
    m_pressedLatch = true;
    return 1;
  }
  if (!isEnabled()) return 0;
  if (m_pressedLatch) return 1;
  if (m_hover) return 2;
  return 0;
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event) {
  // Skips the library button's release step, which would drop the pressed latch.
  QAbstractButton::mouseReleaseEvent(event);
}

}  // namespace tevalo::updater
