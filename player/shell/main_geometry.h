// The main window's geometry: view sizes, the 16:9 video rectangle, the skin frame's pieces, the
// places of its controls, hit areas, the resize clamp, docked panels that follow and the seek
// target. Plain values; the window draws and moves what these return.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "player/shell/core_types.h"

namespace tevalo::shell {

struct Size {
  int w = 0;
  int h = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  int right() const { return x + w; }
  int bottom() const { return y + h; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr Size kNormalViewSize{346, 380};
inline constexpr Size kNormalCaptionViewSize{346, 440};
inline constexpr Size kCompactViewSize{320, 228};
inline constexpr Size kLargeViewSize{666, 560};
inline constexpr int kCaptionStripHeight = 60;
// Docked panel sizes: the channel panel and the playback panel.
inline constexpr Size kChannelPanelSize{346, 175};
inline constexpr Size kPlaybackPanelSize{347, 133};

// The skinned buttons: bitmap strip and tooltip (none: empty).
struct MainButton {
  int id;
  int bitmap;
  const char16_t* tooltip;
};
inline constexpr MainButton kMainButtons[] = {
    {1039, 436, u"最小化"},
    {1041, 435, u"最大化"},
    {1042, 434, u"閉じる"},
    {1052, 510, u""},
    {1053, 487, u""},
    {1061, 456, u"ミュト"},
    {1062, 455, u"ミュトオフ"},
    {1069, 431, u"進む"},
    {1070, 430, u"戻る"},
    {1072, 442, u"最大化"},
    {1073, 439, u"タイムシフト終了"},
    {1074, 443, u"タイムシフト再生"},
    {1075, 429, u"タイムシフト開始"},
    {1076, 468, u"最小化"},
    {1077, 489, u"録画開始"},
    {1078, 488, u"録画停止"},
};

// The normal size of a view.
Size NormalViewSize(bool compact, bool captionShown);
// The large size; in the compact view twice the 16:9 width of the picture's height, 640 wide while
// no picture size is known.
Size LargeViewSize(bool compact, int videoHeight);
// The large size is refused while the tuner is up but the source has no controls, or no tuner was
// found, unless a recording plays.
bool LargeViewRefused(SourceMode mode, bool ready, bool tunerFound);

// A 16:9 picture as large as fits in w x h (size only).
Size Fit16x9(int w, int h);
// The picture in full screen: centred on the screen.
Rect FullScreenVideoRect(Size screen);
// The picture inside the client area of the normal or compact view.
Rect VideoRect(Size client, bool compact, bool captionShown);

// The skin frame: a bitmap drawn into a rectangle; edges are one-pixel rows or columns stretched.
struct FramePiece {
  int bitmap = 0;
  Rect rect;
  friend bool operator==(const FramePiece&, const FramePiece&) = default;
};
// Frame pieces of the normal view in drawing order (none in full screen: black only).
std::vector<FramePiece> SkinFramePieces(Size client, bool fullScreen);
// Level bars (bitmap 309 + bars) and the recording indicator.
Rect LevelBarsRect(Size client);
Rect RecordingIndicatorRect(Size client);

// Places on the main window that are not command buttons.
enum class Place : int {
  kVolumeSlider = 1060,
  kChannelStrip = -1,
  kCaptionWindow = -2,
  kProgrammeStrip = -3,
  kStatusStrip = -4,
  kAnimation = -5,
};

struct ControlState {
  bool compact = false;
  bool fullScreen = false;
  bool captionShown = false;
  bool timeshift = false;      // a timeshift runs
  bool timeshiftPlay = false;  // the timeshift-play flag
  bool muted = false;
  bool recording = false;
  bool filePlays = false;  // a recording file (or other file) plays
  bool epgOn = true;
};

struct ControlPlace {
  int id = 0;  // a control id or a Place
  Rect rect;
  bool visible = true;
  bool hiddenLook = false;  // drawn in its hidden look (button 1073)
  friend bool operator==(const ControlPlace&, const ControlPlace&) = default;
};

// Every control's place and visibility in the normal view for a client area at (0, 0).
std::vector<ControlPlace> LayoutControls(Size client, const ControlState& state);
std::optional<ControlPlace> FindPlace(const std::vector<ControlPlace>& places, int id);

// Bottom-bar hit areas (bounds exclusive unless said). thumbX: the seek thumb's x offset.
bool HitPlayIcon(Size client, int x, int y);
// 0 or 1, -1 for neither.
int HitSmallIcon(Size client, int x, int y);
bool HitSeekThumb(Size client, int thumbX, int x, int y);
bool HitSeekBar(Size client, int x, int y);
Rect PlayIconRect(Size client);
Rect SmallIconRect(Size client, int index);
// Icon bitmaps by icon state (low four bits: 0 normal, 1 pressed, 2 third look; bit 4 hover).
int PlayIconBitmap(int state);
int SmallIconBitmap(int index, int state);
inline constexpr int kIconHover = 0x10;

// The seek target in tenths of a second.
int64_t SeekTarget(int64_t durationTenths, int thumbX, int clientWidth);
// The seek thumb's offset while it is dragged: it keeps its hold on the pointer from the press and
// stays on the track (0 to client width - 223).
int DragSeekThumb(int thumbAtPress, int pressX, int x, int clientWidth);

// The full-screen vertical drag: every 20 pixels the pointer travels up or down place the video
// again; the remainder carries over to the next move and the next press.
class CVerticalDrag {
 public:
  void Press(int y) { m_lastY = y; }
  // True when the video is to be placed again.
  bool Move(int y);
  int Accumulated() const { return m_accumulated; }

 private:
  int m_accumulated = 0;
  int m_lastY = 0;
};

// A rectangle dragged by the resize corner, grown to the view's least size.
Rect ClampTrackedRect(Rect r, bool compact, bool captionShown);

// A docked panel's relation to the window (the snap test's answer): 1 right of, 2 below, 3 and 4
// both. refRight/refBottom: the reference edges (the window's old edges, or the other panel's).
Rect FollowResize(Rect panel, int relation, Size growth, int refRight, int refBottom);
// A docked panel moved by the window's movement.
Rect FollowMove(Rect panel, int dx, int dy);

// The window region: rounded corners only in the normal view.
struct WindowRegion {
  Rect rect;
  int cornerDiameter = 0;  // 0: the plain rectangle
  friend bool operator==(const WindowRegion&, const WindowRegion&) = default;
};
WindowRegion RegionFor(Size client, bool compact, bool fullScreen);

}  // namespace tevalo::shell
