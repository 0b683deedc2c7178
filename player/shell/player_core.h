// The player core: the tuner, the stream engine and its channel sink, the media graph, the channel
// list, the start-up and search threads, recording and the logic timers, behind the main window's
// operations. Commands come in as method calls; state and events go out to one IPlayerView on the
// GUI thread; questions go to the IPrompter. The core registers no window: the program registers
// the "Tevalo" window and hands its messages to CWindowAdapter (window_adapter.h).
//
// Threads (player/shell/README.md has the picture):
//  - the GUI thread makes the core and calls its commands; the timers and every view call run there;
//  - the start-up thread opens media (the graph build, run and stop); the live filter's reports
//    (codes 2, 3, 4) and the core's own report of a failed build (code 14) are handled on the thread
//    that causes them, before that call returns, and never wait for the GUI thread;
//  - the search thread runs the channel scans;
//  - the stream engine's threads deliver frames through the channel sink and post the format
//    hand-over and the decoded texts;
//  - the device watcher's thread posts device changes.
// Every thread but the GUI thread posts to it and never waits for it. Closing stops and joins every
// thread without running the event loop.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ipc/filter_protocol.h"
#include "platform/window/messages.h"
#include "player/channels/channel_list.h"
#include "player/channels/channel_search.h"
#include "player/pipeline/channel_sink.h"
#include "player/pipeline/graph/media_graph.h"
#include "player/pipeline/stream_engine.h"
#include "player/pipeline/text/arib_text_decoders.h"
#include "player/pipeline/text/text_sink.h"
#include "player/pipeline/tuner_block_source.h"
#include "player/shell/channel_code.h"
#include "player/shell/core_types.h"
#include "player/shell/gui_queue.h"
#include "player/shell/live_commands.h"
#include "player/shell/playback_control.h"
#include "player/shell/player_view.h"
#include "player/shell/prompter.h"
#include "player/shell/recording_control.h"
#include "player/shell/timer_table.h"
#include "tuner/wrapper/tdmb_dll.h"

class CTunerDeviceWatcher;

