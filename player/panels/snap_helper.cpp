#include "player/panels/snap_helper.h"

#include <cstdlib>

namespace tevalo::panels {
namespace {

// Strictly closer than the snap distance.
bool Near(int a, int b) { return std::abs(a - b) < kSnapDistance; }
// Up to the snap distance, inclusive.
bool Within(int a, int b) { return std::abs(a - b) <= kSnapDistance; }

// Holds a snapped panel still until the pull in a direction exceeds the snap distance, then lets it
// follow the pull in that direction.
SnapPoint Sticky(PanelDock& self, const SnapRect& main, const SnapRect& q, SnapPoint at, SnapPoint& pull) {
  self.mainTopLeft = {main.left, main.top};
  pull.x += q.left - at.x;
  pull.y += q.top - at.y;
  if (std::abs(pull.x) > kSnapDistance) {
    at.x += pull.x;
    pull.x = 0;
    self.docked = false;
  }
  if (std::abs(pull.y) > kSnapDistance) {
    at.y += pull.y;
    pull.y = 0;
    self.docked = false;
  }
  self.position = at;
  return at;
}

}  // namespace

bool CSnapHelper::OverlapsHorizontally(const SnapRect& a, const SnapRect& b) {
  return a.left <= b.right && b.left <= a.right;
}

bool CSnapHelper::OverlapsVertically(const SnapRect& a, const SnapRect& b) {
  return a.top <= b.bottom && b.top <= a.bottom;
}

int CSnapHelper::GetSnapEdge(const SnapRect& p, const SnapRect& q) const {
  int edge = kSnapNone;
  if (OverlapsHorizontally(p, q)) {
    if (Near(q.bottom, p.top)) edge = kSnapAbove;
    if (Near(q.top, p.bottom)) edge = kSnapBelow;
  }
  if (OverlapsVertically(p, q)) {
    if (Near(q.right, p.left)) edge = kSnapLeft;
    if (Near(q.left, p.right)) edge = kSnapRight;
  }
  return edge;
}

SnapPoint CSnapHelper::SnapToMainWindow(const SnapRect& p, const SnapRect& q) const {
  SnapPoint at{q.left, q.top};
  switch (GetSnapEdge(p, q)) {
    case kSnapAbove:
    case kSnapBelow: {
      const bool above = GetSnapEdge(p, q) == kSnapAbove;
      at.y = above ? p.top - q.Height() : p.bottom;
      // Aligning the right edges is a little more willing above the partner than below it.
      const bool rightNear = above ? Within(q.right, p.right) : Near(q.right, p.right);
      if (Near(q.left, p.left))
        at.x = p.left;
      else if (rightNear)
        at.x = p.right - q.Width();
      break;
    }
    case kSnapLeft:
    case kSnapRight:
      at.x = GetSnapEdge(p, q) == kSnapLeft ? p.left - q.Width() : p.right;
      if (Within(q.top, p.top))
        at.y = p.top;
      else if (Within(q.bottom, p.bottom))
        at.y = p.bottom - q.Height();
      break;
    default:
      break;
  }
  return at;
}

SnapPoint DragSnap(PanelDock& self, const SnapRect& main, const SnapRect& q, OtherPanel other) {
  const CSnapHelper snap;
  self.edgeToMain = snap.GetSnapEdge(main, q);
  self.edgeToOther = kSnapNone;
  if (other.Present()) {
    self.edgeToOther = snap.GetSnapEdge(other.rect, q);
    PanelDock& o = *other.dock;
    // Leaving the other panel undocks it when it hung on the main window only through this one.
    if (self.edgeToOther == kSnapNone && o.docked && o.edgeToOther != kSnapNone &&
        o.edgeToMain == kSnapNone) {
      o.edgeToOther = kSnapNone;
      o.docked = false;
    }
  }

  if (self.edgeToMain != kSnapNone && self.edgeToOther != kSnapNone) {
    const SnapPoint a = snap.SnapToMainWindow(main, q);
    const SnapPoint b = snap.SnapToMainWindow(other.rect, q);
    const bool movedX = a.x != q.left, movedY = a.y != q.top;
    SnapPoint at;
    if (movedX && movedY)
      at = a;
    else if (movedX)
      at = {a.x, b.y};
    else if (movedY)
      at = {b.x, a.y};
    else
      at = a.x == b.x ? SnapPoint{a.x, b.y} : SnapPoint{b.x, a.y};
    self.docked = true;
    return Sticky(self, main, q, at, self.pullBoth);
  }
  if (self.edgeToMain != kSnapNone) {
    self.docked = true;
    return Sticky(self, main, q, snap.SnapToMainWindow(main, q), self.pullMain);
  }
  if (self.edgeToOther != kSnapNone) {
    self.docked = other.dock->docked;
    return Sticky(self, main, q, snap.SnapToMainWindow(other.rect, q), self.pullOther);
  }
  self.docked = false;
  self.position = {q.left, q.top};
  return self.position;
}

void HidePanel(PanelDock& self, OtherPanel other) {
  if (other.Present() && other.dock->docked && other.dock->edgeToMain == kSnapNone)
    other.dock->docked = false;
  if (self.docked) self.offset = {self.position.x - self.mainTopLeft.x, self.position.y - self.mainTopLeft.y};
}

SnapPoint ShowPosition(PanelDock& self, SnapPoint mainTopLeft, int screenWidth, int screenHeight,
                       SnapPoint fallback) {
  const SnapPoint p = self.position;
  if (p.x >= screenWidth || p.y >= screenHeight - 50 || p.x < 0 || p.y < 0) self.position = fallback;
  if (self.docked) {
    self.position = {mainTopLeft.x + self.offset.x, mainTopLeft.y + self.offset.y};
    self.mainTopLeft = mainTopLeft;
  }
  return self.position;
}

void AfterShow(PanelDock& self, const SnapRect& main, const SnapRect& panel, OtherPanel other) {
  const CSnapHelper snap;
  self.docked = false;
  self.edgeToMain = snap.GetSnapEdge(main, panel);
  if (self.edgeToMain != kSnapNone) {
    self.docked = true;
  } else if (other.Present()) {
    self.edgeToOther = snap.GetSnapEdge(other.rect, panel);
    self.docked = self.edgeToOther != kSnapNone && other.dock->docked;
  }
}

SnapPoint CarryAlong(PanelDock& self, SnapPoint mainTopLeft) {
  if (self.docked) {
    self.position.x += mainTopLeft.x - self.mainTopLeft.x;
    self.position.y += mainTopLeft.y - self.mainTopLeft.y;
    self.mainTopLeft = mainTopLeft;
  }
  return self.position;
}

}  // namespace tevalo::panels
