#include "player/shell/live_controller.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/path/path.h"
#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"
#include "player/pipeline/channel_writer.h"
#include "tuner/device/device_watcher.h"

namespace tevalo::shell {
namespace {

constexpr char16_t kSectionDmb[] = u"DMBControl";
constexpr char16_t kSectionLock[] = u"CHANNEL_LOCK";
constexpr char16_t kKeyCurrent[] = u"CurrentChannel";
constexpr char16_t kKeyLast[] = u"LastChannel";
constexpr char16_t kNullName[] = u"NULL";

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::u16string Ascii(const std::string& s) { return tevalo::text::ToUtf16(s); }

bool IsRecPath(const std::u16string& text) { return UpperAscii(PathExtension(text)) == u".REC"; }

}  // namespace

void CLiveController::Semaphore::Release() {
  std::lock_guard lock(m_lock);
  m_count = true;  // a release at the maximum is refused: it stays one
  m_cv.notify_one();
}

void CLiveController::Semaphore::Wait() {
  std::unique_lock lock(m_lock);
  m_cv.wait(lock, [this] { return m_count; });
  m_count = false;
}

CLiveController::CLiveController(IPlayerView& view, Options options)
    : m_view(view),
      m_options(std::move(options)),
      m_pTuner(std::make_unique<CTDMBDll>()),
      m_blockSource(*m_pTuner),
      m_engine(*this, m_blockSource) {
  m_nSearchKind = m_options.searchKind;
  m_nAreaIndex = m_options.areaIndex;
  m_strConfigPath = m_options.configPath;
  if (m_strConfigPath.empty()) {
    if (auto user = registry::ReadString(registry::kTevaloKey, u"User_Dir"))
      m_strConfigPath = tevalo::path::Join(std::u16string_view(*user), std::u16string_view(u"config.ini"));
  }
  for (size_t i = 0; i < m_Slots.size(); ++i) m_Slots[i].name = u"DMB CH" + Ascii(std::to_string(i + 1));
  m_pTuner->SetNotifier([this](void*, const std::string& text, const std::string& caption) {
    m_view.MessageBox(Ascii(text), Ascii(caption));
  });
}

CLiveController::~CLiveController() { Shutdown(); }

bool CLiveController::Initialise() {
  m_context = std::make_unique<QObject>();
  m_openTimer = new QTimer(m_context.get());
  m_openTimer->setSingleShot(true);
  QObject::connect(m_openTimer, &QTimer::timeout, m_context.get(), [this] { PrepareOpenAndWake(); });
  m_window = std::make_unique<win::Window>(
      u"Tevalo", [this](UINT msg, WPARAM w, LPARAM l) { return WindowProc(msg, w, l); });
  m_startupRunning = true;
  m_startupThread = std::thread([this] { StartupThread(); });
  if (m_options.watchDevices) {
    m_watcher =
        std::make_unique<CTunerDeviceWatcher>([this](CTunerDeviceWatcher::Change, const std::string&) {
          win::PostMessageW(Hwnd(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        });
    if (!m_watcher->Start()) m_watcher.reset();
  }
  return true;
}

win::HWND CLiveController::Hwnd() const { return m_window ? m_window->hwnd() : nullptr; }

void CLiveController::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_closing = true;
  if (m_openTimer) m_openTimer->stop();
  m_view.KillTimer(kTimerWatchdog);
  m_view.KillTimer(kTimerWatchdogCheck);
  m_bKeepStreams = 0;
  if (m_view.IsRecording()) m_view.StopRecording(false);
  if (m_watcher) m_watcher->Stop();
  {
    std::lock_guard lock(m_engine.SendLock());
    if (m_hFilterQuitEvent) tvk::PulseEvent(m_hFilterQuitEvent);
  }
  // The start-up thread may be inside a build whose filter waits for this thread: wait while
  // handling its messages.
  StopStartupThread();
  m_pTuner->m_bScanStop = 1;
  if (m_searchThread.joinable())
    WaitPumping([this] { return m_bSearching == 0 || !m_searchThread.joinable(); });
  if (m_searchThread.joinable()) m_searchThread.join();
  if (MediaGraph()) {
    StopFilePlayback();
    std::shared_ptr<CMediaGraph> graph;
    {
      std::lock_guard lock(m_graphLock);
      graph = std::move(m_pMediaGraph);
    }
    graph.reset();
  }
  CloseStreamChannel();
  ClearChannelEntries();
  StopPlayback();
  if (m_pTuner->IsOpen()) m_pTuner->Close();
  m_watcher.reset();
  m_window.reset();
  m_openTimer = nullptr;
  m_context.reset();
}

void CLiveController::WaitPumping(const std::function<bool()>& done) {
  const bool guiThread =
      QCoreApplication::instance() && m_context && QThread::currentThread() == m_context->thread();
  while (!done()) {
    if (guiThread)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    else
      SleepMs(5);
  }
}

// ---- window messages ----

LRESULT CLiveController::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case win::WM_COPYDATA:
      return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_DEVICECHANGE:
      return OnDeviceChange(wParam, lParam);
    case WM_MEDIAGRAPH_EVENT:
      if (auto graph = MediaGraph()) return graph->HandleGraphEvent();
      return 0;
    case WM_CHANNEL_SEARCH_DONE:
      OnChannelSearchDone();
      return 0;
    default:
      return win::DefWindowProcW(Hwnd(), msg, wParam, lParam);
  }
}