namespace tevalo::shell {

using win::LPARAM;
using win::LRESULT;
using win::UINT;
using win::WPARAM;

inline constexpr UINT WM_DEVICECHANGE = 0x0219;
inline constexpr WPARAM DBT_DEVNODES_CHANGED = 7;

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

class CPlayerCore final : public IMediaGraphOwner,
                          public pipeline::IStreamEvents,
                          public ITextSink,
                          public ILiveTvCommands,
                          private IRecordingHost {
 public:
  struct Options {
    // Pictures of the "Video Renderer"; may be null.
    IVideoOutput* video = nullptr;
    // Settings file; empty: "User_Dir" of the installation values + "config.ini".
    std::u16string configPath;
    // Search at tuner start.
    SearchKind searchKind = SearchKind::kArea;
    int areaIndex = 7;
    // The user has just chosen the area (first start): the search forgets the stored channel and a
    // stored list is searched for real.
    bool areaChosen = false;
    // The channel lists' file; empty: "chlist.ini" beside the settings file.
    std::u16string channelListPath;
    // Makes each graph; empty: CMediaGraph (with audioTap, for tests and diagnostics).
    MediaGraphFactory makeGraph;
    CMediaGraph::AudioTap audioTap;
    // Answers the questions of user actions; null: every question is answered No.
    IPrompter* prompter = nullptr;
    // The timers' clock; null: Qt timers on the GUI thread.
    ITimerClock* clock = nullptr;
    // Free space of the recording folder; empty: statvfs.
    FreeSpaceProbe freeSpace;
    // The wall clock that names recordings; empty: the system's.
    std::function<std::time_t()> wallClock;
    // Benchmarks only: a channel change stops the stream threads and starts them again instead of
    // keeping them.
    bool restartStreamsOnChange = false;
  };

  // Where later parts of the player attach. GUI thread unless said.
  struct Hooks {
    // An iEPG file handed over by a second instance (code 16).
    std::function<void(const std::u16string& path)> readIepgFile;
    // The programme list from the event text; on the demultiplexing thread.
    std::function<void()> clearProgramList;
    std::function<void(const EventTable& events)> buildProgramList;
    // The window's parts the playback control reaches (GUI thread; empty: nothing).
    std::function<void(bool play)> showPlayButton;
    std::function<void(bool shown)> showTimeshiftPlayButton;
    std::function<void(bool on)> accumulatePausedTime;
    std::function<void()> retuneCurrentRow;
    std::function<void()> restoreWindow;
    std::function<void()> togglePlaylist;
    std::function<void()> showChannelPanel;
    std::function<std::optional<std::u16string>()> chooseRecording;
    std::function<void()> hideCaptionAndProgrammeStrips;
    std::function<void(const std::u16string& path)> replacePlaylist;
    std::function<bool()> noSignalShown;
    std::function<bool()> captionShown;
  };

  CPlayerCore(IPlayerView& view, Options options);
  ~CPlayerCore() override;
  CPlayerCore(const CPlayerCore&) = delete;
  CPlayerCore& operator=(const CPlayerCore&) = delete;

  // ---- start-up, in the main window's order ----
  // Starts the start-up thread; false when it cannot be made.
  bool StartStartupThread();
  // The "Tevalo" window: the tuner's owner, and where device changes are posted.
  void AttachWindow(win::HWND hwnd);
  // Watches the tuner's device folder for sticks coming and going; false when it cannot.
  bool StartDeviceWatcher();

  // ---- closing ----
  // The close steps in order (BeginClose ... EndClose); idempotent; GUI thread. Never runs the
  // event loop.
  void Shutdown();
  // Stops the timers of the watchdog, marks closing, stops the device watcher and a recording
  // (without asking), pulses the filter's quit event.
  void BeginClose();
  void StopStartupThread();
  // Stops a running scan and joins the search thread.
  void StopChannelSearch();
  // Stops file playback and deletes the graph.
  void CloseMediaGraph();
  void CloseTuner();
  // Drops every event not yet shown; nothing is posted from then on.
  void EndClose();

  // ---- the filter's reports (codes 2, 3, 4) and the core's own (14): any thread ----
  // False for a report of another process.
  bool OnFilterOpen(const FilterConnectData& data);
  bool OnFilterRun(uint32_t processId);
  bool OnFilterStop(uint32_t processId);
  void OnGraphClose();
  // ---- other window messages (GUI thread) ----
  void OnRecordToggle();                         // code 10
  void OnRecordWriting(bool writing);            // code 17
  void OnIepgFile(const std::u16string& path);   // code 16
  LRESULT OnDeviceChange(WPARAM event, LPARAM);  // WM_DEVICECHANGE

  // ---- opening, tuning, channel change ----
  int OpenMedia(const std::u16string& url);
  int TuneChannel(const std::u16string& url);
  void PlayUrl(const std::u16string& urlOrPath);
  // A playlist entry opens as the current media (timer 105); it is already listed, so never queued
  // into the playlist again.
  void PlayPlaylistEntry(const std::u16string& path);
  void ChangeChannel(std::u16string code, bool updatePanel);
  void StopReception();
  void CloseStreamChannel();
  void CloseFilterEvents();
  void StopPlayback();
  void ShowStatusText(const std::u16string& text, StripKind kind, int ticks);
  // 1, 2, 4 or 8 empties that strip or the caption window; any other value all of them.
  void ClearStatusText(int kind);
  void ClearStatusText(StripKind kind) { ClearStatusText(static_cast<int>(kind)); }
  int IsChannelAvailable(int index);
  // [DMBControl] "CurrentChannel".
  std::u16string ReadCurrentChannel();

  // ---- tuner start, channel search, device presence ----
  void StartTuner();
  void OnTunerRemoved();
  int BeginSearch(SearchKind kind);
  // The search StartTuner runs (decided from the settings); areaChosen: a first start's area.
  void SetStartSearch(SearchKind kind, int areaIndex, bool areaChosen = false);
  // What the channel panel's search asks of the player before the scan.
  struct PanelSearch {
    bool closeGraph = false;
    bool forgetStoredChannel = false;
    bool chooseArea = false;
    int channel = 0;  // the single search's channel index
  };
  // The channel panel's search: its steps, reception stopped, then BeginSearch. A running search
  // keeps going untouched.
  int SearchFromPanel(SearchKind kind, const PanelSearch& search);
  void OnChannelSearchDone();
  void ClearChannelEntries();
  // Tunes the current channel again (also with nothing in the history).
  void RetuneCurrent();
  // The current area's list from "chlist.ini" (the stored-list search scans its enabled channels).
  void LoadChannelList();
  // The area's list; true when it holds an enabled channel.
  bool LoadChannelList(int areaIndex);
  const channels::CChannelList& ChannelList() const { return m_channelList; }
  int AreaIndex() const { return m_nAreaIndex; }
  // The list editor works on the current list itself (GUI thread; a search scans its own copy).
  channels::CChannelList& EditableChannelList() { return m_channelList; }
  // The list editor's OK: the area taken, playback closed, "CurrentChannel" forgotten and the list's
  // ticked channels searched (never taken from stored flags). done runs on the GUI thread once the
  // search was handled and its pick tuned; a pick the tuner did not find is said on the status
  // strip. False, and done dropped, when no search started.
  bool SearchEditedList(int area, std::function<void()> done);
  // [CHANNEL_LOCK] "%d_LOCK" onto the tuner tables and the entries.
  void LoadChannelLocks();
  // The entries' lock marks into [CHANNEL_LOCK]; needs no open tuner.
  void SaveChannelLocks();
  // Marks a channel found or not in the tuner tables and its entry; the panel's repaint is posted,
  // so any thread may call it.
  void SetChannelLock(int index, int value);
  // The stick could be opened by the last tuner start or search.
  bool TunerUsable() const { return m_bTunerUsable; }

  // ---- the start-up thread ----
  void PrepareOpenAndWake();  // timer 105
  void StopFilePlayback();

  // ---- recording (the filter's recorder writes the file) ----
  // Starts recording the live channel into "rec_Dir"; nothing when refused.
  void StartRecording() override;
  // Stops it; with noPrompt false a reservation's recording asks first (GUI thread).
  void StopRecording(bool noPrompt) override;
  bool IsRecording() const override { return m_bRecording; }
  // The free-space rule on "rec_Dir"; a short disk says so (GUI thread).
  bool RecordingFolderHasSpace() { return m_recordingControl.CheckSpace(RecordingFolder()); }

  // ---- playback and timeshift (GUI thread) ----
  // 1 play/pause, 2 record, 3 stop, 6 open recordings, 7 playlist, 8 channel panel; 0 when refused.
  int ExecuteControl(unsigned kind) override { return m_playback.ExecuteControl(kind); }
  void PauseMedia() { m_playback.PauseMedia(); }
  bool StartTimeshift() override { return m_playback.StartTimeshift(); }
  bool PlayTimeshift() override { return m_playback.PlayTimeshift(); }
  void StopTimeshift() override { m_playback.StopTimeshift(); }
  void OpenRecordingFiles() { m_playback.OpenRecordingFiles(); }
  bool IsLive() const override { return m_nSourceMode == SourceMode::kLive; }
  bool IsTimeshiftPaused() const override { return m_playback.TimeshiftPaused(); }
  void SetTimeshiftPaused(bool paused) { m_playback.SetTimeshiftPaused(paused); }

  // ---- sound, dropped files, updater (GUI thread) ----
  // The filter's dual-mono report (0 none, 1 main, 2 sub).
  void OnDualMonoState(int state);
  // Main and sub sound of a dual-mono broadcast (message 265); nothing before the filter's report.
  void ToggleDualMonoAudio() override;
  // Dropped files: the ".pl" ones are read as iEPG files.
  void OnDropFiles(const std::vector<std::u16string>& paths);
  // Starts "Install_Dir" + tevalo-update; false when it cannot be started.
  bool LaunchUpdater() override;
  // The graph's volume in hundredths of a decibel (the window's volume table and mute decide it);
  // applied now and at each run.
  void SetGraphVolume(long hundredthsDb);
  int DualMonoState() const { return m_nDualMono; }
  const CPlaybackControl& Playback() const { return m_playback; }
  // The file of the recording that runs or ran last.
  std::u16string RecordingPath() const;

  // ---- IMediaGraphOwner ----
  void OnGraphBuildFailed() override;
  void OnGraphBuilt() override;
  bool SourceLoaded(const std::u16string& urlOrPath) override;
  void PostGraphEvent() override;

  // ---- IStreamEvents (the delivery thread) ----
  void OnStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) override;

