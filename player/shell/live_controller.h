// The player's live road without a window: the filter's connection messages, opening media on the
// start-up thread, tuning, channel change, channel search, device presence and the stream-format
// hand-over. The main window owns one and forwards its window messages; until it exists the demo
// program does.
//
// Threads: the controller belongs to the thread that creates it (the GUI thread), which must run a
// Qt event loop: the "Tevalo" window it registers receives the filter's WM_COPYDATA there, and the
// deferred open (timer 105) runs there. Media is opened on the start-up thread, the channel search
// runs on a search thread, the stream engine's threads write through the channel sink. Every thread is
// stopped and joined by Shutdown (the destructor calls it).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/sync.h"
#include "platform/window/window.h"
#include "player/pipeline/channel_sink.h"
#include "player/pipeline/graph/media_graph.h"
#include "player/pipeline/stream_engine.h"
#include "player/pipeline/tuner_block_source.h"
#include "player/shell/channel_code.h"
#include "player/shell/player_view.h"
#include "tuner/wrapper/tdmb_dll.h"

class QObject;
class QTimer;
class CTunerDeviceWatcher;

namespace tevalo::shell {

using win::COPYDATASTRUCT;
using win::LPARAM;
using win::LRESULT;
using win::UINT;
using win::WPARAM;

inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr WPARAM DBT_DEVNODES_CHANGED = 7;
inline constexpr UINT WM_MEDIAGRAPH_EVENT = win::WM_APP + 1001;
inline constexpr UINT WM_CHANNEL_SEARCH_DONE = win::WM_APP + 1008;

inline constexpr char16_t kTextNoSignal[] = u"放送信号を受信できません。";
inline constexpr char16_t kTextChanging[] = u"チャンネル変更中です。しばらくお待ちください。";
inline constexpr char16_t kTextSearching[] = u"チャンネルサーチ中です。しばらくお待ちください。";
inline constexpr char16_t kTextNoDevice[] = u"USBデバイスが見つかりません。システムを確認してください。";
inline constexpr char16_t kTextRemoved[] = u"USBデバイスが取り外されました。プレーヤーを停止します。";
inline constexpr char16_t kTextRecordingStopped[] = u"録画を停止します。";
inline constexpr char16_t kMessageTitle[] = u"1seg Message";

// Where the main window caches the stream headers of the channel it watches.
struct ChannelSlot {
  int32_t videoHeaderLength = 0;
  int32_t audioHeaderLength = 0;
  std::array<uint8_t, 24> videoHeader{};
  std::array<uint8_t, 16> audioHeader{};
  std::u16string name;
  std::array<int16_t, 4> streamIds{-1, -1, -1, -1};
  int32_t headersValid = 0;
};

class CLiveController final : public pipeline::IStreamEvents, public IMediaGraphOwner {
 public:
  struct Options {
    // Pictures of the "Video Renderer"; may be null.
    IVideoOutput* video = nullptr;
    // Settings file; empty: "User_Dir" of the installation values + "config.ini".
    std::u16string configPath;
    // Search kind at tuner start: 0 all, 1 area, 2 single, 3 stored list.
    int searchKind = 1;
    int areaIndex = 7;
    // Watch the tuner's device folder for sticks coming and going.
    bool watchDevices = true;
    // Given to every graph (tests, diagnostics).
    CMediaGraph::AudioTap audioTap;
  };

  CLiveController(IPlayerView& view, Options options);
  ~CLiveController() override;
  CLiveController(const CLiveController&) = delete;
  CLiveController& operator=(const CLiveController&) = delete;

  // Registers the "Tevalo" window, starts the start-up thread and the device watcher. False when
  // the window or the thread cannot be made.
  bool Initialise();
  // Closing: stops the recording, the graph, the channel, the start-up and search threads, the
  // stream threads and the tuner, in that order. Idempotent; GUI thread.
  void Shutdown();

  // Window messages (GUI thread).
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnCopyData(const COPYDATASTRUCT* data);

  // Opening, tuning, channel change.
  int OpenMedia(const std::u16string& url);
  int TuneChannel(const std::u16string& url);
  void PlayUrl(const std::u16string& urlOrPath);
  void ChangeChannel(std::u16string code, bool updatePanel);
  void StopReception();
  void CloseStreamChannel();
  void CloseFilterEvents();
  void StopPlayback();
  void ShowStatusText(const std::u16string& text, int kind, int ticks);
  void ClearStatusText(int kind);
  int IsChannelAvailable(int index);

  // Tuner start, channel search and device presence.
  void StartTuner();
  void OnTunerRemoved();
  LRESULT OnDeviceChange(WPARAM event, LPARAM data);
  int BeginSearch(int kind);
  void OnChannelSearchDone();
  void ClearChannelEntries();

  // The start-up thread and what it runs.
  void PrepareOpenAndWake();  // timer 105
  void StopStartupThread();
  void StopFilePlayback();

