// The main window's view state: normal, compact or full screen, in the normal or the large size,
// with or without the caption strip; the last view stored for the next start ("LAST_VIEW": 0 normal,
// 1 compact, 2 full screen) and the rectangle a size change takes its position from. Each
// operation returns the window rectangle to apply.
#pragma once

#include <optional>

#include "player/shell/main_geometry.h"

namespace tevalo::shell {

enum class LastView : int { kNormal = 0, kCompact = 1, kFullScreen = 2 };

class CViewState {
 public:
  // The view a start opens with (the full screen itself is entered by the window once shown).
  explicit CViewState(LastView last = LastView::kNormal, bool captionShown = false);

  bool Compact() const { return m_compact; }
  bool FullScreen() const { return m_fullScreen; }
  bool NormalSize() const { return m_normalSize; }
  bool CaptionShown() const { return m_captionShown; }
  LastView Last() const { return m_last; }
  std::optional<Rect> RestoreRect() const { return m_restore; }
  std::optional<Rect> StoredVideoRect() const { return m_videoRect; }

  // Full screen on: the window covers the screen; the window's rectangle is kept for the way back.
  Rect EnterFullScreen(Rect window, Size screen);
  // Full screen off: back to the view before, in the size the size flag names.
  Rect LeaveFullScreen(Rect window, int videoHeight);
  Rect ToggleFullScreen(Rect window, Size screen, int videoHeight);
  // Flips the compact flag (the window follows with the next size change).
  void ToggleCompact();

  // The normal size (Alt+1); in full screen it leaves full screen into that size.
  Rect SetNormalView(Rect window, int videoHeight = 0);
  // The large size (Alt+2); nullopt when refused.
  std::optional<Rect> SetLargeView(Rect window, SourceMode mode, bool ready, bool tunerFound,
                                   int videoHeight);
  // The caption strip on or off: the window grows or shrinks by its height, top-left kept.
  Rect ToggleCaption(Rect window);

 private:
  Rect Resize(Rect window, Size size);
  void LeaveFullScreenFlags();

  bool m_compact = false;
  bool m_fullScreen = false;
  bool m_normalSize = true;
  bool m_captionShown = false;
  LastView m_last = LastView::kNormal;
  std::optional<Rect> m_restore;
  std::optional<Rect> m_videoRect;
};

}  // namespace tevalo::shell