LRESULT CLiveController::OnCopyData(const COPYDATASTRUCT* data) {
  if (!data) return 0;
  const uint32_t pid = static_cast<uint32_t>(getpid());
  switch (data->dwData) {
    case COPYDATA_FILTER_OPEN: {
      if (!data->lpData || data->cbData < kFilterConnectDataBytes) return 0;
      const auto* bytes = static_cast<const uint8_t*>(data->lpData);
      if (ipcle::GetU32(bytes) != pid) return 0;
      std::u16string url;
      for (size_t i = 0; i < 260; ++i) {
        const char16_t c = static_cast<char16_t>(bytes[4 + 2 * i] | bytes[5 + 2 * i] << 8);
        if (!c) break;
        url.push_back(c);
      }
      if (m_nFilterState == 0) {
        std::lock_guard lock(m_engineLock);
        if (m_engine.Initialised()) m_engine.ResetStreamEngine();
      }
      {
        std::lock_guard lock(m_engine.SendLock());
        m_hFilterWakeEvent = tvk::OpenEvent(kFilterWakeEventName);
        m_hFilterQuitEvent = tvk::OpenEvent(kFilterQuitEventName);
        const int slot = m_nChannelSlot;
        if (slot >= 0 && slot < static_cast<int>(m_Slots.size())) m_Slots[slot].headersValid = 0;
      }
      m_nLevelBars = 0;
      m_nLevel = 256;
      m_view.ShowLevelBars(0);
      m_openResult = OpenMedia(url);
      SleepMs(10);
      if (m_nSourceMode == 1 || m_nSourceMode == 3) {
        std::lock_guard lock(m_engineLock);
        if (m_engine.ThreadsRunning()) m_engine.StartUsbRead();
      }
      SleepMs(1);
      return 1;
    }
    case COPYDATA_FILTER_RUN: {
      if (data->cbData != pid) return 0;
      std::lock_guard lock(m_engine.SendLock());
      m_nFilterState = 1;
      // Formats written before the filter read its channel may have been overwritten unread.
      if (m_formatsBeforeRun && m_pIpc)
        pipeline::WriteStreamFormatsToChannel(m_pIpc.get(), m_hFilterWakeEvent, m_msgVideoFormat,
                                              m_msgAudioFormat);
      m_formatsBeforeRun = false;
      m_bWatchFlagA = 0;
      m_bWatchFlagB = 0;
      return 1;
    }
    case COPYDATA_FILTER_STOP:
      if (data->cbData != pid) return 0;
      if (m_view.IsRecording()) m_view.StopRecording(false);
      CloseStreamChannel();
      m_nSourceMode = 0;
      m_nFilterState = 0;
      return 1;
    case COPYDATA_RECORD_TOGGLE:
      if (m_nSourceMode == 1) {
        if (m_view.IsRecording())
          m_view.StopRecording(false);
        else
          m_view.StartRecording();
      }
      return 1;
    case COPYDATA_GRAPH_CLOSE:
      ++m_nGraphCloseReports;
      m_bWatchFlagA = 0;
      m_bWatchFlagB = 0;
      CloseStreamChannel();
      m_nFilterState = 0;
      return 1;
    case COPYDATA_IEPG_FILE: {
      if (!data->lpData || data->cbData < 2) return 1;
      const auto* bytes = static_cast<const uint8_t*>(data->lpData);
      std::u16string path;
      for (size_t i = 0; i + 1 < data->cbData; i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (!c) break;
        path.push_back(c);
      }
      if (!path.empty()) m_view.ReadIepgFile(path);
      return 1;
    }
    default:
      return 0;
  }
}

