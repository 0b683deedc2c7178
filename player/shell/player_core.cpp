#include "player/shell/player_core.h"

#include "player/shell/settings_store.h"

#include <unistd.h>

#include <algorithm>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include "platform/kernel/tick.h"
#include "platform/path/path.h"
#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "player/panels/playlist.h"
#include "player/shell/live_commands.h"
#include "player/shell/qt_timer_clock.h"
#include "player/shell/recording_name.h"
#include "player/shell/updater_launch.h"
#include "tuner/device/device_watcher.h"

namespace tevalo::shell {
namespace {

constexpr char16_t kSectionDmb[] = u"DMBControl";
constexpr char16_t kSectionRec[] = u"RECControl";
constexpr char16_t kKeyCurrent[] = u"CurrentChannel";
constexpr char16_t kKeyLast[] = u"LastChannel";
constexpr char16_t kKeyFileName[] = u"FileName";
constexpr char16_t kNullName[] = u"NULL";

std::u16string Ascii(const std::string& s) { return tevalo::text::ToUtf16(s); }

bool IsRecPath(const std::u16string& text) { return UpperAscii(PathExtension(text)) == u".REC"; }

uint32_t OwnProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace

// The playback control's view of the core and the window's hooks. GUI thread.
class CPlayerCore::PlaybackHost final : public IPlaybackHost {
 public:
  explicit PlaybackHost(CPlayerCore& core) : m_core(core) {}

  PlaybackContext Context() const override {
    const Hooks& h = m_core.m_hooks;
    PlaybackContext c;
    c.sourceMode = m_core.m_nSourceMode;
    c.playState = m_core.m_nPlayState;
    c.busy = m_core.m_bBusy;
    c.openQueued = m_core.m_bOpenQueued;
    c.searching = m_core.m_bSearching;
    c.recording = m_core.m_bRecording;
    c.notLiveMedia = m_core.m_bNotLiveMedia;
    c.formatsKnown = m_core.m_bStreamFormatsKnown;
    c.noSignalShown = h.noSignalShown && h.noSignalShown();
    c.captionShown = h.captionShown && h.captionShown();
    return c;
  }
  std::shared_ptr<IMediaGraph> Graph() const override { return m_core.MediaGraph(); }
  void SetPlayState(PlayState state) override { m_core.SetPlayState(state); }
  void StartMedia() override {
    m_core.StartMedia();
    m_core.m_playback.OnStarted();
  }
  void StopFilePlayback() override { m_core.StopFilePlayback(); }
  void SetTimer(TimerId id, int ms) override { m_core.SetTimer(id, ms); }
  void KillTimer(TimerId id) override { m_core.KillTimer(id); }
  void ShowStatus(const std::u16string& text, int ticks) override { m_core.ShowStatus(text, ticks); }
  bool Ask(const Prompt& prompt) override { return m_core.Ask(prompt); }
  void StartRecording() override { m_core.StartRecording(); }
  void StopRecording(bool noPrompt) override { m_core.StopRecording(noPrompt); }
  bool RecordingSpaceOk() override { return m_core.RecordingFolderHasSpace(); }
  void ShowPlayButton(bool play) override { Call(m_core.m_hooks.showPlayButton, play); }
  void ShowTimeshiftPlayButton(bool shown) override { Call(m_core.m_hooks.showTimeshiftPlayButton, shown); }
  void AccumulatePausedTime(bool on) override { Call(m_core.m_hooks.accumulatePausedTime, on); }
  void RetuneCurrentRow() override { Call(m_core.m_hooks.retuneCurrentRow); }
  void RestoreWindow() override { Call(m_core.m_hooks.restoreWindow); }
  void TogglePlaylist() override { Call(m_core.m_hooks.togglePlaylist); }
  void ShowChannelPanel() override { Call(m_core.m_hooks.showChannelPanel); }
  std::optional<std::u16string> ChooseRecording() override {
    return m_core.m_hooks.chooseRecording ? m_core.m_hooks.chooseRecording() : std::nullopt;
  }
  void HideCaptionAndProgrammeStrips() override { Call(m_core.m_hooks.hideCaptionAndProgrammeStrips); }
  void PlayRecordingFile(const std::u16string& path) override {
    Call(m_core.m_hooks.replacePlaylist, path);
    m_core.PlayUrl(path);
  }

