// The player core's states, codes and texts. Plain values: no threads, no display.
#pragma once

#include <cstdint>
#include <string>

namespace tevalo::shell {

// What is open: nothing, a live broadcast, a source without controls, a ".rec" recording.
enum class SourceMode : int { kNone = 0, kLive = 1, kOther = 2, kRecording = 3 };
// The live filter's connection: stopped (or none), running after its first pause.
enum class FilterState : int { kStopped = 0, kRunning = 1 };
enum class PlayState : int { kNone = -1, kPlaying = 1, kPaused = 2, kStopped = 3 };
// The search a tuner start or a search command runs.
enum class SearchKind : int { kNone = -1, kAll = 0, kArea = 1, kSingle = 2, kStoredList = 3 };

// The main window's text strips (and the caption window), by the kinds the operations use.
enum class StripKind : int { kChannel = 1, kProgramme = 2, kStatus = 4, kCaption = 8 };
// Strip lifetime: until replaced.
inline constexpr int kStripUntilReplaced = -1;

// The animations (GIF resources) the main window shows.
enum class Animation : int { kNoSignal = 505, kSearching = 506, kChanging = 507 };

// The last signal value read: none yet, and the stick was pulled.
inline constexpr int kLevelNone = 256;
inline constexpr int kLevelRemoved = 244;

// Texts the core shows.
inline constexpr char16_t kTextNoSignal[] = u"放送信号を受信できません。";
inline constexpr char16_t kTextChanging[] = u"チャンネル変更中です。しばらくお待ちください。";
inline constexpr char16_t kTextSearching[] = u"チャンネルサーチ中です。しばらくお待ちください。";
inline constexpr char16_t kTextNoSelectedChannel[] = u"選択されたチャンネルがないです。";
inline constexpr char16_t kTextNoDevice[] = u"USBデバイスが見つかりません。システムを確認してください。";
inline constexpr char16_t kTextRemoved[] = u"USBデバイスが取り外されました。プレーヤーを停止します。";
inline constexpr char16_t kTextRecordingStopped[] = u"録画を停止します。";
inline constexpr char16_t kTextRecordNotWriting[] = u"録画を書き込めません。空き容量を確認してください。";
inline constexpr char16_t kTextStopReservedRecording[] = u"録画を中止しますが、よろしいですか";
inline constexpr char16_t kMessageTitle[] = u"1seg Message";
inline constexpr char16_t kReservationMessageTitle[] = u"Ferrow メッセージ";

// A snapshot of the core's state, as views and tests read it.
struct CoreState {
  SourceMode sourceMode = SourceMode::kNone;
  FilterState filterState = FilterState::kStopped;
  PlayState playState = PlayState::kNone;
  bool opening = false;     // the start-up thread's open step runs
  bool openQueued = false;  // a name waits for timer 105 or its open step runs
  bool busy = false;        // a graph is being built
  bool searching = false;
  SearchKind searchKind = SearchKind::kArea;  // the running or next search's; kNone after a search
  bool areaChosen = false;                    // first start: the search forgets the stored channel
  bool tunerUsable = false;                   // the stick opened at the last start or search
  bool tunerStarted = false;
  bool streamFormatsKnown = false;
  bool recording = false;
  bool keepStreams = false;
  bool closing = false;
  int level = 0;      // last signal value read (kLevelNone: none)
  int levelBars = 0;  // 0..4
  int channelSlot = -1;
  std::u16string currentChannel;   // the channel code ("AABBC")
  uint64_t openGeneration = 0;     // counts the opens; text and formats carry the one they belong to
  uint64_t graphCloseReports = 0;  // code 14 reports handled
};

}  // namespace tevalo::shell