// ---- opening and tuning ----

void CLiveController::DeleteChannelObject() {
  m_formatsBeforeRun = false;
  if (m_pIpc) {
    m_pIpc->Disconnect();
    m_pIpc.reset();
  }
}

int CLiveController::OpenMedia(const std::u16string& url) {
  if (m_bKeepStreams) {
    std::lock_guard lock(m_engine.SendLock());
    DeleteChannelObject();
  }
  if (!StartsWith(url, kDmbScheme)) {
    const std::u16string ext = PathExtension(url);
    if (ext.empty()) return 1;
    if (UpperAscii(ext) == u".REC") {
      m_nSourceMode = 3;
      ClearStatusText(kStripChannel);
    }
    return 1;
  }
  {
    std::lock_guard lock(m_engine.SendLock());
    if (!m_pIpc) {
      auto ipc = std::make_unique<CSharedMemoryIpc>(IpcRole::Player, kIpcChannelName, kIpcPayloadSize, false);
      if (ipc->Usable()) m_pIpc = std::move(ipc);
    }
  }
  bool connected = false;
  {
    std::lock_guard lock(m_engine.SendLock());
    connected = m_pIpc && m_pIpc->Connect() == 1;
  }
  if (connected) {
    const int r = TuneChannel(url);
    if (r != 0) {
      if (r == 1) {
        std::lock_guard lock(m_engineLock);
        if (!m_engine.ThreadsRunning()) {
          if (!m_engine.Initialised()) m_engine.InitStreamEngine();
          if (!m_engine.CreateStreamEvents() || !m_engine.StartStreamThreads()) return 0;
        }
      }
      return 1;
    }
  }
  std::lock_guard lock(m_engine.SendLock());
  DeleteChannelObject();
  return 0;
}

int CLiveController::TuneChannel(const std::u16string& url) {
  m_nSourceMode = 0;
  if (StartsWith(url, kDmbScheme)) {
    m_view.ResetPlaybackPanel();
    if (!m_pTuner->IsOpen()) {
      if (!m_pTuner->Open(Hwnd())) m_view.PostQuit();
      SleepMs(100);
    }
    const std::u16string code = m_strCurrentChannel;
    if (!m_strConfigPath.empty()) profile::WriteString(m_strConfigPath, kSectionDmb, kKeyCurrent, code);
    if (m_pTuner->IsOpen()) {
      const std::u16string c = NormalizeChannelCode(code);
      const int aa = c.size() >= 2 ? profile::Wtoi(std::u16string_view(c).substr(0, 2)) : -1;
      const int bb = c.size() >= 4 ? profile::Wtoi(std::u16string_view(c).substr(2, 2)) : 0;
      const int cc = c.size() >= 5 ? profile::Wtoi(std::u16string_view(c).substr(4, 1)) : 0;
      // A code that is not five digits names no channel.
      bool digits = c.size() == 5;
      for (char16_t ch : c) digits = digits && ch >= u'0' && ch <= u'9';
      if (digits && m_pTuner->SetChannel(aa, bb, cc, 0.0f)) {
        m_nSourceMode = 1;
        m_view.ShowProgrammeStripIfEpgOn();
        return 1;
      }
    }
    return 0;
  }
  if (UpperAscii(url).find(u".REC") != std::u16string::npos) {
    m_nSourceMode = 3;
    return 3;
  }
  return 0;
}

void CLiveController::PlayUrl(const std::u16string& text) {
  if (m_closing) return;
  if (!StartsWithNoCase(text, kDmbScheme) && PathExtension(text).empty()) return;
  std::lock_guard lock(m_nameLock);
  if (m_bOpening) {
    if (!StartsWith(text, kDmbUrlPrefix)) m_strCurrentMedia = text;
    m_strPendingName = text;
    return;
  }
  m_strCurrentMedia = text;
  if (m_openTimer) m_openTimer->start(100);
}