  // ---- ITextSink (the demultiplexing thread) ----
  void ShowCaption(const CaptionScreen& lines) override;
  void ShowServiceName(std::u16string text) override;
  void ShowProgramInfo(std::u16string text) override;
  void ClearProgramList() override;
  void BuildProgramList(const EventTable& events) override;

  // ---- reading (any thread) ----
  CoreState State() const;
  std::u16string CurrentChannel() const;
  // The channel code the next tune uses.
  void SetCurrentChannel(const std::u16string& code);
  // The graph in use (null when none); the caller's reference keeps it alive.
  std::shared_ptr<IMediaGraph> MediaGraph() const;
  std::vector<ChannelEntry> ChannelEntries() const;
  pipeline::CChannelSink::Counts Counts() const { return m_sink.GetCounts(); }
  bool StreamThreadsRunning() const { return m_engine.ThreadsRunning(); }
  // Test hook: each stream thread as it starts (true) and as it ends (false), on that thread.
  void SetStreamThreadObserver(std::function<void(pipeline::CStreamEngine::ThreadId, bool)> observer) {
    m_engine.SetThreadObserver(std::move(observer));
  }
  ChannelSlot Slot(int index) const;
  CTDMBDll& Tuner() { return *m_pTuner; }
  pipeline::CChannelSink& Channel() { return m_sink; }
  // GUI thread.
  CTimerTable& Timers() { return m_timers; }

