#include "player/shell/playback_control.h"

namespace tevalo::shell {
namespace {

constexpr int kLimitStripTicks = 100;
constexpr int kLimitReachedStripTicks = 200;
constexpr int kResumeDelayMs = 2000;
constexpr char16_t kTitle[] = u"1seg Message";

}  // namespace

int CPlaybackControl::ExecuteControl(unsigned kind) {
  const PlaybackContext c = m_host.Context();
  switch (static_cast<ControlCommand>(kind)) {
    case ControlCommand::kPlayPause: {
      // A queued open is about to replace the graph: a pause now would land on a graph that goes,
      // or race the start-up thread's run of the new one.
      if (c.busy || c.searching || c.openQueued) return 0;
      if (c.sourceMode == SourceMode::kOther) return 1;
      if (m_stoppedByChange) {
        m_host.StartMedia();
        return 1;
      }
      if (!m_host.Graph()) return 1;
      if (c.playState == PlayState::kPlaying)
        PauseMedia();
      else if (c.playState == PlayState::kPaused || c.playState == PlayState::kStopped)
        m_host.StartMedia();
      return 1;
    }
    case ControlCommand::kRecord: {
      if (c.sourceMode != SourceMode::kLive || c.busy || c.searching || !m_recordingAllowed || c.notLiveMedia)
        return 0;
      if (!m_host.RecordingSpaceOk()) return 0;
      m_host.StartRecording();
      // A running recording is not started twice; a refused one may be asked for again.
      m_recordingAllowed = !m_host.Context().recording;
      return m_recordingAllowed ? 0 : 1;
    }
    case ControlCommand::kStop: {
      if (c.recording) {
        m_host.StopRecording(false);
        if (!m_host.Context().recording) m_recordingAllowed = true;
      }
      const auto graph = m_host.Graph();
      if (graph && c.sourceMode != SourceMode::kLive) m_stoppedByChange = true;
      if (graph) m_host.StopFilePlayback();
      return 1;
    }
    case ControlCommand::kOpenFiles:
      m_host.RestoreWindow();
      if (!c.searching && !c.busy) OpenRecordingFiles();
      return 1;
    case ControlCommand::kPlaylist:
      if (!c.searching && !c.busy) m_host.TogglePlaylist();
      return 1;
    case ControlCommand::kChannels:
      m_host.ShowChannelPanel();
      return 1;
  }
  return 0;
}

void CPlaybackControl::PauseMedia() {
  const PlaybackContext c = m_host.Context();
  const auto graph = m_host.Graph();
  if (c.playState == PlayState::kNone || !graph) return;
  const bool live = c.sourceMode == SourceMode::kLive;
  if (live && m_timeshiftCounter >= kTimeshiftLimitSeconds) {
    // The limit holds until a channel change: live television keeps playing.
    m_host.ShowStatus(kTextTimeshiftLimit, kLimitStripTicks);
    return;
  }
  // A graph still on its way to playing refuses: the station plays on and nothing says paused.
  if (graph->Pause() < 0) return;
  if (live) m_host.SetTimer(TimerId::kTimeshift, 1000);
  m_host.SetPlayState(PlayState::kPaused);
}

void CPlaybackControl::OnTimeshiftTimer() {
  if (m_resumePending) {
    // The message has stood for its 2 s; the GUI thread went on meanwhile.
    m_resumePending = false;
    m_host.KillTimer(TimerId::kTimeshift);
    if (const auto graph = m_host.Graph()) graph->Run();
    m_host.SetPlayState(PlayState::kPlaying);
    m_host.ShowPlayButton(false);
    return;
  }
  if (++m_timeshiftCounter < kTimeshiftLimitSeconds) return;  // the timer repeats
  m_host.ShowStatus(kTextTimeshiftLimit, kLimitReachedStripTicks);
  m_resumePending = true;
  m_host.SetTimer(TimerId::kTimeshift, kResumeDelayMs);
}

bool CPlaybackControl::TimeshiftRefused(const PlaybackContext& c) {
  if (c.sourceMode != SourceMode::kLive || !m_host.Graph() || c.recording || c.noSignalShown ||
      !c.formatsKnown)
    return true;
  if (c.captionShown) {
    m_host.Ask({kTextCaptionBlocksTimeshift, kTitle, Prompt::Buttons::kOk});
    return true;
  }
  return false;
}

bool CPlaybackControl::StartTimeshift() {
  const PlaybackContext c = m_host.Context();
  if (TimeshiftRefused(c)) return false;
  if (!m_timeshiftPaused && c.playState != PlayState::kPaused)
    ExecuteControl(static_cast<unsigned>(ControlCommand::kPlayPause));
  // A refused pause (an open under way, the limit) marks nothing: the flag always means a paused
  // graph, so the play that follows never pauses one that runs.
  if (m_host.Context().playState != PlayState::kPaused) return false;
  m_timeshiftPaused = true;
  m_timeshiftActive = true;
  m_host.ShowTimeshiftPlayButton(true);
  m_host.AccumulatePausedTime(true);
  m_host.ShowPlayButton(false);
  return true;
}

bool CPlaybackControl::PlayTimeshift() {
  const PlaybackContext c = m_host.Context();
  if (TimeshiftRefused(c)) return false;
  if (m_timeshiftPaused && c.playState == PlayState::kPaused) {
    ExecuteControl(static_cast<unsigned>(ControlCommand::kPlayPause));
    if (m_host.Context().playState == PlayState::kPaused) return false;  // refused: still paused
  }
  m_host.AccumulatePausedTime(false);
  m_timeshiftPaused = false;
  m_host.ShowPlayButton(true);
  return true;
}

void CPlaybackControl::SetTimeshiftPaused(bool paused) {
  m_timeshiftPaused = paused && m_host.Context().playState == PlayState::kPaused;
}

void CPlaybackControl::StopTimeshift() {
  if (!m_timeshiftActive && !m_timeshiftPaused) return;
  m_host.ShowPlayButton(true);
  m_host.AccumulatePausedTime(false);
  m_host.RetuneCurrentRow();
  m_timeshiftPaused = false;
  m_timeshiftActive = false;
  m_host.ShowTimeshiftPlayButton(false);
}

void CPlaybackControl::OpenRecordingFiles() {
  const auto path = m_host.ChooseRecording();
  if (!path) return;
  m_host.HideCaptionAndProgrammeStrips();
  if (m_host.Context().recording) {
    m_host.Ask({kTextNoChangeWhileRecording, kTitle, Prompt::Buttons::kOk});
    return;
  }
  m_recordingAllowed = true;
  m_host.KillTimer(TimerId::kTimeshift);
  m_host.PlayRecordingFile(*path);
}

void CPlaybackControl::OnOpen() {
  m_timeshiftPaused = false;
  m_timeshiftActive = false;
  m_resumePending = false;
  m_host.KillTimer(TimerId::kTimeshift);
  m_host.AccumulatePausedTime(false);
  m_host.ShowTimeshiftPlayButton(false);
}

}  // namespace tevalo::shell