void CLiveController::ChangeChannel(std::u16string code, bool updatePanel) {
  (void)updatePanel;
  if (m_bOpening || !m_bTunerStarted || m_closing) return;
  if (code.empty()) return;
  ClearStatusText(kStripProgramme);
  ClearStatusText(kStripChannel);
  code = NormalizeChannelCode(std::move(code));
  const int index = ChannelIndexOfCode(code);
  std::u16string url;
  int slot = -1;
  {
    std::lock_guard lock(m_entriesLock);
    for (const auto& e : m_arrChannelEntries)
      if (e.index == index) {
        url = ChannelUrlOf(e);
        break;
      }
  }
  m_strCurrentChannel = code;
  ShowStatusText(kTextChanging, kStripStatus, -1);
  m_view.ShowAnimation(kAnimChanging);
  if (m_view.IsRecording()) m_view.StopRecording(false);
  if (m_nSourceMode != 0) {
    if (auto graph = MediaGraph()) graph->Stop();  // the filter reports its stop (code 4) here
  }
  {
    std::lock_guard lock(m_engine.SendLock());
    if (m_pIpc) m_bKeepStreams = 1;
  }
  PlayUrl(url);
  m_nChannelSlot = slot;
}

void CLiveController::CloseFilterEvents() {
  std::lock_guard lock(m_engine.SendLock());
  if (m_hFilterQuitEvent) {
    if (!m_bKeepStreams) {
      tvk::PulseEvent(m_hFilterQuitEvent);
      std::this_thread::yield();
    }
  }
  m_hFilterWakeEvent.Close();
  m_hFilterQuitEvent.Close();
}

void CLiveController::CloseStreamChannel() {
  CloseFilterEvents();
  if (!m_bKeepStreams) {
    StopReception();
    return;
  }
  std::lock_guard lock(m_engine.SendLock());
  if (m_pIpc) {
    m_pIpc->Disconnect();
    SleepMs(1);
    m_pIpc.reset();
  }
}

void CLiveController::StopReception() {
  m_view.KillTimer(kTimerLevel);
  StopPlayback();
}

void CLiveController::StopPlayback() {
  if (m_nSourceMode == 0 || m_nSourceMode == 2) m_nFilterState = 0;
  if (m_view.IsRecording()) m_view.StopRecording(false);
  std::lock_guard engineLock(m_engineLock);
  m_engine.StopStreamThreads();
  {
    std::lock_guard lock(m_engine.SendLock());
    DeleteChannelObject();
  }
  m_engine.CloseStreamEvents();
  m_engine.FlushChunkQueue();
  m_engine.FlushPacketQueue();
  m_engine.DeleteStreamEngine();
}

void CLiveController::ShowStatusText(const std::u16string& text, int kind, int ticks) {
  switch (kind) {
    case kStripChannel:
      m_view.SetStripText(kind, ChannelStripText(text), ticks);
      break;
    case kStripProgramme:
    case kStripStatus:
      m_view.SetStripText(kind, text, ticks);
      break;
    default:
      return;
  }
  std::lock_guard lock(m_nameLock);
  m_strLastStatusText = text;
}

std::u16string CLiveController::LastStatusText() const {
  std::lock_guard lock(m_nameLock);
  return m_strLastStatusText;
}

void CLiveController::ClearStatusText(int kind) {
  if (kind == kStripChannel || kind == kStripProgramme || kind == kStripStatus || kind == kStripCaption) {
    m_view.ClearStrip(kind);
    return;
  }
  for (int k : {kStripChannel, kStripProgramme, kStripStatus, kStripCaption}) m_view.ClearStrip(k);
}

int CLiveController::IsChannelAvailable(int index) {
  if (index < 0 || index >= kChannelCount) return 0;
  if (!m_pTuner->IsOpen()) m_pTuner->Open(Hwnd());
  if (!m_pTuner->IsOpen()) return 0;
  return m_pTuner->m_ChannelInform[index].m_bFound ? 1 : 0;
}

// ---- tuner start, search, device presence ----

void CLiveController::StartTuner() {
  m_bTunerStarted = 1;
  m_nLevelBars = m_nSavedLevelBars.load();
  m_view.KillTimer(kTimerLevel);
  BeginSearch(m_nSearchKind);
  if (!m_pTuner->IsOpen()) {
    BeginSearch(m_nSearchKind);
    if (!m_pTuner->IsOpen()) {
      m_nLevel = 256;
      ShowStatusText(kTextNoDevice, kStripStatus, -1);
    }
  }
  m_view.RefreshChannelPanel(ChannelEntries());
}

