#include "player/shell/main_geometry.h"

#include <algorithm>

namespace tevalo::shell {

Size NormalViewSize(bool compact, bool captionShown) {
  if (compact) return kCompactViewSize;
  return captionShown ? kNormalCaptionViewSize : kNormalViewSize;
}

Size LargeViewSize(bool compact, int videoHeight) {
  if (!compact) return kLargeViewSize;
  // Without a picture the width formula collapses to a couple of pixels.
  int width = videoHeight > 0 ? 2 * (videoHeight * 16 / 9) : 640;
  return {width, 408};
}

bool LargeViewRefused(SourceMode mode, bool ready, bool tunerFound) {
  return mode != SourceMode::kRecording && ready && (mode == SourceMode::kOther || !tunerFound);
}

Size Fit16x9(int w, int h) {
  if (w <= 0 || h <= 0) return {0, 0};
  if (int64_t{9} * w < int64_t{16} * h) return {w, w * 9 / 16};
  return {h * 16 / 9, h};
}

Rect FullScreenVideoRect(Size screen) {
  Size s = Fit16x9(screen.w, screen.h);
  return {(screen.w - s.w) / 2, (screen.h - s.h) / 2, s.w, s.h};
}

Rect VideoRect(Size client, bool compact, bool captionShown) {
  int areaW = compact ? client.w : client.w - 26;
  int areaH = compact ? client.h - 48 : client.h - 55 - (captionShown ? 207 : 147);
  Size s = Fit16x9(areaW, areaH);
  int x = (areaW - s.w) / 2 + (compact ? 0 : 13);
  int y = (areaH - s.h) / 2 + (compact ? 22 : 55);
  return {x, y, s.w, s.h};
}

std::vector<FramePiece> SkinFramePieces(Size c, bool fullScreen) {
  if (fullScreen) return {};
  const int W = c.w, H = c.h;
  return {
      {424, {0, 0, 84, 52}},
      {427, {84, 0, W - 168, 52}},
      {419, {W - 84, 0, 84, 52}},
      {423, {0, 52, 84, H - 146}},
      {426, {W - 84, 52, 84, H - 146}},
      {422, {0, H - 94, 84, 94}},
      {420, {84, H - 94, W - 168, 94}},
      {425, {W - 84, H - 94, 84, 94}},
      {454, {(W - 346) / 2 + 31, H - 76, 320, 124}},
      {499, {13, 7, 224, 16}},
  };
}

Rect LevelBarsRect(Size c) { return {c.w - 40, 37, 22, 12}; }
Rect RecordingIndicatorRect(Size c) { return {c.w - 130, 36, 80, 15}; }

std::vector<ControlPlace> LayoutControls(Size c, const ControlState& s) {
  const int X = (c.w - 346) / 2, B = c.h;
  const bool framed = !s.compact && !s.fullScreen;
  const bool ts = s.timeshift;
  auto button = [&](int id, int x, int y, int size, bool visible = true) {
    return ControlPlace{id, {x, y, size, size}, framed && visible, false};
  };
  std::vector<ControlPlace> p = {
      button(1042, c.w - 33, 6, 16),
      button(1041, c.w - 54, 6, 16),
      button(1039, c.w - 74, 6, 16),
      button(1052, X + 138, B - 33, 14),
      button(1053, X + 199, B - 33, 14),
      button(1077, X + 254, B - 68, 22, !s.recording),
      button(1078, X + 254, B - 68, 22, s.recording),
      button(1072, X + 286, B - 68, 22),
      button(1069, X + 136, B - 68, 22),
      button(1070, X + 163, B - 68, 22),
      button(1074, X + 195, B - 68, 22, ts),
      button(1075, X + 195, B - 68, 22, !ts),
      button(1073, X + 222, B - 68, 22),
      button(1061, X + 36, B - 68, 22, !s.muted),
      button(1062, X + 36, B - 68, 22, s.muted),
      {1076, {}, false, false},  // placed nowhere
      {static_cast<int>(Place::kVolumeSlider), {X + 63, B - 60, 59, 6}, framed, false},
      {static_cast<int>(Place::kChannelStrip), {13, 34, c.w - 153, 15}, framed, false},
      {static_cast<int>(Place::kCaptionWindow), {23, B - 197, c.w - 46, 60}, framed && s.captionShown, false},
      {static_cast<int>(Place::kProgrammeStrip),
       {23, B - 137, c.w - 46, 15},
       framed && !s.filePlays && s.epgOn,
       false},
      {static_cast<int>(Place::kStatusStrip), {23, B - 117, c.w - 46, 15}, framed, false},
      {static_cast<int>(Place::kAnimation), {(c.w - 120) / 2, (c.h - 75) / 2, 120, 75}, true, false},
  };
  for (auto& place : p) {
    if (place.id == 1073) place.hiddenLook = !(s.timeshift || s.timeshiftPlay);
    // Full screen keeps one way back: the full-screen button near the bottom-right corner.
    if (place.id == 1072 && s.fullScreen) place = {1072, {c.w - 60, c.h - 60, 22, 22}, true, false};
  }
  return p;
}

std::optional<ControlPlace> FindPlace(const std::vector<ControlPlace>& places, int id) {
  for (const auto& p : places)
    if (p.id == id) return p;
  return std::nullopt;
}

namespace {
bool Between(int v, int lo, int hi) { return v > lo && v < hi; }
}  // namespace

bool HitPlayIcon(Size c, int x, int y) { return Between(y, c.h - 40, c.h - 8) && Between(x, 15, 46); }

int HitSmallIcon(Size c, int x, int y) {
  if (!Between(y, c.h - 24, c.h - 12)) return -1;
  if (Between(x, 115, 139)) return 0;
  if (x >= 144 && x < 167) return 1;
  return -1;
}

bool HitSeekThumb(Size c, int thumbX, int x, int y) {
  return Between(y, c.h - 57, c.h - 47) && Between(x, thumbX + 7, thumbX + 37);
}

bool HitSeekBar(Size c, int x, int y) { return Between(y, c.h - 60, c.h - 44) && Between(x, 7, c.w); }

Rect PlayIconRect(Size c) { return {15, c.h - 40, 31, 32}; }
Rect SmallIconRect(Size c, int index) { return {index == 0 ? 115 : 143, c.h - 24, 24, 12}; }

int PlayIconBitmap(int state) {
  bool hover = state & kIconHover;
  switch (state & 0x0F) {
    case 1:
      return 146;
    case 2:
      return hover ? 145 : 144;
    default:
      return hover ? 143 : 142;
  }
}

int SmallIconBitmap(int index, int state) {
  bool hover = state & kIconHover;
  bool pressed = (state & 0x0F) == 1;
  if (index == 0) return pressed ? 159 : hover ? 163 : 164;
  return pressed ? 168 : hover ? 166 : 167;
}

int64_t SeekTarget(int64_t durationTenths, int thumbX, int clientWidth) {
  int track = clientWidth - 223;
  if (track <= 0 || durationTenths <= 0) return 0;
  int64_t t = durationTenths * std::clamp(thumbX, 0, track) / track;
  return t;
}

int DragSeekThumb(int thumbAtPress, int pressX, int x, int clientWidth) {
  return std::clamp(thumbAtPress + (x - pressX), 0, std::max(clientWidth - 223, 0));
}

bool CVerticalDrag::Move(int y) {
  m_accumulated += m_lastY - y;
  m_lastY = y;
  if (m_accumulated > 20) {
    m_accumulated -= 20;
    return true;
  }
  if (m_accumulated < -20) {
    m_accumulated += 20;
    return true;
  }
  return false;
}

Rect ClampTrackedRect(Rect r, bool compact, bool captionShown) {
  Size least = NormalViewSize(compact, captionShown);
  r.w = std::max(r.w, least.w);
  r.h = std::max(r.h, least.h);
  return r;
}

Rect FollowResize(Rect panel, int relation, Size growth, int refRight, int refBottom) {
  auto right = [&] {
    if (panel.x >= refRight) panel.x += growth.w;
  };
  auto down = [&] {
    if (panel.y >= refBottom) panel.y += growth.h;
  };
  switch (relation) {
    case 1:
      right();
      break;
    case 2:
      down();
      break;
    case 3:
      panel.y += growth.h;
      right();
      break;
    case 4:
      panel.x += growth.w;
      down();
      break;
    default:
      break;
  }
  return panel;
}

Rect FollowMove(Rect panel, int dx, int dy) { return {panel.x + dx, panel.y + dy, panel.w, panel.h}; }

WindowRegion RegionFor(Size c, bool compact, bool fullScreen) {
  bool rounded = !compact && !fullScreen;
  return {{0, 0, c.w, c.h}, rounded ? 20 : 0};
}

}  // namespace tevalo::shell
