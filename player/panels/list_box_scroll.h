// The channel list box's scroll bar as plain geometry: thumb size and place from the list's row count
// and top row, and what a thumb drag, a click beside the thumb (a page) and the wheel do to them.
#pragma once

namespace tevalo::panels {

class ListBoxScroll {
 public:
  static constexpr int kBarWidth = 9;
  static constexpr int kBarHeight = 126;  // six rows of 21 pixels
  static constexpr int kMinThumb = 22;
  static constexpr int kRowsPerPage = 6;

  void SetRows(int rows) { m_rows = rows; }
  int Rows() const { return m_rows; }
  // The list scrolls only with more rows than a page shows.
  bool Scrollable() const { return m_rows > kRowsPerPage; }
  int MaxTop() const { return Scrollable() ? m_rows - kRowsPerPage : 0; }

  int Top() const { return m_top; }
  void SetTop(int top) { m_top = ClampTop(top); }
  int ThumbTop() const { return m_thumbTop; }
  int ThumbHeight() const { return m_thumbHeight; }
  bool Dragging() const { return m_dragging; }

  // Keeps the thumb inside the bar.
  void ClampThumb();
  // UpdateScrollBar: thumb kept inside; with a scrollable list, the thumb height from the row count.
  void Update();
  // Paint: thumb height and place from the top row (scrollable lists only).
  void Layout();

  // Mouse on the bar, in bar coordinates. Each returns true when the list's top row changed.
  void Press(int x, int y);
  bool MoveTo(int y);
  bool Release(int x, int y);
  // A wheel delta (120 a notch): one row a notch, at most two.
  bool Wheel(int delta);

 private:
  int ClampTop(int top) const;
  void ThumbFromTop();

  int m_rows = 0;
  int m_top = 0;
  int m_thumbTop = 0;
  int m_thumbHeight = kMinThumb;
  bool m_pressed = false;
  bool m_dragging = false;
  int m_pressX = 0, m_pressY = 0;
  int m_thumbTopAtPress = 0;
};

}  // namespace tevalo::panels