int CLiveController::BeginSearch(int kind) {
  m_nSearchKind = kind;
  if (m_bSearching) return 1;  // the running search keeps the tuner it opened
  m_pTuner->Close();
  SleepMs(5);
  if (!m_pTuner->Open(Hwnd())) return 0;
  m_bSearching = 1;
  ShowStatusText(kTextSearching, kStripStatus, -1);
  m_view.ShowAnimation(kAnimSearching);
  if (m_searchThread.joinable()) m_searchThread.join();  // a finished search, already handled
  m_pTuner->m_bScanStop = 0;
  m_searchThread = std::thread([this] { ChannelSearchThread(); });
  return 1;
}

void CLiveController::ChannelSearchThread() {
  switch (m_nSearchKind.load()) {
    case 0:
      m_pTuner->ScanAllChannel(m_nAreaIndex);
      break;
    case 2:
      m_pTuner->ScanSingleChannel(m_nSearchChannel);
      break;
    default:
      m_pTuner->ScanAreaChannel(m_nAreaIndex);
      break;
  }
  if (!win::PostMessageW(Hwnd(), WM_CHANNEL_SEARCH_DONE, 0, 0)) m_bSearching = 0;
}

void CLiveController::OnChannelSearchDone() {
  m_nLevelBars = 0;
  m_nLevel = 256;
  m_view.ShowLevelBars(0);
  if (m_searchThread.joinable()) m_searchThread.join();
  auto entries = BuildChannelEntries(m_pTuner->m_FICInformation, m_pTuner->m_ChannelInform,
                                     m_hasSearchMask ? m_SearchMask.data() : nullptr,
                                     [this](int i) { return IsChannelAvailable(i) != 0; });
  {
    std::lock_guard lock(m_entriesLock);
    m_arrChannelEntries = entries;
  }
  m_view.RefreshChannelPanel(entries);
  m_bSearching = 0;
  m_view.HideAnimation();
  if (m_closing) return;
  const std::u16string stored = m_strConfigPath.empty() ? std::u16string(kNoChannel) : ReadCurrentChannel();
  const std::u16string code =
      ChooseChannelCode(stored, entries, [this](int i) { return IsChannelAvailable(i) != 0; });
  ChangeChannel(code, false);
  m_nSearchKind = -1;
}

void CLiveController::ClearChannelEntries() {
  std::lock_guard lock(m_entriesLock);
  m_arrChannelEntries.clear();
}

std::vector<ChannelEntry> CLiveController::ChannelEntries() const {
  std::lock_guard lock(m_entriesLock);
  return m_arrChannelEntries;
}

void CLiveController::OnTunerRemoved() {
  m_nFilterState = 0;
  m_bTunerStarted = 0;
  m_pTuner->Close();
  ClearStatusText(kStripChannel);
  ClearStatusText(kStripProgramme);
  m_view.HideChannelPanel();
  m_view.RefreshChannelPanel(ChannelEntries());
  m_view.KillTimer(kTimerLevel);
  StopReception();
  m_nSavedLevelBars = m_nLevelBars.load();
  m_nLevelBars = 0;
  m_nLevel = 244;
  m_view.ShowLevelBars(0);
  ShowStatusText(kTextRemoved, kStripStatus, -1);
}

LRESULT CLiveController::OnDeviceChange(WPARAM event, LPARAM) {
  if (m_bDeviceChangeBusy.exchange(1)) return 0;
  if (event != DBT_DEVNODES_CHANGED || m_closing) {
    m_bDeviceChangeBusy = 0;
    return 0;
  }
  if (m_bTunerStarted) {
    if (!m_pTuner->IsUSB() && m_pTuner->IsPNP()) OnTunerRemoved();
  } else if (m_pTuner->IsUSB()) {
    StartTuner();
  }
  m_bDeviceChangeBusy = 0;
  return 0;
}

// ---- the start-up thread ----

void CLiveController::ArmOpenTimer() {
  if (!m_context) return;
  QMetaObject::invokeMethod(
      m_context.get(),
      [this] {
        if (!m_closing && m_openTimer) m_openTimer->start(100);
      },
      Qt::QueuedConnection);
}

void CLiveController::PrepareOpenAndWake() {
  if (m_closing) return;
  if (!PrepareOpen()) return;
  m_bStopStartupThread = 0;
  m_startupSemaphore.Release();
}

