#include "player/shell/main_timers.h"

#include <cstdio>

namespace tevalo::shell {

int LevelBarsFor(int signal) {
  if (signal < 0 || signal > 90) return 0;
  if (signal <= 10) return 4;
  if (signal <= 30) return 3;
  if (signal <= 50) return 2;
  return 1;
}

namespace {
std::u16string Ascii(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

void Hms(int64_t tenths, int64_t out[3]) {
  if (tenths < 0) tenths = 0;
  out[0] = tenths / 36000;
  out[1] = tenths / 600 % 60;
  out[2] = tenths / 10 % 60;
}
}  // namespace

std::u16string FormatPlaybackTime(int64_t position, int64_t duration) {
  int64_t p[3], d[3];
  Hms(position, p);
  Hms(duration, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld / %02lld:%02lld:%02lld", static_cast<long long>(p[0]),
                static_cast<long long>(p[1]), static_cast<long long>(p[2]), static_cast<long long>(d[0]),
                static_cast<long long>(d[1]), static_cast<long long>(d[2]));
  return Ascii(buf);
}

std::u16string FormatClock(uint64_t ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02llu:%02llu:%02llu", static_cast<unsigned long long>(ms / 3600000),
                static_cast<unsigned long long>(ms / 60000 % 60),
                static_cast<unsigned long long>(ms / 1000 % 60));
  return Ascii(buf);
}

int ChannelIndexOfCurrent(const std::u16string& code) {
  if (code.size() < 2) return -1;
  auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  if (!digit(code[0]) || !digit(code[1])) return -1;
  return (code[0] - u'0') * 10 + (code[1] - u'0');
}

CMainTimers::CMainTimers(CTimerTable& timers, IMainTimerHost& host) : m_timers(timers), m_host(host) {
  m_timers.SetHandler(TimerId::kLevel, [this] { OnLevelTimer(); });
  m_timers.SetHandler(TimerId::kNoSignal, [this] { OnNoSignalTimer(); });
  m_timers.SetHandler(TimerId::kRecordingClock, [this] { OnRecordingClockTimer(); });
  m_timers.SetHandler(TimerId::kPlayback, [this] { OnPlaybackTimer(); });
  m_timers.SetHandler(TimerId::kSearchPing, [this] { OnPingTimer(); });
  m_timers.SetHandler(TimerId::kWatchdogCheck, [this] { OnWatchdogTimer(); });
  m_timers.SetHandler(TimerId::kWatchdog, [this] { m_timers.SetTimer(TimerId::kWatchdogCheck, 3000); });
}

CMainTimers::~CMainTimers() {
  for (TimerId id : {TimerId::kLevel, TimerId::kNoSignal, TimerId::kRecordingClock, TimerId::kPlayback,
                     TimerId::kSearchPing, TimerId::kWatchdogCheck, TimerId::kWatchdog})
    m_timers.SetHandler(id, nullptr);
}

void CMainTimers::OnLevelTimer() {
  if (!m_host.HasTuner()) return;
  if (!m_host.TunerOpen()) {
    m_timers.KillTimer(TimerId::kLevel);
    return;
  }
  const int signal = m_host.ReadSignal();
  const int bars = LevelBarsFor(signal);
  m_host.SetLevel(signal, bars);
  const bool pausedForNoSignal = m_noSignalShown;
  if (bars > 0) m_noSignalShown = false;
  if (bars != m_shownBars) {
    m_shownBars = bars;
    m_host.ShowLevelBars(bars);
  }

  if (bars == 0 && !m_noSignalArmed) {
    if (!m_host.TimeshiftPaused()) {
      m_timers.SetTimer(TimerId::kNoSignal, static_cast<int>(5000 + m_accumulatedMs));
      m_noSignalArmed = true;
    }
    m_accumulating = false;
    m_lastTick = -1;
  } else if (bars > 0 && m_noSignalArmed) {
    m_timers.KillTimer(TimerId::kNoSignal);
    m_host.PlaceVideo(false);
    m_host.HideAnimation();
    CoreState s = m_host.State();
    if (m_host.HasGraph() && s.sourceMode == SourceMode::kLive) {
      // Only the no-signal pause is undone: a timeshift pause made while the wait was armed stays.
      if (pausedForNoSignal) {
        if (m_host.TimeshiftPaused()) m_host.TogglePause();
        m_host.SetTimeshiftPaused(false);
      }
      m_noSignalArmed = false;
      m_noSignalShown = false;
      if (m_host.NormalLayout() && m_host.ProgrammeStripEnabled()) m_host.ShowProgrammeStrip(true);
    } else {
      m_noSignalArmed = false;
    }
  }

  if (m_accumulating) {
    const int64_t now = static_cast<int64_t>(m_timers.NowMs());
    // Each tick is counted a little long, as the pause itself takes a moment to resume from.
    if (m_lastTick >= 0) m_accumulatedMs += static_cast<uint64_t>(now - m_lastTick + 200);
    m_lastTick = now;
  }
}

void CMainTimers::StartPauseAccumulation() {
  if (m_accumulating) return;
  m_accumulating = true;
  m_lastTick = -1;
}

void CMainTimers::OnNoSignalTimer() {
  // The armed flag stays set: the level timer's next tick with signal resumes.
  CoreState s = m_host.State();
  if (!m_host.HasGraph() || s.sourceMode != SourceMode::kLive) return;
  if (!m_host.TimeshiftPaused()) m_host.TogglePause();
  m_host.SetTimeshiftPaused(true);
  m_host.PlaceVideo(true);
  m_host.RepaintFrame();
  m_host.ShowAnimation(Animation::kNoSignal);
  m_noSignalShown = true;
  m_accumulating = false;
  m_lastTick = -1;
  m_accumulatedMs = 0;
  m_host.ShowProgrammeStrip(false);
  // "No-Channel" and other codes without a channel index carry no mark to clear.
  int index = ChannelIndexOfCurrent(s.currentChannel);
  if (index >= 0) m_host.SetChannelLock(index, 0);
}

void CMainTimers::OnRecordingChanged(bool recording) {
  if (recording) {
    m_recordStartTick = m_timers.NowMs();
    m_lastShownSecond = -1;
  }
}

void CMainTimers::OnRecordingClockTimer() {
  const uint64_t now = m_timers.NowMs();
  uint64_t elapsed = now >= m_recordStartTick ? now - m_recordStartTick : 0;
  int second = static_cast<int>(elapsed / 1000 % 60);
  if (second == m_lastShownSecond) return;
  if (m_host.State().levelBars == 0) {
    // Without signal the clock stands still: the start moves on by the second that passed.
    m_recordStartTick += 1000;
    elapsed = elapsed >= 1000 ? elapsed - 1000 : 0;
    second = static_cast<int>(elapsed / 1000 % 60);
  }
  m_lastShownSecond = second;
  if (m_host.State().recording) {
    m_host.ShowRecordingClock(FormatClock(elapsed));
  } else {
    m_host.ShowRecordingClock(FormatClock(0));
    m_timers.KillTimer(TimerId::kRecordingClock);
  }
}

void CMainTimers::OnPlaybackTimer() {
  m_timers.KillTimer(TimerId::kPlayback);
  if (!m_host.HasGraph() || !m_host.NormalLayout() || !m_host.PlaybackPanelReady()) return;
  int64_t position = 0;
  if (!m_host.Position(&position)) {
    m_timers.SetTimer(TimerId::kPlayback, 300);
    return;
  }
  if (m_host.State().sourceMode == SourceMode::kRecording)
    m_host.ShowPlaybackPosition(position, FormatPlaybackTime(position, m_host.Duration()));
  m_timers.SetTimer(TimerId::kPlayback, 300);
}

void CMainTimers::OnPingTimer() {
  if (!m_host.State().busy) m_host.WritePing();
}

void CMainTimers::OnWatchdogTimer() {
  CoreState s = m_host.State();
  if (s.searching || s.opening || !s.tunerStarted) return;
  if (s.sourceMode != SourceMode::kLive && s.sourceMode != SourceMode::kRecording) return;
  // A rebuild while paused would throw away what the timeshift holds.
  if (s.playState == PlayState::kPaused) return;
  if (!m_host.HasGraph() || m_host.FrameRate() != 0) return;
  if (s.recording) m_host.SetRecordingInterrupted();
  m_host.PostSessionUnlock();
}

void CMainTimers::OnSessionUnlock() {
  CoreState s = m_host.State();
  if (s.sourceMode != SourceMode::kLive || !s.streamFormatsKnown) return;
  if (s.recording) {
    if (!m_host.RecordingFolderHasSpace()) return;
    m_host.StopRecordingSilently();
  }
  m_host.ChangeChannel(s.currentChannel);
}

void CMainTimers::OnSuspend() {
  if (m_host.State().sourceMode == SourceMode::kLive) m_host.StopReception();
}

void CMainTimers::OnResume() { m_host.StartAreaSearch(); }

}  // namespace tevalo::shell
