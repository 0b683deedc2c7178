// What the user does with an open medium: play and pause, stop, timeshift (live television paused
// for at most 1200 seconds) and the control dispatcher the buttons, menus and panels reach them by.
// GUI thread. The graph comes through IMediaGraph and the rest of the player through
// IPlaybackHost, so the decisions run on a fake graph without GStreamer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "player/pipeline/graph/media_graph_interface.h"
#include "player/shell/core_types.h"
#include "player/shell/prompter.h"
#include "player/shell/timer_table.h"

namespace tevalo::shell {

inline constexpr char16_t kTextTimeshiftLimit[] =
    u"タイムシフトが許容範囲を超えたため、再生に切り替わりました。";
inline constexpr char16_t kTextCaptionBlocksTimeshift[] = u"字幕表示中なので始めることがないです";
inline constexpr char16_t kTextNoChangeWhileRecording[] = u"録画中にはチャンネルを変えることができません。";
inline constexpr int kTimeshiftLimitSeconds = 1200;

// The player's state the decisions read, at the moment of the call.
struct PlaybackContext {
  SourceMode sourceMode = SourceMode::kNone;
  PlayState playState = PlayState::kNone;
  bool busy = false;        // a graph is being built
  bool openQueued = false;  // an open is queued or runs: the graph in hand is about to go
  bool searching = false;
  bool recording = false;
  bool notLiveMedia = false;
  bool formatsKnown = false;
  bool noSignalShown = false;  // the no-signal animation
  bool captionShown = false;   // the caption strip
};

class IPlaybackHost {
 public:
  virtual ~IPlaybackHost() = default;
  virtual PlaybackContext Context() const = 0;
  // Null when no graph object exists.
  virtual std::shared_ptr<IMediaGraph> Graph() const = 0;
  virtual void SetPlayState(PlayState state) = 0;
  // Builds the graph when needed and runs it.
  virtual void StartMedia() = 0;
  virtual void StopFilePlayback() = 0;
  virtual void SetTimer(TimerId id, int ms) = 0;
  virtual void KillTimer(TimerId id) = 0;
  virtual void ShowStatus(const std::u16string& text, int ticks) = 0;
  virtual bool Ask(const Prompt& prompt) = 0;
  // Recording: the start through the window's own request (code 10), the stop with the question.
  virtual void StartRecording() = 0;
  virtual void StopRecording(bool noPrompt) = 0;
  // More than 200 MB free in the recording folder (it says so when not).
  virtual bool RecordingSpaceOk() = 0;
  // The play and pause buttons, and the timeshift-play button.
  virtual void ShowPlayButton(bool play) = 0;
  virtual void ShowTimeshiftPlayButton(bool shown) = 0;
  // The paused time timer 500 adds to the no-signal wait.
  virtual void AccumulatePausedTime(bool on) = 0;
  // The channel panel tunes its current row again.
  virtual void RetuneCurrentRow() = 0;
  // The window's parts the dispatcher reaches.
  virtual void RestoreWindow() = 0;
  virtual void TogglePlaylist() = 0;
  virtual void ShowChannelPanel() = 0;
  // The open dialog for recordings ("Record" under the user folder); nullopt when cancelled.
  virtual std::optional<std::u16string> ChooseRecording() = 0;
  virtual void HideCaptionAndProgrammeStrips() = 0;
  // The playlist becomes this one file, and it is queued to open (timer 105).
  virtual void PlayRecordingFile(const std::u16string& path) = 0;
};

enum class ControlCommand : unsigned {
  kPlayPause = 1,
  kRecord = 2,
  kStop = 3,
  kOpenFiles = 6,
  kPlaylist = 7,
  kChannels = 8
};

class CPlaybackControl {
 public:
  explicit CPlaybackControl(IPlaybackHost& host) : m_host(host) {}

  // 1 when handled, 0 when refused.
  int ExecuteControl(unsigned kind);
  void PauseMedia();
  // Timer 504: once a second while live television is paused.
  void OnTimeshiftTimer();

  // False when refused.
  bool StartTimeshift();
  bool PlayTimeshift();
  void StopTimeshift();
  // The no-signal wait pauses and resumes live television under the same flag; it holds only while
  // the graph is paused.
  void SetTimeshiftPaused(bool paused);
  void OpenRecordingFiles();

  // Each open: timeshift ends, the graph is new.
  void OnOpen();
  // A channel change stopped the graph: the next play request runs it again.
  void OnStoppedByChange() { m_stoppedByChange = true; }
  // A channel change starts the limit again.
  void OnChannelChange() { m_timeshiftCounter = 0; }
  void OnStarted() { m_stoppedByChange = false; }

  bool TimeshiftPaused() const { return m_timeshiftPaused; }
  bool TimeshiftActive() const { return m_timeshiftActive; }
  int TimeshiftCounter() const { return m_timeshiftCounter; }
  bool StoppedByChange() const { return m_stoppedByChange; }
  bool RecordingAllowed() const { return m_recordingAllowed; }

 private:
  bool TimeshiftRefused(const PlaybackContext& c);

  IPlaybackHost& m_host;
  bool m_stoppedByChange = false;
  bool m_timeshiftPaused = false;
  bool m_timeshiftActive = false;
  bool m_resumePending = false;  // the limit was reached: the stream runs again after 2 s
  bool m_recordingAllowed = true;
  int m_timeshiftCounter = 0;
};

}  // namespace tevalo::shell