 private:
  template <typename Fn, typename... Args>
  static void Call(const Fn& fn, Args&&... args) {
    if (fn) fn(std::forward<Args>(args)...);
  }
  CPlayerCore& m_core;
};

void CPlayerCore::Semaphore::Release() {
  std::lock_guard lock(m_lock);
  m_count = true;  // a release at the maximum is refused: it stays one
  m_cv.notify_one();
}

void CPlayerCore::Semaphore::Wait() {
  std::unique_lock lock(m_lock);
  m_cv.wait(lock, [this] { return m_count; });
  m_count = false;
}

CPlayerCore::CPlayerCore(IPlayerView& view, Options options)
    : m_view(view),
      m_options(std::move(options)),
      m_ownClock(m_options.clock ? nullptr : std::make_unique<CQtTimerClock>()),
      m_timers(m_options.clock ? *m_options.clock : *m_ownClock),
      m_pTuner(std::make_unique<CTDMBDll>()),
      m_blockSource(*m_pTuner),
      m_textDecoders(this),
      m_engine(m_sink, m_blockSource, &m_textDecoders, this),
      m_recordingControl(*this, m_options.freeSpace ? m_options.freeSpace : FreeSpaceProbe(StatvfsFreeBytes)),
      m_playbackHost(std::make_unique<PlaybackHost>(*this)),
      m_playback(*m_playbackHost),
      m_scanner(*m_pTuner) {
  m_timers.SetHandler(TimerId::kTimeshift, [this] { m_playback.OnTimeshiftTimer(); });
  m_nSearchKind = m_options.searchKind;
  m_nAreaIndex = m_options.areaIndex;
  m_bAreaChosen = m_options.areaChosen;
  m_strConfigPath = m_options.configPath;
  if (m_strConfigPath.empty()) {
    if (auto user = registry::ReadString(registry::kTevaloKey, u"User_Dir"))
      m_strConfigPath = tevalo::path::Join(std::u16string_view(*user), std::u16string_view(u"config.ini"));
  }
  m_search = std::make_unique<channels::CChannelSearch>(
      m_scanner, channels::CChannelSearch::Hooks{
                     .forgetStoredChannel =
                         [this] {
                           if (!m_strConfigPath.empty())
                             profile::WriteString(m_strConfigPath, kSectionDmb, kKeyCurrent, kNoChannel);
                           m_bAreaChosen = false;
                         },
                     .applyLockMarks = [this] { LoadChannelLocks(); },
                     .done = [this] { m_queue.Post([this] { OnChannelSearchDone(); }); }});
  LoadChannelList();
  for (size_t i = 0; i < m_Slots.size(); ++i) m_Slots[i].name = u"DMB CH" + Ascii(std::to_string(i + 1));
  m_pTuner->SetNotifier([this](void*, const std::string& text, const std::string& caption) {
    const std::u16string t = Ascii(text), c = Ascii(caption);
    Emit([t, c](IPlayerView& v) { v.ShowNotice(t, c); });
  });
  m_timers.SetHandler(TimerId::kOpen, [this] { PrepareOpenAndWake(); });
}

CPlayerCore::~CPlayerCore() { Shutdown(); }

// ---- events out ----

void CPlayerCore::Emit(std::function<void(IPlayerView&)> call) {
  m_queue.Post([this, call = std::move(call)] { call(m_view); });
}

void CPlayerCore::PublishState() {
  Emit([state = State()](IPlayerView& v) { v.StateChanged(state); });
}

void CPlayerCore::SetTimer(TimerId id, int ms) {
  m_queue.RunOrPost([this, id, ms] {
    if (!m_bClosing) m_timers.SetTimer(id, ms);
  });
}

void CPlayerCore::KillTimer(TimerId id) {
  m_queue.RunOrPost([this, id] { m_timers.KillTimer(id); });
}

bool CPlayerCore::Ask(const Prompt& prompt) {
  if (!m_queue.OnGuiThread()) return false;  // questions belong to user actions
  IPrompter& prompter = m_options.prompter ? *m_options.prompter : m_noPrompter;
  return prompter.Ask(prompt);
}

CoreState CPlayerCore::State() const {
  CoreState s;
  s.sourceMode = m_nSourceMode;
  s.filterState = m_nFilterState;
  s.playState = m_nPlayState;
  s.opening = m_bOpening;
  s.openQueued = m_bOpenQueued;
  s.busy = m_bBusy;
  s.searching = m_bSearching;
  s.searchKind = m_nSearchKind;
  s.areaChosen = m_bAreaChosen;
  s.tunerUsable = m_bTunerUsable;
  s.tunerStarted = m_bTunerStarted;
  s.streamFormatsKnown = m_bStreamFormatsKnown;
  s.recording = m_bRecording;
  s.keepStreams = m_bKeepStreams;
  s.closing = m_bClosing;
  s.level = m_nLevel;
  s.levelBars = m_nLevelBars;
  s.channelSlot = m_nChannelSlot;
  s.currentChannel = CurrentChannel();
  s.openGeneration = m_nOpenGeneration;
  s.graphCloseReports = m_nGraphCloseReports;
  return s;
}

void CPlayerCore::SetSourceMode(SourceMode mode) {
  m_engine.SetLiveSource(mode == SourceMode::kLive);
  if (m_nSourceMode.exchange(mode) != mode) PublishState();
}

void CPlayerCore::SetFilterState(FilterState state) {
  if (state == FilterState::kRunning)
    m_sink.FilterRunning();
  else
    m_sink.FilterStopped();
  if (m_nFilterState.exchange(state) != state) PublishState();
}

void CPlayerCore::SetPlayState(PlayState state) {
  if (m_nPlayState.exchange(state) != state) PublishState();
}

void CPlayerCore::SetLevel(int level, int bars) {
  m_nLevel = level;
  m_nLevelBars = bars;
  Emit([bars](IPlayerView& v) { v.ShowLevelBars(bars); });
}

bool CPlayerCore::TunerOpen() const {
  std::lock_guard lock(m_receptionLock);
  return m_pTuner->IsOpen() != 0;
}

int CPlayerCore::ReadSignalValue() const {
  return static_cast<int>(m_pTuner->m_ChannelState.m_nSignalLevel.load());
}

std::u16string CPlayerCore::CurrentChannel() const {
  std::lock_guard lock(m_nameLock);
  return m_strCurrentChannel;
}

void CPlayerCore::SetCurrentChannel(const std::u16string& code) {
  std::lock_guard lock(m_nameLock);
  m_strCurrentChannel = code;
}

std::u16string CPlayerCore::RecordingPath() const {
  std::lock_guard lock(m_nameLock);
  return m_strRecordingPath;
}

ChannelSlot CPlayerCore::Slot(int index) const {
  std::lock_guard lock(m_slotLock);
  return index >= 0 && index < static_cast<int>(m_Slots.size()) ? m_Slots[index] : ChannelSlot{};
}

// ---- start-up and closing ----

bool CPlayerCore::StartStartupThread() {
  if (m_startupThread.joinable()) return true;
  try {
    m_bStopStartupThread = false;
    m_startupThread = std::thread([this] { StartupThread(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CPlayerCore::AttachWindow(win::HWND hwnd) { m_hwnd = hwnd; }

bool CPlayerCore::StartDeviceWatcher() {
  if (m_watcher) return true;
  m_watcher = std::make_unique<CTunerDeviceWatcher>([this](CTunerDeviceWatcher::Change, const std::string&) {
    const win::HWND hwnd = m_hwnd;
    if (hwnd && win::PostMessageW(hwnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0)) return;
    m_queue.Post([this] { OnDeviceChange(DBT_DEVNODES_CHANGED, 0); });
  });
  if (m_watcher->Start()) return true;
  m_watcher.reset();
  return false;
}

void CPlayerCore::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  BeginClose();
  StopStartupThread();
  StopChannelSearch();
  CloseMediaGraph();
  CloseStreamChannel();
  ClearChannelEntries();
  StopPlayback();
  CloseTuner();
  EndClose();
}

void CPlayerCore::BeginClose() {
  m_bClosing = true;
  m_timers.KillTimer(TimerId::kWatchdog);
  m_timers.KillTimer(TimerId::kWatchdogCheck);
  m_timers.KillTimer(TimerId::kOpen);
  m_bKeepStreams = false;
  if (m_watcher) m_watcher->Stop();
  if (m_bRecording) StopRecording(true);
  m_sink.PulseQuit();
}

void CPlayerCore::StopStartupThread() {
  if (!m_startupThread.joinable()) return;
  m_bStopStartupThread = true;
  m_startupSemaphore.Release();
  m_startupThread.join();
}

void CPlayerCore::StopChannelSearch() {
  // The search thread never waits for this thread, so the join ends at the scan's next poll.
  m_search->Stop();
  m_bSearching = false;
  // Its end is never handled now: whoever waits for it (the list editor) is let go.
  if (const auto after = std::exchange(m_afterSearch, {})) after({});
}

void CPlayerCore::CloseMediaGraph() {
  if (!MediaGraph()) return;
  StopFilePlayback();
  DeleteMediaGraph();
  Emit([](IPlayerView& v) { v.ShowVideoArea(false); });
}

void CPlayerCore::CloseTuner() {
  std::lock_guard lock(m_receptionLock);
  if (m_pTuner->IsOpen()) m_pTuner->Close();
}

void CPlayerCore::EndClose() {
  m_watcher.reset();
  m_timers.KillAll();
  m_queue.Close();
  m_hwnd = nullptr;
}

// ---- the filter's reports ----

bool CPlayerCore::OnFilterOpen(const FilterConnectData& data) {
  if (data.processId != OwnProcessId()) return false;
  std::lock_guard lock(m_receptionLock);
  if (m_nFilterState == FilterState::kStopped && m_engine.Initialised()) m_engine.ResetStreamEngine();
  m_sink.OpenFilterEvents();
  m_nDualMono = 0;  // each filter announces its broadcast's audio again
  {
    std::lock_guard slots(m_slotLock);
    const int slot = m_nChannelSlot;
    if (slot >= 0 && slot < static_cast<int>(m_Slots.size())) m_Slots[slot].headersValid = 0;
  }
  SetLevel(kLevelNone, 0);
  m_openResult = OpenMedia(data.url);
  tvk::SleepMs(10);
  if (m_nSourceMode == SourceMode::kLive || m_nSourceMode == SourceMode::kRecording) {
    if (m_engine.ThreadsRunning()) m_engine.StartUsbRead();
  }
  tvk::SleepMs(1);
  return true;
}

bool CPlayerCore::OnFilterRun(uint32_t processId) {
  if (processId != OwnProcessId()) return false;
  std::lock_guard lock(m_receptionLock);
  SetFilterState(FilterState::kRunning);
  m_bWatchFlagA = false;
  m_bWatchFlagB = false;
  return true;
}

bool CPlayerCore::OnFilterStop(uint32_t processId) {
  if (processId != OwnProcessId()) return false;
  std::lock_guard lock(m_receptionLock);
  if (m_bRecording) StopRecording(true);
  CloseStreamChannel();
  SetSourceMode(SourceMode::kNone);
  SetFilterState(FilterState::kStopped);
  return true;
}

void CPlayerCore::OnGraphClose() {
  std::lock_guard lock(m_receptionLock);
  ++m_nGraphCloseReports;
  m_bWatchFlagA = false;
  m_bWatchFlagB = false;
  CloseStreamChannel();
  SetFilterState(FilterState::kStopped);
}

void CPlayerCore::OnRecordToggle() {
  if (m_nSourceMode != SourceMode::kLive) return;
  if (m_bRecording)
    StopRecording(true);
  else
    StartRecording();
}

void CPlayerCore::OnRecordWriting(bool writing) {
  if (!m_bRecording) return;
  Emit([writing](IPlayerView& v) { v.ShowRecordWriting(writing); });
}

void CPlayerCore::OnIepgFile(const std::u16string& path) {
  if (!path.empty() && m_hooks.readIepgFile) m_hooks.readIepgFile(path);
}

void CPlayerCore::OnDropFiles(const std::vector<std::u16string>& paths) {
  for (const auto& path : DroppedIepgFiles(paths)) OnIepgFile(path);
}

void CPlayerCore::OnDualMonoState(int state) {
  if (m_nDualMono.exchange(state) != state && (state == 1 || state == 2))
    ShowStatusText(u"多重音声放送中", StripKind::kStatus, 500);
}

void CPlayerCore::ToggleDualMonoAudio() {
  int state = m_nDualMono;
  if (state != 1 && state != 2) return;  // no dual-mono broadcast announced
  state = state == 1 ? 2 : 1;
  m_nDualMono = state;
  m_sink.WriteAudioMode(state);
  ShowStatusText(state == 2 ? u"サーブ音声モード選択" : u"メイン音声モード選択", StripKind::kStatus, 200);
}

bool CPlayerCore::LaunchUpdater() {
  return StartUpdater(registry::ReadString(registry::kTevaloKey, u"Install_Dir").value_or(u""));
}

void CPlayerCore::SetGraphVolume(long hundredthsDb) {
  m_nGraphVolume = hundredthsDb;
  if (auto graph = MediaGraph()) graph->SetVolume(hundredthsDb);
}

// ---- opening and tuning ----

int CPlayerCore::OpenMedia(const std::u16string& url) {
  std::lock_guard lock(m_receptionLock);
  if (m_bKeepStreams) m_sink.Delete();
  if (!StartsWith(url, kDmbScheme)) {
    const std::u16string ext = PathExtension(url);
    if (ext.empty()) return 1;
    if (UpperAscii(ext) == u".REC") {
      SetSourceMode(SourceMode::kRecording);
      ClearStatusText(StripKind::kChannel);
      // The live programme's text does not belong to the file.
      ClearStatusText(StripKind::kProgramme);
    }
    return 1;
  }
  if (m_sink.Connect()) {
    const int r = TuneChannel(url);
    if (r != 0) {
      if (r == 1 && !m_engine.ThreadsRunning()) {
        if (!m_engine.Initialised()) m_engine.InitStreamEngine();
        if (!m_engine.CreateStreamEvents() || !m_engine.StartStreamThreads()) {
          // Without its stream threads the channel would only take the filter's waits.
          m_engine.StopStreamThreads();
          m_sink.Delete();
          return 0;
        }
      }
      return 1;
    }
  }
  m_sink.Delete();
  return 0;
}

int CPlayerCore::TuneChannel(const std::u16string& url) {
  std::lock_guard lock(m_receptionLock);
  SetSourceMode(SourceMode::kNone);
  if (StartsWith(url, kDmbScheme)) {
    Emit([](IPlayerView& v) { v.ResetPlaybackPanel(); });
    if (!m_pTuner->IsOpen() || !m_pTuner->IsUSB()) {
      // No stick: this tune fails and says so; the player stays for the stick to come back.
      if (!m_pTuner->Open(m_hwnd.load())) {
        ShowStatusText(kTextNoDevice, StripKind::kStatus, kStripUntilReplaced);
        return 0;
      }
      tvk::SleepMs(100);
    }
    const std::u16string code = CurrentChannel();
    if (!m_strConfigPath.empty()) profile::WriteString(m_strConfigPath, kSectionDmb, kKeyCurrent, code);
    if (m_pTuner->IsOpen()) {
      const std::u16string c = NormalizeChannelCode(code);
      const int aa = c.size() >= 2 ? profile::Wtoi(std::u16string_view(c).substr(0, 2)) : -1;
      const int bb = c.size() >= 4 ? profile::Wtoi(std::u16string_view(c).substr(2, 2)) : 0;
      const int cc = c.size() >= 5 ? profile::Wtoi(std::u16string_view(c).substr(4, 1)) : 0;
      if (IsDigitCode(c) && m_pTuner->SetChannel(aa, bb, cc, 0.0f)) {
        SetSourceMode(SourceMode::kLive);
        Emit([](IPlayerView& v) { v.ShowProgrammeStripIfEpgOn(); });
        return 1;
      }
    }
    return 0;
  }
  if (UpperAscii(url).find(u".REC") != std::u16string::npos) {
    SetSourceMode(SourceMode::kRecording);
    return 3;
  }
  return 0;
}

void CPlayerCore::PlayUrl(const std::u16string& text) { PlayUrl(text, true); }

void CPlayerCore::PlayPlaylistEntry(const std::u16string& path) { PlayUrl(path, false); }

void CPlayerCore::PlayUrl(const std::u16string& text, bool listQueuedFile) {
  if (m_bClosing) return;
  if (!StartsWithNoCase(text, kDmbScheme) && PathExtension(text).empty()) return;
  bool queuedFile = false;
  bool opening = false;
  {
    std::lock_guard lock(m_nameLock);
    opening = m_bOpening;
    if (opening) {
      queuedFile = !StartsWith(text, kDmbUrlPrefix);
      if (queuedFile) m_strCurrentMedia = text;
      m_strPendingName = text;
    } else {
      m_strCurrentMedia = text;
    }
    m_bOpenQueued = true;
  }
  if (!opening) {
    SetTimer(TimerId::kOpen, 100);
    return;
  }
  if (queuedFile && listQueuedFile) {
    tevalo::panels::Playlist().Enqueue(text);
    Emit([](IPlayerView& v) { v.RefillPlaylist(0); });
  }
}

void CPlayerCore::ChangeChannel(std::u16string code, bool updatePanel) {
  (void)updatePanel;  // the channel panel follows with its own part
  if (m_bOpening || !m_bTunerStarted || m_bClosing) return;
  // Everything is checked before anything is stopped: a bad code leaves the channel playing.
  code = NormalizeChannelCode(std::move(code));
  const auto entry = FindEntryForCode(code);
  if (!entry) return;
  ClearStatusText(StripKind::kProgramme);
  ClearStatusText(StripKind::kChannel);
  const std::u16string url = ChannelUrlOf(*entry);
  const int slot =
      entry->constant >= 1 && entry->constant <= static_cast<int>(m_Slots.size()) ? entry->constant - 1 : -1;
  SetCurrentChannel(code);
  ShowStatusText(kTextChanging, StripKind::kStatus, kStripUntilReplaced);
  Emit([](IPlayerView& v) { v.ShowAnimation(Animation::kChanging); });
  if (m_bRecording) StopRecording(true);
  m_playback.OnChannelChange();
  // Set before the stop: the filter's stop report comes inside it and must keep the stream threads.
  if (m_sink.HasChannel() && !m_options.restartStreamsOnChange) m_bKeepStreams = true;
  if (m_nSourceMode != SourceMode::kNone) {
    if (auto graph = MediaGraph()) graph->Stop();  // the filter reports its stop (code 4) here
  }
  PlayUrl(url);
  m_nChannelSlot = slot;
  PublishState();
}

std::optional<ChannelEntry> CPlayerCore::FindEntryForCode(const std::u16string& code) const {
  if (!IsDigitCode(code)) return std::nullopt;
  const int index = ChannelIndexOfCode(code);
  if (index < 0 || index >= kChannelCount) return std::nullopt;
  std::lock_guard lock(m_entriesLock);
  for (const auto& e : m_arrChannelEntries)
    if (e.index == index) return e;
  return std::nullopt;
}

void CPlayerCore::CloseFilterEvents() { m_sink.CloseFilterEvents(m_bKeepStreams); }

void CPlayerCore::CloseStreamChannel() {
  std::lock_guard lock(m_receptionLock);
  CloseFilterEvents();
  if (!m_bKeepStreams) {
    StopReception();
    return;
  }
  m_sink.DisconnectAndDelete();
}

void CPlayerCore::StopReception() {
  KillTimer(TimerId::kLevel);
  StopPlayback();
}

void CPlayerCore::StopPlayback() {
  std::lock_guard lock(m_receptionLock);
  if (m_nSourceMode == SourceMode::kNone || m_nSourceMode == SourceMode::kOther)
    SetFilterState(FilterState::kStopped);
  if (m_bRecording) StopRecording(true);
  m_engine.StopStreamThreads();
  m_sink.Delete();
  m_engine.CloseStreamEvents();
  m_engine.FlushChunkQueue();
  m_engine.FlushPacketQueue();
  m_engine.DeleteStreamEngine();
}

void CPlayerCore::ShowStatusText(const std::u16string& text, StripKind kind, int ticks) {
  switch (kind) {
    case StripKind::kChannel:
      Emit([t = ChannelStripText(text), ticks](IPlayerView& v) {
        v.SetStripText(StripKind::kChannel, t, ticks);
      });
      break;
    case StripKind::kProgramme:
    case StripKind::kStatus:
      Emit([text, kind, ticks](IPlayerView& v) { v.SetStripText(kind, text, ticks); });
      break;
    default:
      return;
  }
  std::lock_guard lock(m_nameLock);
  m_strLastStatusText = text;
}

void CPlayerCore::ClearStatusText(int kind) {
  const StripKind kinds[] = {StripKind::kChannel, StripKind::kProgramme, StripKind::kStatus,
                             StripKind::kCaption};
  for (StripKind k : kinds)
    if (kind == static_cast<int>(k)) {
      Emit([k](IPlayerView& v) { v.ClearStrip(k); });
      return;
    }
  Emit([kinds](IPlayerView& v) {
    for (StripKind k : kinds) v.ClearStrip(k);
  });
}

int CPlayerCore::IsChannelAvailable(int index) {
  if (index < 0 || index >= kChannelCount) return 0;
  std::lock_guard lock(m_receptionLock);
  if (!m_pTuner->IsOpen()) m_pTuner->Open(m_hwnd.load());
  if (!m_pTuner->IsOpen()) return 0;
  return m_pTuner->m_ChannelInform[index].m_bFound ? 1 : 0;
}

// ---- tuner start, search, device presence ----

void CPlayerCore::StartTuner() {
  m_bTunerStarted = true;
  m_nLevelBars = m_nSavedLevelBars.load();
  KillTimer(TimerId::kLevel);
  BeginSearch(m_nSearchKind);
  if (!m_pTuner->IsOpen()) {
    BeginSearch(m_nSearchKind);
    if (!m_pTuner->IsOpen()) {
      m_nLevel = kLevelNone;
      ShowStatusText(kTextNoDevice, StripKind::kStatus, kStripUntilReplaced);
    }
  }
  Emit([entries = ChannelEntries()](IPlayerView& v) { v.RefreshChannelPanel(entries); });
  PublishState();
}

int CPlayerCore::BeginSearch(SearchKind kind) {
  // A running search keeps its tuner and kind: re-opening the stick would pull it from under the scan.
  if (m_bSearching) return 1;
  if (kind < SearchKind::kAll || kind > SearchKind::kStoredList) kind = SearchKind::kArea;
  m_nSearchKind = kind;
  {
    std::lock_guard lock(m_receptionLock);
    m_pTuner->Close();
    tvk::SleepMs(5);
    if (!m_pTuner->Open(m_hwnd.load())) {
      m_bTunerUsable = false;
      PublishState();
      return 0;
    }
  }
  m_bTunerUsable = true;
  const auto searchKind = static_cast<channels::SearchKind>(static_cast<int>(kind));
  m_hasSearchMask = searchKind == channels::SearchKind::StoredList;
  m_SearchMask = m_channelList.CopyFlags();
  auto request = channels::MakeSearchRequest(searchKind, m_nAreaIndex, m_nSearchChannel, m_bAreaChosen,
                                             m_channelList.GetSearchList(), m_SearchMask);
  m_bSearching = true;
  ShowStatusText(kTextSearching, StripKind::kStatus, kStripUntilReplaced);
  Emit([](IPlayerView& v) { v.ShowAnimation(Animation::kSearching); });
  if (!m_search->Start(std::move(request))) {
    m_bSearching = false;
    Emit([](IPlayerView& v) { v.HideAnimation(); });
    PublishState();
    return 0;
  }
  PublishState();
  return 1;
}

void CPlayerCore::SetStartSearch(SearchKind kind, int areaIndex, bool areaChosen) {
  m_nSearchKind = kind;
  m_nAreaIndex = areaIndex;
  m_bAreaChosen = areaChosen;
}

int CPlayerCore::SearchFromPanel(SearchKind kind, const PanelSearch& search) {
  if (m_bSearching || m_bClosing) return 1;
  if (search.closeGraph) CloseMediaGraph();
  if (search.forgetStoredChannel && !m_strConfigPath.empty())
    profile::WriteString(m_strConfigPath, kSectionDmb, kKeyCurrent, kNoChannel);
  if (search.chooseArea) m_bAreaChosen = true;
  if (kind == SearchKind::kSingle)
    m_nSearchChannel = search.channel >= 0 && search.channel < kChannelCount ? search.channel : 0;
  StopReception();
  return BeginSearch(kind);
}

bool CPlayerCore::SearchEditedList(int area, std::function<void()> done) {
  if (m_bSearching || m_bClosing) return false;
  m_nAreaIndex = area;
  m_afterSearch = [this, done = std::move(done)](const std::u16string& chosen) {
    if (!m_bClosing) {
      const int index = chosen.empty() ? -1 : ChannelIndexOfCode(NormalizeChannelCode(chosen));
      if (index < 0 || index >= kChannelCount || !IsChannelAvailable(index)) {
        // Nothing listed leaves nothing tuned: the channel the editor replaced is not current.
        if (chosen.empty()) SetCurrentChannel({});
        ShowStatusText(kTextNoSelectedChannel, StripKind::kStatus, kStripUntilReplaced);
        Emit([](IPlayerView& v) { v.ShowAnimation(Animation::kNoSignal); });
        PublishState();
      }
    }
    if (done) done();
  };
  PanelSearch search;
  search.closeGraph = true;
  search.forgetStoredChannel = true;
  search.chooseArea = true;  // the ticked channels are scanned, not taken from their stored flags
  if (SearchFromPanel(SearchKind::kStoredList, search) == 0) {
    m_afterSearch = nullptr;
    m_bAreaChosen = false;
    return false;
  }
  return true;
}

void CPlayerCore::OnChannelSearchDone() {
  const auto after = std::exchange(m_afterSearch, {});
  SetLevel(kLevelNone, 0);
  m_search->Reap();
  auto entries = BuildChannelEntries(m_pTuner->m_FICInformation, m_pTuner->m_ChannelInform,
                                     m_hasSearchMask ? m_SearchMask.data() : nullptr,
                                     [this](int i) { return IsChannelAvailable(i) != 0; });
  {
    std::lock_guard lock(m_entriesLock);
    m_arrChannelEntries = entries;
  }
  Emit([entries](IPlayerView& v) { v.RefreshChannelPanel(entries); });
  m_bSearching = false;
  Emit([](IPlayerView& v) { v.HideAnimation(); });
  PublishState();
  if (m_bClosing) {
    if (after) after({});
    return;
  }
  const std::u16string stored = m_strConfigPath.empty() ? std::u16string(kNoChannel) : ReadCurrentChannel();
  const std::u16string code =
      ChooseChannelCode(stored, entries, [this](int i) { return IsChannelAvailable(i) != 0; });
  ChangeChannel(code, false);
  m_nSearchKind = SearchKind::kNone;
  if (after) after(code);
}

void CPlayerCore::ClearChannelEntries() {
  std::lock_guard lock(m_entriesLock);
  m_arrChannelEntries.clear();
}

std::vector<ChannelEntry> CPlayerCore::ChannelEntries() const {
  std::lock_guard lock(m_entriesLock);
  return m_arrChannelEntries;
}

void CPlayerCore::OnTunerRemoved() {
  std::lock_guard lock(m_receptionLock);
  SetFilterState(FilterState::kStopped);
  m_bTunerStarted = false;
  m_pTuner->Close();
  ClearStatusText(StripKind::kChannel);
  ClearStatusText(StripKind::kProgramme);
  Emit([entries = ChannelEntries()](IPlayerView& v) {
    v.HideChannelPanel();
    v.RefreshChannelPanel(entries);
  });
  KillTimer(TimerId::kLevel);
  StopReception();
  m_nSavedLevelBars = m_nLevelBars.load();
  SetLevel(kLevelRemoved, 0);
  ShowStatusText(kTextRemoved, StripKind::kStatus, kStripUntilReplaced);
  PublishState();
}

LRESULT CPlayerCore::OnDeviceChange(WPARAM event, LPARAM) {
  if (m_bDeviceChangeBusy.exchange(true)) return 0;
  if (event != DBT_DEVNODES_CHANGED || m_bClosing) {
    m_bDeviceChangeBusy = false;
    return 0;
  }
  bool removed = false, arrived = false;
  {
    std::lock_guard lock(m_receptionLock);
    if (m_bTunerStarted)
      removed = !m_pTuner->IsUSB() && m_pTuner->IsPNP();
    else
      arrived = m_pTuner->IsUSB();
  }
  if (removed) OnTunerRemoved();
  if (arrived) StartTuner();
  m_bDeviceChangeBusy = false;
  return 0;
}

// ---- the start-up thread ----

void CPlayerCore::PrepareOpenAndWake() {
  if (m_bClosing) return;
  if (!PrepareOpen()) return;
  m_bStopStartupThread = false;
  m_startupSemaphore.Release();
}

bool CPlayerCore::PrepareOpen() {
  {
    std::lock_guard lock(m_nameLock);
    if (m_bOpening) {
      m_strPendingName = m_strCurrentMedia;
      m_timers.SetTimer(TimerId::kOpen, 100);
      return false;
    }
    if (!tevalo::text::EqualsNoCase(m_strPendingName, kNullName)) {
      // A pending file was made the current media when it was queued; it opens as that.
      m_strOpenTarget =
          m_strPendingName.find(kDmbUrlPrefix) != std::u16string::npos ? m_strPendingName : m_strCurrentMedia;
      m_strCurrentMedia = m_strOpenTarget;
    } else {
      m_strOpenTarget = m_strCurrentMedia;
    }
    m_bNotLiveMedia = !StartsWith(m_strOpenTarget, kDmbScheme);
    m_strPendingName = kNullName;
  }
  ++m_nOpenGeneration;
  if (m_bNotLiveMedia && m_bRecording) StopRecording(true);
  // A timeshift pause is not resumed first: the paused graph goes with this open, and play requests
  // wait for the open to end.
  m_playback.OnOpen();
  m_bStreamFormatsKnown = false;
  m_timers.KillTimer(TimerId::kWatchdog);
  m_timers.KillTimer(TimerId::kWatchdogCheck);
  m_timers.SetTimer(TimerId::kWatchdog, 10000);
  return true;
}

void CPlayerCore::StartupThread() {
  for (;;) {
    m_startupSemaphore.Wait();
    if (m_bStopStartupThread) break;
    OpenQueuedMedia();
  }
}

void CPlayerCore::DeleteMediaGraph() {
  std::shared_ptr<IMediaGraph> old;
  {
    std::lock_guard lock(m_graphLock);
    old = std::move(m_pMediaGraph);
  }
  old.reset();
}

void CPlayerCore::OpenQueuedMedia() {
  m_bOpening = true;
  PublishState();
  if (MediaGraph()) {
    StopFilePlayback();
    DeleteMediaGraph();
  }
  SetPlayState(PlayState::kStopped);
  m_bBusy = true;
  {
    std::shared_ptr<IMediaGraph> graph;
    if (m_options.makeGraph) {
      graph = m_options.makeGraph(this, m_options.video);
    } else {
      auto real = std::make_shared<CMediaGraph>(this, m_options.video);
      if (m_options.audioTap) real->SetAudioTap(m_options.audioTap);
      graph = std::move(real);
    }
    std::lock_guard lock(m_graphLock);
    m_pMediaGraph = std::move(graph);
  }
  if (!StartMedia()) {
    DeleteMediaGraph();
    StopPlayback();
  }
  m_bBusy = false;
  std::u16string current;
  {
    std::lock_guard lock(m_nameLock);
    current = m_strCurrentMedia;
  }
  if (!StartsWith(current, kDmbScheme) && IsRecPath(current)) {
    SetSourceMode(SourceMode::kRecording);
    Emit([name = tevalo::panels::FileNameOf(current)](IPlayerView& v) { v.ShowPlaybackFile(name); });
  }
  bool pending;
  {
    std::lock_guard lock(m_nameLock);
    m_bOpening = false;
    pending = !tevalo::text::EqualsNoCase(m_strPendingName, kNullName);
    m_bOpenQueued = pending;
  }
  ClearStatusText(StripKind::kCaption);
  PublishState();
  if (pending) SetTimer(TimerId::kOpen, 100);
}

int CPlayerCore::StartMedia() {
  auto graph = MediaGraph();
  if (m_nPlayState == PlayState::kNone || !graph) return 1;
  std::u16string target;
  {
    std::lock_guard lock(m_nameLock);
    target = m_strOpenTarget;
  }
  if (m_nPlayState != PlayState::kPaused) {
    m_openResult = -1;
    const HRESULT hr = graph->Open(target);
    if (hr != S_OK) {
      if (StartsWith(target, kDmbScheme)) {
        // The close report (code 14) the main window sends itself, handled here before going on:
        // once per failed build, however the failure arose.
        OnGraphClose();
        return 0;
      }
      return 1;
    }
  }
  ClearStatusText(StripKind::kStatus);
  // Closing waits for this open: a graph that will be torn down at once is not started.
  if (!m_bClosing) RunMedia();
  return 1;
}

void CPlayerCore::RunMedia() {
  auto graph = MediaGraph();
  if (!graph) return;
  graph->Run();
  KillTimer(TimerId::kTimeshift);
  SetPlayState(PlayState::kPlaying);
  graph->SetVolume(m_nGraphVolume);
  int duration = 0;
  graph->GetDuration(&duration);
  SetTimer(TimerId::kPlayback, 100);
}

void CPlayerCore::StopFilePlayback() {
  auto graph = MediaGraph();
  if (m_nPlayState == PlayState::kNone || !graph) return;
  KillTimer(TimerId::kPlayback);
  graph->Stop();
  if (m_nPlayState != PlayState::kPaused && m_nPlayState != PlayState::kStopped)
    SetPlayState(PlayState::kStopped);
}

std::shared_ptr<IMediaGraph> CPlayerCore::MediaGraph() const {
  std::lock_guard lock(m_graphLock);
  return m_pMediaGraph;
}

// ---- graph owner ----

void CPlayerCore::OnGraphBuildFailed() {
  KillTimer(TimerId::kNoSignal);
  Emit([](IPlayerView& v) { v.ShowVideoArea(false); });
  ClearStatusText(StripKind::kStatus);
  ClearStatusText(StripKind::kChannel);
  ShowStatusText(kTextNoSignal, StripKind::kStatus, kStripUntilReplaced);
}

void CPlayerCore::OnGraphBuilt() {
  std::u16string target;
  {
    std::lock_guard lock(m_nameLock);
    target = m_strOpenTarget;
  }
  Emit([strip = OpenedStripText(target)](IPlayerView& v) {
    v.ShowVideoArea(true);
    v.SetStripText(StripKind::kChannel, strip, kStripUntilReplaced);
  });
  ClearStatusText(StripKind::kStatus);
  Emit([](IPlayerView& v) { v.HideAnimation(); });
  KillTimer(TimerId::kNoSignal);
  SetTimer(TimerId::kLevel, 800);
}

bool CPlayerCore::SourceLoaded(const std::u16string& urlOrPath) {
  if (!StartsWith(urlOrPath, kDmbScheme)) return true;
  return m_openResult == 1;
}

void CPlayerCore::PostGraphEvent() {
  m_queue.Post([this] {
    if (auto graph = MediaGraph()) graph->HandleGraphEvent();
  });
}

// ---- stream formats ----

void CPlayerCore::OnStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) {
  const auto& pids = m_engine.Pids();
  const std::array<int16_t, 4> ids{static_cast<int16_t>(pids.video.load()),
                                   static_cast<int16_t>(pids.audio.load()),
                                   static_cast<int16_t>(pids.caption.load()), -1};
  m_queue.Post([this, generation = m_nOpenGeneration.load(), video, audio, ids] {
    HandleStreamFormats(generation, video, audio, ids);
  });
}

void CPlayerCore::HandleStreamFormats(uint64_t generation, const StreamFormatMessage& video,
                                      const StreamFormatMessage& audio, std::array<int16_t, 4> streamIds) {
  if (generation != m_nOpenGeneration || m_bClosing) return;  // an open since made them stale
  {
    std::lock_guard lock(m_slotLock);
    const int slot = m_nChannelSlot;
    if (slot >= 0 && slot < static_cast<int>(m_Slots.size())) {
      ChannelSlot& s = m_Slots[slot];
      const auto vlen = static_cast<size_t>(std::max(0, video.length));
      const auto alen = static_cast<size_t>(std::max(0, audio.length));
      if (vlen <= s.videoHeader.size()) {
        std::memcpy(s.videoHeader.data(), video.body, vlen);
        s.videoHeaderLength = static_cast<int32_t>(vlen);
      }
      if (alen <= s.audioHeader.size()) {
        std::memcpy(s.audioHeader.data(), audio.body, alen);
        s.audioHeaderLength = static_cast<int32_t>(alen);
      }
      s.streamIds = streamIds;
      s.headersValid = 1;
    }
  }
  const std::u16string code = m_strConfigPath.empty() ? std::u16string() : ReadCurrentChannel();
  if (const int lockIndex = LockIndexOfCode(code); lockIndex >= 0) {  // "No-Channel" marks nothing
    SetChannelLock(lockIndex, 1);
    profile::WriteString(m_strConfigPath, kSectionDmb, kKeyLast, code);
  }
  m_bStreamFormatsKnown = true;
  PublishState();
  if (m_bRecordingInterrupted.exchange(false))
    Emit([](IPlayerView& v) { v.ShowNotice(kTextRecordingStopped, kMessageTitle); });
}

void CPlayerCore::SetChannelLock(int index, int value) {
  if (index < 0 || index >= kChannelCount) return;
  {
    std::lock_guard lock(m_receptionLock);
    if (m_pTuner->IsOpen()) {
      m_pTuner->m_ChannelInform[index].m_bFound = value;
      m_pTuner->m_FICInformation[index].m_bFound = value;
    }
  }
  bool listed = false;
  {
    std::lock_guard lock(m_entriesLock);
    for (auto& e : m_arrChannelEntries)
      if (e.index == index) {
        e.availability = value != 0 ? 1 : 0;
        listed = true;
        break;
      }
  }
  if (listed) Emit([index, locked = value != 0](IPlayerView& v) { v.ChannelLockChanged(index, locked); });
}

void CPlayerCore::LoadChannelList() {
  std::u16string path = m_options.channelListPath;
  if (path.empty() && !m_strConfigPath.empty()) {
    const size_t slash = m_strConfigPath.find_last_of(u'/');
    path = (slash == std::u16string::npos ? std::u16string() : m_strConfigPath.substr(0, slash + 1)) +
           u"chlist.ini";
  }
  m_channelList.Reset(m_nAreaIndex, path);
  m_channelList.Load();
}

bool CPlayerCore::LoadChannelList(int areaIndex) {
  m_nAreaIndex = areaIndex;
  LoadChannelList();
  return m_channelList.GetEnabledCount() > 0;
}

void CPlayerCore::LoadChannelLocks() {
  if (m_strConfigPath.empty()) return;
  const auto locks = ReadChannelLocks(m_strConfigPath);
  for (int n = 0; n < kChannelCount; ++n) SetChannelLock(n, locks[n]);
}

void CPlayerCore::SaveChannelLocks() {
  if (m_strConfigPath.empty()) return;
  // Closing must not open the stick just to read its marks: with the tuner closed the listed entries
  // give theirs, and a channel known to neither keeps what the file holds.
  std::array<std::optional<int>, kChannelCount> marks{};
  bool tunerOpen = false;
  {
    std::lock_guard lock(m_receptionLock);
    tunerOpen = m_pTuner->IsOpen();
    if (tunerOpen)
      for (int n = 0; n < kChannelCount; ++n) marks[n] = m_pTuner->m_ChannelInform[n].m_bFound ? 1 : 0;
  }
  if (!tunerOpen) {
    std::lock_guard lock(m_entriesLock);
    for (const auto& e : m_arrChannelEntries)
      if (e.index >= 0 && e.index < kChannelCount) marks[e.index] = e.availability == 1 ? 1 : 0;
  }
  WriteChannelLocks(m_strConfigPath, [&](int n) { return marks[n]; });
}

void CPlayerCore::RetuneCurrent() { ChangeChannel(CurrentChannel(), false); }

std::u16string CPlayerCore::ReadCurrentChannel() {
  return profile::ReadString(m_strConfigPath, kSectionDmb, kKeyCurrent, u"14141");
}

// ---- decoded text ----

void CPlayerCore::PostForLiveOpen(std::function<void(IPlayerView&)> call) {
  m_queue.Post([this, generation = m_nOpenGeneration.load(), call = std::move(call)] {
    if (generation == m_nOpenGeneration && m_nSourceMode == SourceMode::kLive && !m_bClosing) call(m_view);
  });
}

void CPlayerCore::ShowCaption(const CaptionScreen& lines) {
  auto screen = std::make_shared<CaptionScreen>(lines);
  PostForLiveOpen([screen](IPlayerView& v) { v.ShowCaption(*screen); });
}

void CPlayerCore::ShowServiceName(std::u16string text) {
  if (text.empty()) return;
  PostForLiveOpen([text = std::move(text)](IPlayerView& v) {
    v.SetStripText(StripKind::kChannel, text, kStripUntilReplaced);
  });
}

void CPlayerCore::ShowProgramInfo(std::u16string text) {
  if (text.empty()) return;
  PostForLiveOpen([text = std::move(text)](IPlayerView& v) {
    v.SetStripText(StripKind::kProgramme, text, kStripUntilReplaced);
  });
}

void CPlayerCore::ClearProgramList() {
  if (m_hooks.clearProgramList) m_hooks.clearProgramList();
}

void CPlayerCore::BuildProgramList(const EventTable& events) {
  if (m_hooks.buildProgramList) m_hooks.buildProgramList(events);
}

// ---- playback ----

std::u16string CPlayerCore::RecordingFolder() const {
  return registry::ReadString(registry::kTevaloKey, u"rec_Dir").value_or(u"");
}

// ---- recording ----

std::u16string CPlayerCore::ChannelNameOf(int index) const {
  if (index < 0) return u"CH";
  std::lock_guard lock(m_entriesLock);
  for (const auto& e : m_arrChannelEntries)
    if (e.index == index && !e.name.empty()) return e.name;
  return u"CH";
}

void CPlayerCore::StartRecording() {
  if (m_nSourceMode != SourceMode::kLive) return;
  RecordingRequest request;
  request.notLiveMedia = m_bNotLiveMedia;
  request.formatsKnown = m_bStreamFormatsKnown;
  request.timeshift = m_playback.TimeshiftPaused() || m_playback.TimeshiftActive();
  // Bars count only once the level timer has read the tuner since the open.
  request.levelBars = m_nLevel == kLevelNone ? -1 : m_nLevelBars.load();
  request.folder = RecordingFolder();
  request.channelName = ChannelNameOf(ChannelIndexOfCode(CurrentChannel()));
  const std::time_t now = m_options.wallClock ? m_options.wallClock() : std::time(nullptr);
  localtime_r(&now, &request.local);
  if (m_recordingControl.Start(request) != RecordingStart::kStarted) return;
  {
    std::lock_guard lock(m_nameLock);
    m_strRecordingPath = m_recordingControl.Path();
  }
  m_bRecording = true;
  PublishState();
}

void CPlayerCore::StopRecording(bool noPrompt) {
  if (!m_bRecording) return;
  m_recordingControl.SetReserved(m_bReservedRecording);
  if (!m_recordingControl.Stop(!noPrompt, m_bClosing)) return;
  m_bRecording = false;
  m_bNotLiveMedia = false;
  m_bReservedRecording = false;
  PublishState();
}

void CPlayerCore::ShowStatus(const std::u16string& text, int ticks) {
  ShowStatusText(text, StripKind::kStatus, ticks);
}

void CPlayerCore::StopReservationTimer() { KillTimer(TimerId::kReservation); }

void CPlayerCore::WriteFileNameSetting(const std::u16string& path) {
  if (!m_strConfigPath.empty()) profile::WriteString(m_strConfigPath, kSectionRec, kKeyFileName, path);
}

bool CPlayerCore::WriteRecordMessage(bool start) { return m_sink.WriteRecord(start); }

void CPlayerCore::ShowRecording(bool recording) {
  Emit([recording](IPlayerView& v) {
    if (recording) v.ResetPlaybackPanel();
    v.ShowRecording(recording);
  });
  if (recording)
    SetTimer(TimerId::kRecordingClock, 1000);
  else
    KillTimer(TimerId::kRecordingClock);
}

}  // namespace tevalo::shell