  // IStreamEvents (the delivery thread, after the sink wrote both formats).
  void OnStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) override;

  // IMediaGraphOwner.
  void OnGraphBuildFailed() override;
  void OnGraphBuilt() override;
  bool SourceLoaded(const std::u16string& urlOrPath) override;
  void PostGraphEvent() override;

  // The graph in use (null when none); the caller's reference keeps it alive.
  std::shared_ptr<CMediaGraph> MediaGraph() const;
  CTDMBDll& Tuner() { return *m_pTuner; }
  pipeline::CStreamEngine& Engine() { return m_engine; }
  std::vector<ChannelEntry> ChannelEntries() const;
  win::HWND Hwnd() const;

  using FrameCounts = pipeline::CChannelSink::Counts;
  FrameCounts Counts() const { return m_sink.GetCounts(); }

  // The main window's data words these operations use.
  // 0 nothing open, 1 live broadcast, 3 recording file; set through SetSourceMode.
  std::atomic<int> m_nSourceMode{0};
  void SetSourceMode(int mode);
  std::atomic<int> m_bOpening{0};
  std::atomic<int> m_bBusy{0};
  std::atomic<int> m_nFilterState{0};
  std::atomic<int> m_bKeepStreams{0};
  std::atomic<int> m_bTunerStarted{0};
  std::atomic<int> m_bDeviceChangeBusy{0};
  std::atomic<int> m_bStreamFormatsKnown{0};
  std::atomic<int> m_bRecordingInterrupted{0};
  std::atomic<int> m_bSearching{0};
  std::atomic<int> m_nPlayState{-1};  // -1 none, 1 playing, 2 paused, 3 stopped
  std::atomic<int> m_nLevel{0};
  std::atomic<int> m_nLevelBars{0};
  std::atomic<int> m_nSavedLevelBars{0};
  std::atomic<int> m_nChannelSlot{-1};
  std::atomic<int> m_nSearchKind{1};
  std::atomic<int> m_nAreaIndex{7};
  std::atomic<int> m_nSearchChannel{0};
  // Cleared by codes 3 and 14 (the graph watchdog reads them).
  std::atomic<int> m_bWatchFlagA{0};
  std::atomic<int> m_bWatchFlagB{0};
  std::u16string m_strCurrentChannel = u"14141";  // GUI thread
  // Code 14 reports handled (one per failed live build).
  std::atomic<int> m_nGraphCloseReports{0};

 private:
  class Semaphore {
   public:
    void Release();
    void Wait();

   private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_count = false;  // maximum 1
  };

  void StartupThread();
  bool PrepareOpen();
  void OpenQueuedMedia();
  int StartMedia();
  void RunMedia();
  void ChannelSearchThread();
  void ArmOpenTimer();  // any thread
  void SetChannelLock(int index, int value);
  std::u16string ReadCurrentChannel();
  void WaitPumping(const std::function<bool()>& done);
  std::u16string LastStatusText() const;

  IPlayerView& m_view;
  Options m_options;
  std::unique_ptr<CTDMBDll> m_pTuner;
  pipeline::CTunerBlockSource m_blockSource;
  pipeline::CChannelSink m_sink;
  pipeline::CStreamEngine m_engine;
  std::mutex m_engineLock;  // starting and stopping the stream threads

  std::array<ChannelSlot, 6> m_Slots;  // the delivery thread's

  std::u16string m_strConfigPath;
  std::unique_ptr<win::Window> m_window;
  std::unique_ptr<QObject> m_context;  // the GUI thread's timers live on it
  QTimer* m_openTimer = nullptr;       // timer 105
  std::unique_ptr<CTunerDeviceWatcher> m_watcher;

  // The graph pointer is swapped under m_graphLock, never held across a build or a teardown.
  mutable std::mutex m_graphLock;
  std::shared_ptr<CMediaGraph> m_pMediaGraph;
  std::atomic<int> m_openResult{-1};  // OpenMedia's result for the graph being built

  // Media names, under m_nameLock.
  mutable std::mutex m_nameLock;
  std::u16string m_strCurrentMedia;
  std::u16string m_strOpenTarget;
  std::u16string m_strPendingName = u"NULL";
  std::u16string m_strLastStatusText;
  std::atomic<int> m_bNotLiveMedia{0};

  std::thread m_startupThread;
  Semaphore m_startupSemaphore;
  std::atomic<int> m_bStopStartupThread{0};
  std::atomic<bool> m_startupRunning{false};

  std::thread m_searchThread;
  mutable std::mutex m_entriesLock;
  std::vector<ChannelEntry> m_arrChannelEntries;
  std::array<int32_t, kChannelCount> m_SearchMask{};
  bool m_hasSearchMask = false;

  bool m_closing = false;
  bool m_shutDown = false;
};

}  // namespace tevalo::shell
