// The player's bitmap slider: a track (and optionally an "active" track before the thumb) and a
// thumb (and optionally one shown while dragging), horizontal or vertical, with an integer range, mouse
// dragging and the two arrow keys. Changes reach the parent as posted `SkinSliderEvent`s.
#pragma once

#include <QEvent>
#include <QPixmap>
#include <QWidget>

#include "controls/colorref.h"
#include "platform/window/messages.h"

namespace tevalo::panels {

inline constexpr win::UINT WM_SKINSLIDER_MOVING = win::WM_APP + 1005;  // the position changed in a drag
inline constexpr win::UINT WM_SKINSLIDER_MOVED = win::WM_APP + 1006;   // button released or arrow key

// Key colour meaning "the colour of the image's pixel at (keyX, keyY)".
inline constexpr COLORREF kKeyFromPixel = 0xFF000000;

// Posted to the slider's parent; carries the position at posting time.
class SkinSliderEvent : public QEvent {
 public:
  SkinSliderEvent(win::UINT message, int controlId, int position);
  static QEvent::Type Type();

  win::UINT message;  // WM_SKINSLIDER_MOVING or WM_SKINSLIDER_MOVED
  int controlId;
  int position;
};

// Positions and pixels along the slider's axis. A pixel is where the thumb's centre stands.
struct SkinSliderAxis {
  int length = 0;  // track width (horizontal) or height (vertical)
  int startMargin = 0;
  int endMargin = 0;
  int thumb = 0;  // thumb width or height
  int minimum = 0;
  int maximum = 100;

  int Travel() const;
  // An empty range or no travel pins the thumb at the start and every pixel at the minimum.
  bool Pinned() const;
  int PixelOf(int position) const;
  int PositionOf(int pixel) const;
  // Where a drag to pixel t leaves the thumb: within the travel.
  int ClampDrag(int t) const;
};

class CSkinSlider : public QWidget {
  Q_OBJECT
 public:
  explicit CSkinSlider(QWidget* parent = nullptr, int controlId = 0);
  ~CSkinSlider() override;

  // Public layout members, written directly by the owner.
  int m_bTiled = 0;  // kept for the owners; transparency is never asked for, so it changes nothing
  int m_nLeftMargin = 0;
  int m_nRightMargin = 0;
  int m_nTopMargin = 0;
  int m_nBottomMargin = 0;

  void SetVertical(bool vertical);
  void SetRangeMax(int max, bool redraw = false);
  void SetRangeMin(int min, bool redraw = false);
  void SetRange(int min, int max, bool redraw = false);
  // Clamped into the range; the minimum wins over a lower maximum. Posts nothing.
  void SetPos(int pos);
  int GetPos() const { return m_position; }
  int GetRangeMin() const { return m_minimum; }
  int GetRangeMax() const { return m_maximum; }
  // Disabling during a drag ends it.
  void EnableSlider(bool enable);
  bool IsSliderEnabled() const { return m_enabled; }
  // True from a left press on the slider to its release.
  bool IsDragging() const { return m_buttonDown; }
  int GetDlgCtrlID() const { return m_controlId; }

  // bitmapId 0 unloads the track. The control takes width x the bitmap's height. A failed load leaves
  // the track unloaded and returns false.
  bool SetTrackBitmaps(int width, unsigned bitmapId, unsigned activeBitmapId, bool transparent,
                       COLORREF keyColour, int keyX, int keyY);
  // Same for the thumb; without a track the control keeps its size.
  bool SetThumbBitmaps(unsigned bitmapId, unsigned activeBitmapId, bool transparent, COLORREF keyColour,
                       int keyX, int keyY);

  bool TrackLoaded() const { return m_track.loaded; }
  bool ThumbLoaded() const { return m_thumb.loaded; }
  SkinSliderAxis Axis() const;
  // The thumb's rectangle, null when it is not drawn.
  QRect ThumbRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  struct Group {
    QPixmap image;
    QPixmap active;
    bool hasActive = false;
    bool loaded = false;
    bool transparent = false;
    void Clear() { *this = Group(); }
  };
  static bool LoadGroup(Group& group, unsigned bitmapId, unsigned activeBitmapId, bool transparent,
                        COLORREF keyColour, int keyX, int keyY);
  int Coordinate(QPoint p) const { return m_vertical ? p.y() : p.x(); }
  void DragTo(int c);
  void Post(win::UINT message);

  int m_controlId;
  int m_maximum = 100;
  int m_minimum = 0;
  int m_position = 0;
  int m_width = 0;
  int m_height = 0;
  int m_grabOffset = 0;
  bool m_vertical = false;
  bool m_dragging = false;
  bool m_enabled = true;
  bool m_buttonDown = false;
  Group m_track;
  Group m_thumb;
};

}  // namespace tevalo::panels
