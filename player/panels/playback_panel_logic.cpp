#include "player/panels/playback_panel_logic.h"

#include <algorithm>
#include <cstdio>

namespace tevalo::panels {

bool CPlaybackPanelLogic::CanControl() const {
  // A full search deletes the graph while the source still says "file".
  return m_host.Source() == PanelSource::kFile && m_host.HasGraph();
}

void CPlaybackPanelLogic::Seek(int tenths) {
  m_host.SetPosition(tenths);
  SetSliderPos(tenths);
}

bool CPlaybackPanelLogic::Command(int id) {
  switch (id) {
    case kOpen:
      m_host.OpenRecordingFiles();
      return true;
    case kClose:
      Hide();
      m_host.PanelClosedByButton();
      return true;
    case kPrevious:
    case kPause:
    case kPlay:
    case kStop:
    case kNext:
      break;
    default:
      return false;
  }
  if (!CanControl()) return true;
  switch (id) {
    case kPrevious: {
      int p = 0;
      if (!m_host.GetPosition(&p)) return true;
      Seek(p >= kStepTenths ? p - kStepTenths : 1);
      break;
    }
    case kNext: {
      int p = 0;
      if (!m_host.GetPosition(&p)) return true;
      const int d = m_host.GetDuration();
      Seek(std::max(0, d - kStepTenths < p ? d - 10 : p + kStepTenths));
      break;
    }
    case kPlay:
      m_host.ExecuteControl(1);
      m_playShown = false;
      break;
    case kPause:
      m_host.ExecuteControl(1);
      m_playShown = true;
      break;
    case kStop:
      m_host.ExecuteControl(3);
      m_playShown = true;
      SetSliderPos(0);
      break;
  }
  return true;
}

void CPlaybackPanelLogic::SliderReleased(int position) {
  if (!m_host.HasGraph() || m_host.Source() == PanelSource::kLive) return;
  int p = 0;
  if (!m_host.GetPosition(&p)) return;
  m_host.SetPosition(position);
}

void CPlaybackPanelLogic::Reset() {
  m_playShown = true;
  m_sliderPos = m_sliderMin;
}

void CPlaybackPanelLogic::SetSliderRange(int minimum, int maximum) {
  m_sliderMin = minimum;
  m_sliderMax = std::max(maximum, minimum + 1);
  m_sliderPos = std::clamp(m_sliderPos, m_sliderMin, m_sliderMax);
}

void CPlaybackPanelLogic::SetSliderPos(int position) {
  m_sliderPos = std::clamp(position, m_sliderMin, m_sliderMax);
}

SnapPoint CPlaybackPanelLogic::Show(int screenWidth, int screenHeight) {
  const SnapRect main = m_host.MainWindowRect();
  const SnapPoint at =
      ShowPosition(m_dock, {main.left, main.top}, screenWidth, screenHeight, kOffScreenFallback);
  AfterShow(m_dock, main, RectAt(at, kWidth, kHeight), m_host.ChannelPanel());
  // Docked where it was shown: the offset a later hide keeps is taken from here.
  if (m_dock.docked) m_dock.mainTopLeft = {main.left, main.top};
  m_shown = true;
  m_host.PanelShownChanged(true);
  return at;
}

void CPlaybackPanelLogic::Hide() {
  m_shown = false;
  m_host.PanelShownChanged(false);
  const OtherPanel channel = m_host.ChannelPanel();
  HidePanel(m_dock, channel);
  m_host.ClearButtonHideMode();
  if (channel.dock && m_host.Source() == PanelSource::kFile) m_host.ChannelPanelSelChange();
}

SnapPoint CPlaybackPanelLogic::Drag(SnapPoint proposed) {
  return DragSnap(m_dock, m_host.MainWindowRect(), RectAt(proposed, kWidth, kHeight), m_host.ChannelPanel());
}

std::string PlayTimeText(int positionTenths, int durationTenths) {
  const int p = std::max(0, positionTenths) / 10;
  const int d = std::max(0, durationTenths) / 10;
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d / %02d:%02d:%02d", p / 3600, p / 60 % 60, p % 60, d / 3600,
                d / 60 % 60, d % 60);
  return text;
}

}  // namespace tevalo::panels
