// Starting and stopping recordings of the live channel: the refusals, the free-space rule, the file
// name reserved in the recording folder, the start and stop messages to the filter's recorder and
// the question before a reservation's recording is stopped. Plain logic: the file system's free
// space, the channel and the user's answers come through IRecordingHost; tests fake them.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "player/shell/prompter.h"

namespace tevalo::shell {

inline constexpr char16_t kTextNoRecordingInTimeshift[] = u"タイムシフト中には録画ができません。";
inline constexpr char16_t kTextDiskFull[] = u"ディスク容量が不足しています。";
inline constexpr char16_t kTextFolderUnwritable[] =
    u"録画フォルダに書き込めません。フォルダを確認してください。";
inline constexpr char16_t kTextRecordsSkipped[] = u"録画を書き込めません。空き容量を確認してください。";

// Bytes available to the user on the file system holding a folder; nullopt when unknown.
using FreeSpaceProbe = std::function<std::optional<uint64_t>(const std::string& nativeFolder)>;
std::optional<uint64_t> StatvfsFreeBytes(const std::string& nativeFolder);

// The folder itself when it exists, else its nearest existing parent; "" is the current folder.
std::string NearestExistingFolder(const std::string& nativeFolder);

enum class SpaceCheck { kEnough, kShort, kUnknown };
// More than 200 whole megabytes free is enough.
SpaceCheck CheckDiskSpace(const std::u16string& folder, const FreeSpaceProbe& probe);

// Makes the folder with its parents and creates the first free name (O_EXCL: an existing file is
// never taken over). Empty path and errno set when the folder cannot take a file.
struct ReservedName {
  std::u16string path;
  int error = 0;
};
ReservedName ReserveRecordName(const std::u16string& folder, const std::u16string& channelName,
                               const std::tm& local);

// What the control needs of the player. GUI thread.
class IRecordingHost {
 public:
  virtual ~IRecordingHost() = default;
  virtual bool Ask(const Prompt& prompt) = 0;
  // The status strip, for ticks of the strip timer.
  virtual void ShowStatus(const std::u16string& text, int ticks) = 0;
  // The reservation check (timer 106) pauses while the disk is short.
  virtual void StopReservationTimer() = 0;
  // [RECControl] "FileName", read by the recorder when the start message arrives.
  virtual void WriteFileNameSetting(const std::u16string& path) = 0;
  // The recording message {264, 12, 1 or 2}, waiting for the filter; false when nothing was written
  // (no channel, or the filter did not take it).
  virtual bool WriteRecordMessage(bool start) = 0;
  // Buttons 1077/1078, the REC label and its clock (timer 501).
  virtual void ShowRecording(bool recording) = 0;
  // A reservation's recording ended (expired reservations are dropped; "+rsv" closes after it).
  virtual void ReservedRecordingEnded() {}
};

// What the start depends on besides the control's own state.
struct RecordingRequest {
  bool notLiveMedia = false;  // a file is open
  bool formatsKnown = false;  // the channel's stream headers arrived
  bool timeshift = false;
  int levelBars = -1;          // -1: not read yet (no refusal)
  std::u16string folder;       // "rec_Dir"
  std::u16string channelName;  // of the channel panel's row
  std::tm local{};             // the start time
};

enum class RecordingStart { kStarted, kRefused, kTimeshift, kDiskShort, kFolderUnwritable, kNotSent };

// Start and asking stops run on the GUI thread; a stop without the question may come from any thread.
class CRecordingControl {
 public:
  CRecordingControl(IRecordingHost& host, FreeSpaceProbe probe);

  RecordingStart Start(const RecordingRequest& request);
  // The free-space rule before a start; a short disk says so and pauses the reservation check.
  bool CheckSpace(const std::u16string& folder);
  // With ask, a reservation's recording asks first unless closing; false when it keeps running.
  bool Stop(bool ask, bool closing);

  bool Recording() const { return m_recording; }
  bool Reserved() const { return m_reserved; }
  // The reservation timer marks its recording before it starts it.
  void SetReserved(bool reserved) { m_reserved = reserved; }
  const std::u16string& Path() const { return m_path; }

 private:
  IRecordingHost& m_host;
  FreeSpaceProbe m_probe;
  // A quiet stop may come from the start-up or device thread (the player stops its reception).
  std::atomic<bool> m_recording{false};
  std::atomic<bool> m_reserved{false};
  std::u16string m_path;
};

// The recording clock of timer 501: elapsed time "%02d:%02d:%02d" that stands still without signal.
class CRecordingClock {
 public:
  void Start(uint64_t tickMs);
  // The text to show, or nullopt when the second did not change.
  std::optional<std::u16string> Tick(uint64_t tickMs, int levelBars);
  static std::u16string Format(uint64_t elapsedMs);

 private:
  uint64_t m_start = 0;
  int64_t m_lastSecond = -1;
};

}  // namespace tevalo::shell
