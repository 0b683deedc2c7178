// Edge snapping and sticky docking of the floating panels: an edge that comes within 10 pixels of a
// partner's edge (the main window's or the other panel's) snaps onto it, a snapped panel holds still
// until the drag has pulled it more than 10 pixels away, and a panel that sits on the main window
// (directly, or through the other panel) is docked, so the main window carries it along.
//
// Plain logic on screen rectangles: the panels run it from their drag loop.
#pragma once

namespace tevalo::panels {

// A screen rectangle; right and bottom lie one past the last pixel.
struct SnapRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const SnapRect&) const = default;
};

struct SnapPoint {
  int x = 0, y = 0;
  bool operator==(const SnapPoint&) const = default;
};

inline SnapRect RectAt(SnapPoint topLeft, int width, int height) {
  return {topLeft.x, topLeft.y, topLeft.x + width, topLeft.y + height};
}

// Where the panel touches its partner.
enum SnapEdge : int {
  kSnapNone = 0,
  kSnapAbove = 1,  // its bottom at the partner's top
  kSnapLeft = 2,   // its right at the partner's left
  kSnapBelow = 3,  // its top at the partner's bottom
  kSnapRight = 4,  // its left at the partner's right
};

class CSnapHelper {
 public:
  virtual ~CSnapHelper() = default;

  // The edge code of panel q against partner p (priority right, left, below, above).
  int GetSnapEdge(const SnapRect& p, const SnapRect& q) const;
  // The top-left that puts q onto the edge of p that GetSnapEdge names (q's own when none).
  SnapPoint SnapToMainWindow(const SnapRect& p, const SnapRect& q) const;
  // The closed ranges [left, right] (or [top, bottom]) have a point in common.
  static bool OverlapsHorizontally(const SnapRect& a, const SnapRect& b);
  static bool OverlapsVertically(const SnapRect& a, const SnapRect& b);
};

// A panel's snapping and docking state.
struct PanelDock {
  int edgeToMain = kSnapNone;
  int edgeToOther = kSnapNone;
  bool docked = false;
  // Pull accumulated while snapped to the main window alone, the other panel alone, and both.
  SnapPoint pullMain, pullOther, pullBoth;
  SnapPoint position;     // the panel's top-left
  SnapPoint mainTopLeft;  // the main window's top-left when position was taken
  SnapPoint offset;       // position - main window's top-left, taken when a docked panel hides
};

// The other floating panel as the snapping sees it; dock is null when that panel does not exist.
struct OtherPanel {
  PanelDock* dock = nullptr;
  SnapRect rect;
  bool shown = false;
  bool Present() const { return dock && shown; }
};

inline constexpr int kSnapDistance = 10;

// One step of a drag: main is the main window, proposed where the drag would put the panel; returns
// the panel's new top-left. Snapping only moves the panel, it never sizes it.
SnapPoint DragSnap(PanelDock& self, const SnapRect& main, const SnapRect& proposed, OtherPanel other);

// Hiding: a docked panel keeps its offset to the main window, and the other panel stops counting as
// docked when it was docked only through this one.
void HidePanel(PanelDock& self, OtherPanel other);
// Showing: the top-left the panel is shown at. A position off the screen (x at or beyond the width,
// y at or beyond the height - 50, or either negative) becomes fallback; a docked panel goes to the
// main window's top-left plus its offset.
SnapPoint ShowPosition(PanelDock& self, SnapPoint mainTopLeft, int screenWidth, int screenHeight,
                       SnapPoint fallback);
// After showing: docked when it touches the main window, or the other panel while that one is docked.
void AfterShow(PanelDock& self, const SnapRect& main, const SnapRect& panel, OtherPanel other);
// The main window moved to mainTopLeft: a docked panel moves by the same amount. Returns the panel's
// top-left (unchanged when it is not docked).
SnapPoint CarryAlong(PanelDock& self, SnapPoint mainTopLeft);

}  // namespace tevalo::panels
