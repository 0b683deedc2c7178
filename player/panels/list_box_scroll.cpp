#include "player/panels/list_box_scroll.h"

#include <algorithm>
#include <cmath>

namespace tevalo::panels {

int ListBoxScroll::ClampTop(int top) const { return std::clamp(top, 0, MaxTop()); }

void ListBoxScroll::ClampThumb() {
  if (m_thumbTop + m_thumbHeight >= kBarHeight)
    m_thumbTop = kBarHeight - m_thumbHeight;
  else if (m_thumbTop < 0)
    m_thumbTop = 0;
}

void ListBoxScroll::Update() {
  ClampThumb();
  if (Scrollable()) m_thumbHeight = std::max(kBarHeight * kRowsPerPage / m_rows, kMinThumb);
}

void ListBoxScroll::Layout() {
  if (!Scrollable()) return;
  m_thumbHeight = std::max(kBarHeight * kRowsPerPage / m_rows, kMinThumb);
  m_top = ClampTop(m_top);
  const float ratio = static_cast<float>(kBarHeight - m_thumbHeight) / static_cast<float>(m_rows - 5);
  const float place = (static_cast<float>(m_top) + 0.5f) * ratio;
  m_thumbTop = place < ratio ? 0 : static_cast<int>(place);
  ClampThumb();
}

// Rows to pixels and back multiply before they divide, so the last top row puts the thumb exactly at
// the bottom.
void ListBoxScroll::ThumbFromTop() {
  m_thumbTop = static_cast<int>(static_cast<float>(m_top) * static_cast<float>(kBarHeight - m_thumbHeight) /
                                static_cast<float>(m_rows - kRowsPerPage));
}

void ListBoxScroll::Press(int x, int y) {
  m_pressed = true;
  m_pressX = x;
  m_pressY = y;
  m_thumbTopAtPress = m_thumbTop;
  m_dragging = Scrollable() && x >= 1 && x <= 8 && y >= m_thumbTop && y <= m_thumbTop + m_thumbHeight;
}

bool ListBoxScroll::MoveTo(int y) {
  if (!m_dragging) return false;
  const int pulled = m_thumbTopAtPress + y - m_pressY;
  m_thumbTop = pulled;
  const int before = m_top;
  const float rows = static_cast<float>(pulled) * static_cast<float>(m_rows - kRowsPerPage) /
                     static_cast<float>(kBarHeight - m_thumbHeight);
  m_top = ClampTop(static_cast<int>(std::floor(rows + 0.5f)));
  ClampThumb();
  return m_top != before;
}

bool ListBoxScroll::Release(int x, int y) {
  Update();
  const int before = m_top;
  const bool onThumbColumn = x >= 0 && x <= 7;
  if (m_pressed && Scrollable() && x == m_pressX && y == m_pressY && onThumbColumn) {
    if (y >= 0 && y < m_thumbTop) {
      m_top = m_top < 7 ? 0 : m_top - kRowsPerPage;
      m_top = ClampTop(m_top);
      ThumbFromTop();
    } else if (y >= m_thumbTop + m_thumbHeight && y <= kBarHeight) {
      m_top = ClampTop(m_top + kRowsPerPage >= m_rows - 5 ? m_rows - 5 : m_top + kRowsPerPage);
      ThumbFromTop();
    }
  }
  ClampThumb();
  m_dragging = false;
  m_pressed = false;
  m_pressX = m_pressY = m_thumbTopAtPress = 0;
  return m_top != before;
}

bool ListBoxScroll::Wheel(int delta) {
  if (!Scrollable()) return false;
  const bool up = m_top > 0 && (delta == 120 || delta == 240);
  const bool down = m_top + kRowsPerPage < m_rows && (delta == -120 || delta == -240);
  if (!up && !down) return false;
  const int before = m_top;
  m_top = ClampTop(m_top - delta / 120);
  ThumbFromTop();
  return m_top != before;
}

}  // namespace tevalo::panels
