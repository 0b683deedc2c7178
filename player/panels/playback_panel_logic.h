// The playback panel's decisions without a window: what its buttons do to the main window's graph,
// which of play and pause shows, the slider's range, the time text, and where showing puts it.
#pragma once

#include <string>

#include "player/panels/snap_helper.h"

namespace tevalo::panels {

// What the main window plays from the panel's point of view.
enum class PanelSource { kNone, kLive, kFile };

// What the panel needs of the main window (faked in tests).
class IPlaybackPanelHost {
 public:
  virtual ~IPlaybackPanelHost() = default;
  virtual PanelSource Source() const = 0;
  virtual bool HasGraph() const = 0;
  // Tenths of a second; false when the position cannot be read.
  virtual bool GetPosition(int* tenths) = 0;
  virtual int GetDuration() = 0;
  virtual void SetPosition(int tenths) = 0;
  virtual void OpenRecordingFiles() = 0;
  // 1 play/pause, 3 stop.
  virtual void ExecuteControl(int code) = 0;
  // The close button hid the panel: the main window's panel and timeshift buttons follow.
  virtual void PanelClosedByButton() = 0;
  // Hiding the panel switches the main window's buttons out of hide mode.
  virtual void ClearButtonHideMode() = 0;
  virtual void PanelShownChanged(bool shown) = 0;
  virtual SnapRect MainWindowRect() const = 0;
  virtual OtherPanel ChannelPanel() = 0;
  // The channel panel's list-selection handling; called only while that panel exists.
  virtual void ChannelPanelSelChange() = 0;
};

class CPlaybackPanelLogic {
 public:
  enum Command : int {
    kOpen = 1082,
    kPrevious = 1083,
    kPause = 1084,
    kPlay = 1085,
    kStop = 1086,
    kNext = 1087,
    kClose = 1089,
  };
  static constexpr int kWidth = 347;
  static constexpr int kHeight = 133;
  static constexpr int kStepTenths = 100;
  static constexpr SnapPoint kOffScreenFallback{100, 275};

  explicit CPlaybackPanelLogic(IPlaybackPanelHost& host) : m_host(host) {}

  // Runs a panel command; false for ids that are not the panel's. Seeks and play controls act only
  // while a recording plays through an existing graph.
  bool Command(int id);
  // The slider was released at position (tenths): seeks unless live, without a graph, or when the
  // position cannot be read.
  void SliderReleased(int position);

  // Play shown, pause hidden, slider at its minimum.
  void Reset();
  // A recording started playing: pause shows.
  void PlayStarted() { m_playShown = false; }

  // Showing and hiding: returns the top-left to place the panel at.
  SnapPoint Show(int screenWidth, int screenHeight);
  void Hide();
  // The main window moved to its new top-left; returns the panel's (unchanged unless docked).
  SnapPoint FollowMainWindow(SnapPoint mainTopLeft) { return CarryAlong(m_dock, mainTopLeft); }
  SnapPoint Drag(SnapPoint proposed);

  bool PlayShown() const { return m_playShown; }
  bool Shown() const { return m_shown; }
  int SliderPos() const { return m_sliderPos; }
  int SliderMin() const { return m_sliderMin; }
  int SliderMax() const { return m_sliderMax; }
  void SetSliderRange(int minimum, int maximum);
  void SetSliderPos(int position);
  PanelDock& Dock() { return m_dock; }

 private:
  bool CanControl() const;
  void Seek(int tenths);

  IPlaybackPanelHost& m_host;
  PanelDock m_dock;
  bool m_shown = false;
  bool m_playShown = true;
  int m_sliderMin = 10;
  int m_sliderMax = 100;
  int m_sliderPos = 10;
};

// The slider's range for a duration in tenths: 0..duration, never empty.
inline int SliderMaximumFor(int durationTenths) { return durationTenths < 1 ? 1 : durationTenths; }
// "hh:mm:ss / hh:mm:ss" of a position and a duration in tenths.
std::string PlayTimeText(int positionTenths, int durationTenths);

}  // namespace tevalo::panels
