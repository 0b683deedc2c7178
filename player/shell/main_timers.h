// What the main window's periodic timers decide: the signal level (500) and the no-signal pause
// (505), the recording clock (501), the playback position (102), the search ping (107) and the
// stream watchdog (997), with the session-unlock recovery the watchdog leads to. The decisions
// read and act through IMainTimerHost (the core and the window behind it; a fake in tests) and run
// on the core's CTimerTable, so a manual clock drives them in tests.
#pragma once

#include <cstdint>
#include <string>

#include "player/shell/core_types.h"
#include "player/shell/timer_table.h"

namespace tevalo::shell {

// Signal value (smaller is better) to level bars: 0..10 four, up to 30 three, 50 two, 90 one.
int LevelBarsFor(int signal);
// "hh:mm:ss / hh:mm:ss" of a position and a duration in tenths of a second.
std::u16string FormatPlaybackTime(int64_t positionTenths, int64_t durationTenths);
// "hh:mm:ss" of milliseconds.
std::u16string FormatClock(uint64_t ms);
// The channel index in the first two characters of a channel code; -1 when they are not digits.
int ChannelIndexOfCurrent(const std::u16string& code);

class IMainTimerHost {
 public:
  virtual ~IMainTimerHost() = default;
  // ---- reading ----
  virtual CoreState State() const = 0;
  virtual bool HasTuner() const = 0;
  virtual bool TunerOpen() const = 0;
  virtual int ReadSignal() = 0;
  virtual bool HasGraph() const = 0;
  virtual int FrameRate() const = 0;
  // Tenths of a second; false when the graph cannot tell.
  virtual bool Position(int64_t* tenths) = 0;
  virtual int64_t Duration() = 0;
  virtual bool NormalLayout() const = 0;  // the framed view, not compact or full screen
  virtual bool ProgrammeStripEnabled() const = 0;
  virtual bool PlaybackPanelReady() const = 0;  // exists and its slider is not dragged
  virtual bool TimeshiftPaused() const = 0;
  virtual bool RecordingFolderHasSpace() = 0;
  // ---- acting ----
  virtual void SetLevel(int signal, int bars) = 0;
  virtual void ShowLevelBars(int bars) = 0;
  virtual void SetTimeshiftPaused(bool paused) = 0;
  virtual void TogglePause() = 0;  // the control dispatcher's pause/resume
  virtual void PlaceVideo(bool hide) = 0;
  virtual void RepaintFrame() = 0;
  virtual void ShowAnimation(Animation id) = 0;
  virtual void HideAnimation() = 0;
  virtual void ShowProgrammeStrip(bool shown) = 0;
  virtual void SetChannelLock(int index, int value) = 0;
  virtual void ShowRecordingClock(const std::u16string& text) = 0;
  virtual void ShowPlaybackPosition(int64_t tenths, const std::u16string& text) = 0;
  virtual void WritePing() = 0;
  virtual void SetRecordingInterrupted() = 0;
  // Posts the session-unlock message to the window (handled later by OnSessionUnlock).
  virtual void PostSessionUnlock() = 0;
  virtual void StopRecordingSilently() = 0;
  virtual void ChangeChannel(const std::u16string& code) = 0;
  virtual void StopReception() = 0;
  virtual void StartAreaSearch() = 0;
};

class CMainTimers {
 public:
  // Attaches the decisions of 102, 107, 500, 501, 505 and 997 (998 arms 997) to the table.
  CMainTimers(CTimerTable& timers, IMainTimerHost& host);
  ~CMainTimers();
  CMainTimers(const CMainTimers&) = delete;
  CMainTimers& operator=(const CMainTimers&) = delete;

  void OnLevelTimer();           // 500
  void OnNoSignalTimer();        // 505
  void OnRecordingClockTimer();  // 501
  void OnPlaybackTimer();        // 102
  void OnPingTimer();            // 107
  void OnWatchdogTimer();        // 997
  // The recording started or stopped (the clock restarts from zero).
  void OnRecordingChanged(bool recording);
  // A paused timeshift starts counting: the no-signal wait grows by the time spent paused.
  void StartPauseAccumulation();
  // The session was unlocked (or the watchdog asked for a rebuild).
  void OnSessionUnlock();
  // The machine is about to sleep: live reception stops. It woke: the area search finds the stick.
  void OnSuspend();
  void OnResume();

  int ShownBars() const { return m_shownBars; }
  bool NoSignalArmed() const { return m_noSignalArmed; }
  bool NoSignalShown() const { return m_noSignalShown; }
  uint64_t AccumulatedPauseMs() const { return m_accumulatedMs; }

 private:
  CTimerTable& m_timers;
  IMainTimerHost& m_host;
  int m_shownBars = -1;
  bool m_noSignalArmed = false;
  bool m_noSignalShown = false;
  bool m_accumulating = false;
  int64_t m_lastTick = -1;
  uint64_t m_accumulatedMs = 0;
  uint64_t m_recordStartTick = 0;
  int m_lastShownSecond = -1;
};

}  // namespace tevalo::shell