  // ---- what the main window's timers read and change (GUI thread) ----
  bool TunerOpen() const;
  // The tuner's signal value (smaller is better).
  int ReadSignalValue() const;
  void UpdateLevel(int level, int bars) { SetLevel(level, bars); }
  void ClearChannelLock(int index) { SetChannelLock(index, 0); }
  // The watchdog stops a recording: its end is told once the formats return.
  void MarkRecordingInterrupted() { m_bRecordingInterrupted = true; }
  bool WritePing() { return m_sink.WritePing(); }
  Hooks& GetHooks() { return m_hooks; }

 private:
  void PlayUrl(const std::u16string& urlOrPath, bool listQueuedFile);
  class Semaphore {
   public:
    void Release();
    void Wait();

   private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_count = false;  // maximum 1
  };

  // View events and GUI-thread work, in order.
  void Emit(std::function<void(IPlayerView&)> call);
  void PublishState();
  void SetTimer(TimerId id, int ms);        // any thread
  void KillTimer(TimerId id);               // any thread
  bool Ask(const Prompt& prompt) override;  // GUI thread

  // ---- IRecordingHost ----
  void ShowStatus(const std::u16string& text, int ticks) override;
  void StopReservationTimer() override;
  void WriteFileNameSetting(const std::u16string& path) override;
  bool WriteRecordMessage(bool start) override;
  void ShowRecording(bool recording) override;

  void SetSourceMode(SourceMode mode);
  void SetFilterState(FilterState state);
  void SetPlayState(PlayState state);
  void SetLevel(int level, int bars);

  void StartupThread();
  bool PrepareOpen();
  void OpenQueuedMedia();
  int StartMedia();
  void RunMedia();
  void DeleteMediaGraph();
  void HandleStreamFormats(uint64_t generation, const StreamFormatMessage& video,
                           const StreamFormatMessage& audio, std::array<int16_t, 4> streamIds);
  std::u16string ChannelNameOf(int index) const;
  std::u16string RecordingFolder() const;  // "rec_Dir"
  // The entry a channel code names: digits, index 0..49, an entry found.
  std::optional<ChannelEntry> FindEntryForCode(const std::u16string& code) const;
  // Posts fn to run on the GUI thread only while the open it was made for is the current one and
  // the source is live (decoded text).
  void PostForLiveOpen(std::function<void(IPlayerView&)> call);

  IPlayerView& m_view;
  Options m_options;
  Hooks m_hooks;
  CGuiQueue m_queue;
  std::unique_ptr<ITimerClock> m_ownClock;
  CTimerTable m_timers;
  CScriptedPrompter m_noPrompter;