bool CLiveController::PrepareOpen() {
  {
    std::lock_guard lock(m_nameLock);
    if (m_bOpening) {
      m_strPendingName = m_strCurrentMedia;
      if (m_openTimer) m_openTimer->start(100);
      return false;
    }
    if (!tevalo::text::EqualsNoCase(m_strPendingName, kNullName)) {
      // A pending file was made the current media when it was queued; it opens as that.
      m_strOpenTarget =
          m_strPendingName.find(kDmbUrlPrefix) != std::u16string::npos ? m_strPendingName : m_strCurrentMedia;
      m_strCurrentMedia = m_strOpenTarget;
      m_bNotLiveMedia = StartsWith(m_strOpenTarget, kDmbScheme) ? 0 : 1;
    } else {
      m_strOpenTarget = m_strCurrentMedia;
      m_bNotLiveMedia = StartsWith(m_strOpenTarget, kDmbScheme) ? 0 : 1;
    }
    m_strPendingName = kNullName;
  }
  if (m_bNotLiveMedia && m_view.IsRecording()) m_view.StopRecording(false);
  m_bStreamFormatsKnown = 0;
  m_view.KillTimer(kTimerWatchdog);
  m_view.KillTimer(kTimerWatchdogCheck);
  m_view.SetTimer(kTimerWatchdog, 10000);
  return true;
}

void CLiveController::StartupThread() {
  for (;;) {
    m_startupSemaphore.Wait();
    if (m_bStopStartupThread) break;
    OpenQueuedMedia();
  }
  m_startupRunning = false;
}

void CLiveController::StopStartupThread() {
  if (!m_startupThread.joinable()) return;
  m_bStopStartupThread = 1;
  m_startupSemaphore.Release();
  WaitPumping([this] { return !m_startupRunning.load(); });
  m_startupThread.join();
}

void CLiveController::OpenQueuedMedia() {
  m_bOpening = 1;
  if (MediaGraph()) {
    StopFilePlayback();
    std::shared_ptr<CMediaGraph> old;
    {
      std::lock_guard lock(m_graphLock);
      old = std::move(m_pMediaGraph);
    }
    old.reset();
  }
  m_nPlayState = 3;
  m_bBusy = 1;
  {
    auto graph = std::make_shared<CMediaGraph>(this, m_options.video);
    if (m_options.audioTap) graph->SetAudioTap(m_options.audioTap);
    std::lock_guard lock(m_graphLock);
    m_pMediaGraph = std::move(graph);
  }
  if (!StartMedia()) {
    std::shared_ptr<CMediaGraph> failed;
    {
      std::lock_guard lock(m_graphLock);
      failed = std::move(m_pMediaGraph);
    }
    failed.reset();
    StopPlayback();
  }
  m_bBusy = 0;
  std::u16string current;
  {
    std::lock_guard lock(m_nameLock);
    current = m_strCurrentMedia;
  }
  if (!StartsWith(current, kDmbScheme) && IsRecPath(current)) m_nSourceMode = 3;
  bool pending;
  {
    std::lock_guard lock(m_nameLock);
    m_bOpening = 0;
    pending = !tevalo::text::EqualsNoCase(m_strPendingName, kNullName);
  }
  ClearStatusText(kStripCaption);
  if (pending) ArmOpenTimer();
}

int CLiveController::StartMedia() {
  auto graph = MediaGraph();
  if (m_nPlayState == -1 || !graph) return 1;
  std::u16string target;
  {
    std::lock_guard lock(m_nameLock);
    target = m_strOpenTarget;
  }
  if (m_nPlayState != 2) {
    m_openResult = -1;
    const HRESULT hr = graph->Open(target);
    if (hr != S_OK) {
      if (StartsWith(target, kDmbScheme)) {
        // One close report per failed build, however the failure arose.
        COPYDATASTRUCT cds{COPYDATA_GRAPH_CLOSE, 0, nullptr};
        uintptr_t result = 0;
        win::SendMessageTimeoutW(Hwnd(), win::WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds),
                                 win::SMTO_NORMAL, 5000, &result);
        return 0;
      }
      return 1;
    }
  }
  ClearStatusText(kStripStatus);
  RunMedia();
  return 1;
}

void CLiveController::RunMedia() {
  auto graph = MediaGraph();
  if (!graph) return;
  graph->Run();
  m_view.KillTimer(kTimerTimeshift);
  m_nPlayState = 1;
  graph->SetVolume(0);
  int duration = 0;
  graph->GetDuration(&duration);
  m_view.SetTimer(kTimerPlayback, 100);
}

