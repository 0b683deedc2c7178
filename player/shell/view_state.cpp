#include "player/shell/view_state.h"

namespace tevalo::shell {

CViewState::CViewState(LastView last, bool captionShown)
    : m_compact(last == LastView::kCompact), m_captionShown(captionShown), m_last(last) {}

Rect CViewState::EnterFullScreen(Rect window, Size screen) {
  if (m_fullScreen) return window;
  m_last = LastView::kFullScreen;
  m_restore = window;
  m_compact = !m_compact;
  m_fullScreen = true;
  if (!m_videoRect) m_videoRect = FullScreenVideoRect(screen);
  return {0, 0, screen.w, screen.h};
}

void CViewState::LeaveFullScreenFlags() {
  m_videoRect.reset();
  // The flag goes first so that the compact toggle stores the compact view, not full screen.
  m_fullScreen = false;
  m_last = LastView::kNormal;
  ToggleCompact();
}

Rect CViewState::LeaveFullScreen(Rect window, int videoHeight) {
  if (!m_fullScreen) return window;
  LeaveFullScreenFlags();
  Size size =
      m_normalSize ? NormalViewSize(m_compact, m_captionShown) : LargeViewSize(m_compact, videoHeight);
  return Resize(window, size);
}

Rect CViewState::ToggleFullScreen(Rect window, Size screen, int videoHeight) {
  return m_fullScreen ? LeaveFullScreen(window, videoHeight) : EnterFullScreen(window, screen);
}

void CViewState::ToggleCompact() {
  m_compact = !m_compact;
  if (m_compact)
    m_last = m_fullScreen ? LastView::kFullScreen : LastView::kCompact;
  else
    m_last = LastView::kNormal;
}

Rect CViewState::SetNormalView(Rect window, int videoHeight) {
  m_normalSize = true;
  if (m_fullScreen) return LeaveFullScreen(window, videoHeight);
  return Resize(window, NormalViewSize(m_compact, m_captionShown));
}

std::optional<Rect> CViewState::SetLargeView(Rect window, SourceMode mode, bool ready, bool tunerFound,
                                             int videoHeight) {
  // In full screen the size is only chosen for the way back.
  if (!m_fullScreen && LargeViewRefused(mode, ready, tunerFound)) return std::nullopt;
  m_normalSize = false;
  if (m_fullScreen) return LeaveFullScreen(window, videoHeight);
  return Resize(window, LargeViewSize(m_compact, videoHeight));
}

Rect CViewState::ToggleCaption(Rect window) {
  m_captionShown = !m_captionShown;
  window.h += m_captionShown ? kCaptionStripHeight : -kCaptionStripHeight;
  return window;
}

Rect CViewState::Resize(Rect window, Size size) {
  Rect at = m_restore.value_or(window);
  m_restore.reset();
  return {at.x, at.y, size.w, size.h};
}

}  // namespace tevalo::shell
