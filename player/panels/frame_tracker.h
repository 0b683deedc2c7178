// Drags a rectangle, or one of its edges or corners, with the mouse while an outline follows the
// pointer; the owner reads the new rectangle back and applies it. All points are in screen
// coordinates.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QWidget;
class QEventLoop;

namespace tevalo::panels {

// Zones in hit-test order.
enum TrackerZone : unsigned {
  kZoneNone = 0,
  kZoneTopLeft = 1,
  kZoneTopRight = 2,
  kZoneBottomRight = 4,
  kZoneBottomLeft = 8,
  kZoneTop = 16,
  kZoneRight = 32,
  kZoneBottom = 64,
  kZoneLeft = 128,
  kZoneWhole = 256,
};

// A rectangle as the owners keep window rectangles: right and bottom are one past the last pixel.
struct TrackerRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(QPoint p) const { return p.x() >= left && p.x() < right && p.y() >= top && p.y() < bottom; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  bool operator==(const TrackerRect&) const = default;
};

class CFrameTracker {
 public:
  static constexpr unsigned kAllZones = 511;
  static constexpr int kZoneSize = 30;

  void SetRect(int left, int top, int right, int bottom) { m_rect = {left, top, right, bottom}; }
  TrackerRect GetRect() const { return m_rect; }

  // The zone under a screen point: 0 for an empty rectangle, outside the handles' reach, or between
  // them outside the rectangle.
  unsigned HitTest(QPoint screen) const;
  // The square around a corner or edge zone's anchor, or the rectangle itself for the whole zone.
  TrackerRect ZoneRect(unsigned zone) const;

  // Runs the drag from a press at `screen` until the left button is released, Esc is pressed, the
  // mouse grab is lost or the application quits; Esc and a lost grab put the dragged edges back. The
  // owner holds the mouse and keyboard grabs meanwhile; other buttons and keys are swallowed.
  void Track(QWidget* owner, QPoint screen);
  bool Tracking() const { return m_tracking; }
  // The outline shown while tracking (a top-level window shaped as a frame); null otherwise.
  const QWidget* Outline() const { return m_outline; }

  // The drag's steps, exposed for tests: the active zone moves by the pointer's travel since the last
  // step; crossed edges swap and the zone mirrors.
  void BeginMove(unsigned zone, QPoint at);
  void MoveTo(QPoint at);
  unsigned ActiveZone() const { return m_zone; }

 private:
  class Filter;
  class OutlineWindow;
  void ShowOutline();

  TrackerRect m_rect;
  QPoint m_last;
  QPoint m_start;
  unsigned m_zone = kZoneNone;
  unsigned m_zoneMask = kAllZones;
  bool m_tracking = false;
  QWidget* m_outline = nullptr;
};

}  // namespace tevalo::panels