void CLiveController::StopFilePlayback() {
  auto graph = MediaGraph();
  if (m_nPlayState == -1 || !graph) return;
  m_view.KillTimer(kTimerPlayback);
  graph->Stop();
  if (m_nPlayState != 2 && m_nPlayState != 3) m_nPlayState = 3;
}

std::shared_ptr<CMediaGraph> CLiveController::MediaGraph() const {
  std::lock_guard lock(m_graphLock);
  return m_pMediaGraph;
}

// ---- graph owner ----

void CLiveController::OnGraphBuildFailed() {
  m_view.KillTimer(kTimerNoSignal);
  m_view.ShowVideoArea(false);
  ClearStatusText(kStripStatus);
  ClearStatusText(kStripChannel);
  ShowStatusText(kTextNoSignal, kStripStatus, -1);
}

void CLiveController::OnGraphBuilt() {
  std::u16string target;
  {
    std::lock_guard lock(m_nameLock);
    target = m_strOpenTarget;
  }
  m_view.ShowVideoArea(true);
  m_view.SetStripText(kStripChannel, ChannelStripText(target), -1);
  ClearStatusText(kStripStatus);
  m_view.HideAnimation();
  m_view.KillTimer(kTimerNoSignal);
  m_view.SetTimer(kTimerLevel, 800);
}

bool CLiveController::SourceLoaded(const std::u16string& urlOrPath) {
  if (!StartsWith(urlOrPath, kDmbScheme)) return true;
  return m_openResult == 1;
}

void CLiveController::PostGraphEvent() { win::PostMessageW(Hwnd(), WM_MEDIAGRAPH_EVENT, 0, 0); }

// ---- stream host ----

bool CLiveController::WriteStreamFrame(const uint8_t* message, size_t size) {
  const bool video = size >= 4 && ipcle::GetI32(message) == IPC_VIDEO_FRAME;
  // Once the filter's events are closed it has stopped or been told to quit: nobody reads the
  // channel, and each write would wait a second for an acknowledgement.
  const bool ok =
      m_hFilterWakeEvent && pipeline::WriteFrameToChannel(m_pIpc.get(), m_hFilterWakeEvent, message, size);
  if (video)
    ++(ok ? m_counts.videoWritten : m_counts.videoLost);
  else
    ++(ok ? m_counts.audioWritten : m_counts.audioLost);
  return ok;
}

void CLiveController::SendStreamFormats(int, const StreamFormatMessage& video,
                                        const StreamFormatMessage& audio) {
  if (!m_pIpc) return;
  m_msgVideoFormat = video;
  m_msgAudioFormat = audio;
  m_formatsBeforeRun = m_nFilterState == 0;
  if (!pipeline::WriteStreamFormatsToChannel(m_pIpc.get(), m_hFilterWakeEvent, video, audio)) return;
  ++m_counts.formatHandOvers;
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
    const auto& pids = m_engine.Pids();
    s.streamIds = {static_cast<int16_t>(pids.video.load()), static_cast<int16_t>(pids.audio.load()),
                   static_cast<int16_t>(pids.caption.load()), -1};
    s.headersValid = 1;
  }
  if (!m_strConfigPath.empty()) {
    const std::u16string code = ReadCurrentChannel();
    SetChannelLock(ChannelIndexOfCode(code), 1);
    profile::WriteString(m_strConfigPath, kSectionDmb, kKeyLast, code);
  }
  m_bStreamFormatsKnown = 1;
  if (m_bRecordingInterrupted.exchange(0)) m_view.MessageBox(kTextRecordingStopped, kMessageTitle);
}

void CLiveController::SetChannelLock(int index, int value) {
  if (index < 0 || index >= kChannelCount) return;
  if (m_pTuner->IsOpen()) {
    m_pTuner->m_ChannelInform[index].m_bFound = value;
    m_pTuner->m_FICInformation[index].m_bFound = value;
  }
  std::lock_guard lock(m_entriesLock);
  for (auto& e : m_arrChannelEntries)
    if (e.index == index) {
      e.availability = value != 0 ? 1 : 0;
      break;
    }
}

std::u16string CLiveController::ReadCurrentChannel() {
  return profile::ReadString(m_strConfigPath, kSectionDmb, kKeyCurrent, u"14141");
}

CLiveController::FrameCounts CLiveController::Counts() const {
  std::lock_guard lock(const_cast<CLiveController*>(this)->m_engine.SendLock());
  return m_counts;
}

}  // namespace tevalo::shell