  std::unique_ptr<CTDMBDll> m_pTuner;
  pipeline::CTunerBlockSource m_blockSource;
  CAribTextDecoders m_textDecoders;
  pipeline::CChannelSink m_sink;
  pipeline::CStreamEngine m_engine;
  // Serialises what touches the tuner, the engine's start and stop and the channel's life: the
  // filter's reports arrive on the start-up thread as well as on the GUI thread. Never held around
  // a graph call or a wait for another thread of the core.
  mutable std::recursive_mutex m_receptionLock;

  // State words (Part names where they have one).
  std::atomic<SourceMode> m_nSourceMode{SourceMode::kNone};
  std::atomic<FilterState> m_nFilterState{FilterState::kStopped};
  std::atomic<PlayState> m_nPlayState{PlayState::kNone};
  std::atomic<bool> m_bOpening{false};
  // From the name's queueing to the end of its open step; set and cleared under m_nameLock.
  std::atomic<bool> m_bOpenQueued{false};
  std::atomic<bool> m_bBusy{false};
  std::atomic<bool> m_bKeepStreams{false};
  std::atomic<bool> m_bTunerStarted{false};
  std::atomic<bool> m_bDeviceChangeBusy{false};
  std::atomic<bool> m_bStreamFormatsKnown{false};
  std::atomic<bool> m_bRecordingInterrupted{false};
  std::atomic<bool> m_bSearching{false};
  std::atomic<bool> m_bNotLiveMedia{false};
  std::atomic<bool> m_bRecording{false};
  std::atomic<bool> m_bReservedRecording{false};
  std::atomic<bool> m_bClosing{false};
  std::atomic<int> m_nLevel{0};
  std::atomic<int> m_nDualMono{0};
  std::atomic<long> m_nGraphVolume{0};  // full level
  std::atomic<int> m_nLevelBars{0};
  std::atomic<int> m_nSavedLevelBars{0};
  std::atomic<int> m_nChannelSlot{-1};
  std::atomic<SearchKind> m_nSearchKind{SearchKind::kArea};
  std::atomic<int> m_nAreaIndex{7};
  std::atomic<int> m_nSearchChannel{0};
  std::atomic<bool> m_bAreaChosen{false};
  std::atomic<bool> m_bTunerUsable{false};
  // Cleared by codes 3 and 14 (the graph watchdog reads them).
  std::atomic<bool> m_bWatchFlagA{false};
  std::atomic<bool> m_bWatchFlagB{false};
  std::atomic<uint64_t> m_nGraphCloseReports{0};
  std::atomic<uint64_t> m_nOpenGeneration{0};
  std::atomic<int> m_openResult{-1};  // OpenMedia's result for the graph being built
  bool m_shutDown = false;            // GUI thread

  std::u16string m_strConfigPath;
  std::atomic<win::HWND> m_hwnd{nullptr};
  std::unique_ptr<CTunerDeviceWatcher> m_watcher;

  mutable std::mutex m_slotLock;
  std::array<ChannelSlot, 6> m_Slots;

  // The graph pointer is swapped under m_graphLock, never held across a build or a teardown.
  mutable std::mutex m_graphLock;
  std::shared_ptr<IMediaGraph> m_pMediaGraph;

  // Media names and the current channel, under m_nameLock.
  mutable std::mutex m_nameLock;
  std::u16string m_strCurrentChannel = u"14141";
  std::u16string m_strCurrentMedia;
  std::u16string m_strOpenTarget;
  std::u16string m_strPendingName = u"NULL";
  std::u16string m_strLastStatusText;
  std::u16string m_strRecordingPath;
  CRecordingControl m_recordingControl;  // GUI thread
  class PlaybackHost;
  std::unique_ptr<PlaybackHost> m_playbackHost;
  CPlaybackControl m_playback;  // GUI thread

  std::thread m_startupThread;
  Semaphore m_startupSemaphore;
  std::atomic<bool> m_bStopStartupThread{false};

  channels::CChannelList m_channelList;  // GUI thread; a search scans a copy of its list
  channels::CTunerScanner m_scanner;
  std::unique_ptr<channels::CChannelSearch> m_search;
  std::function<void(const std::u16string& chosen)> m_afterSearch;  // GUI thread; the next search's end
  mutable std::mutex m_entriesLock;
  std::vector<ChannelEntry> m_arrChannelEntries;
  std::array<int32_t, kChannelCount> m_SearchMask{};
  bool m_hasSearchMask = false;
};

}  // namespace tevalo::shell
