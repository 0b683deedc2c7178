// The live source filter's object, free of the media framework: the "x-dmb" load, the state
// changes with their messages to the player, the receive thread and its message handling. The
// framework glue maps its element states onto Pause/Run/Stop and runs the pins' fill steps.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "filter/source/clock_recovery.h"
#include "filter/source/filter_host.h"
#include "filter/source/frame_record.h"
#include "filter/source/halvik_ids.h"
#include "filter/source/pins.h"
#include "filter/source/worker_thread.h"

namespace halvik {

enum class FilterState { kStopped = 0, kPaused = 1, kRunning = 2 };

// The recorder: started and stopped by the channel's recording requests (on the receive thread).
// While it keeps the filter's recording flag set, the pins copy every frame they deliver into the
// record queue, which the recorder drains. Destroyed (and its thread joined) before the queues.
class RecorderControl {
 public:
  virtual ~RecorderControl() = default;
  virtual void StartRecording() = 0;
  virtual void StopRecording() = 0;
};

class CHalvik;
// Makes the recorder of each new filter; none is made while unset.
using RecorderFactory = std::function<std::unique_ptr<RecorderControl>(CHalvik&)>;
void SetRecorderFactory(RecorderFactory factory);

class CHalvik {
 public:
  explicit CHalvik(std::shared_ptr<FilterHost> host);
  ~CHalvik();
  CHalvik(const CHalvik&) = delete;
  CHalvik& operator=(const CHalvik&) = delete;

  // True for a URL the filter takes (S_OK); false is the S_FALSE of a refused or failed load, after
  // which the graph still builds but never receives data.
  bool Load(const char* url);
  std::string GetCurFile() const;

  void Pause();
  void Run();
  void Stop();
  FilterState GetState() const { return state_; }

  CHalvikVideoStream& video_pin() { return video_pin_; }
  CHalvikAudioStream& audio_pin() { return audio_pin_; }
  bool stopping() const { return stopping_.load(); }

  // Connection state: 3 not connected, 0 connected, 1 streaming.
  int32_t connection_state() const { return connection_state_; }
  int32_t dual_mono_selection() const { return selection_.load(); }
  const std::u16string& recording_folder() const { return recording_folder_; }

  FrameQueue& record_queue() { return record_queue_; }
  std::atomic<bool>& recording_flag() { return recording_; }
  // The configuration buffers as held (type, length, body, zeros); receive thread only.
  const std::array<uint8_t, 1024>& video_config() const { return video_config_; }
  const std::array<uint8_t, 1024>& audio_config() const { return audio_config_; }

  // Something the player should show the user (a recording that could not start). The element
  // sets the sink before any thread runs.
  using NoticeFn = std::function<void(const std::string&)>;
  void SetNotice(NoticeFn fn) { notice_ = std::move(fn); }
  void Notice(const std::string& text) const {
    if (notice_) notice_(text);
  }

  // Tells the player, without waiting for it, that the recording's records are being written again
  // or no longer are. Recorder thread.
  void ReportRecordWriting(bool writing);

  // Handles at most one channel message (the receive thread's run turn).
  void ProcessIpcMessage();

 private:
  void ReceiveThreadProc();
  FilterEvents::Wait WaitForWork();  // the wake or quit event, for the receive wait time
  void EndWorkers();
  void HandleFrame();  // the frame in message_
  // Times a frame (the clock has its base) and queues it for its pin.
  void QueueTimed(FrameRecordPtr r);

  std::shared_ptr<FilterHost> host_;
  mutable std::mutex filter_lock_;
  FrameQueue video_queue_{kVideoQueueLimit};
  FrameQueue audio_queue_{kAudioQueueLimit};
  // The larger of the two pins' limits; each pin applies its own.
  FrameQueue record_queue_{kRecordQueueAudioLimit};
  std::atomic<bool> recording_{false};
  std::atomic<int32_t> selection_{1};

  std::unique_ptr<ChannelReader> channel_;
  IpcIncoming message_;  // receive thread only
  std::unique_ptr<FilterEvents> events_;
  intptr_t player_window_ = 0;
  std::string url_;
  std::atomic<int32_t> connection_state_{3};
  FilterState state_ = FilterState::kStopped;
  FilterState last_state_ = FilterState::kStopped;
  std::atomic<bool> stopping_{false};
  uint32_t receive_wait_ = kInfinite;  // receive thread only

  // The configuration buffers: 8-byte head (type, length) and the body, zero-filled.
  std::array<uint8_t, 1024> video_config_{};
  std::array<uint8_t, 1024> audio_config_{};
  ClockRecovery clock_;   // receive thread only
  StartGate start_gate_;  // receive thread only
  std::u16string recording_folder_;
  std::unique_ptr<RecorderControl> recorder_;
  NoticeFn notice_;

  CHalvikVideoStream video_pin_;
  CHalvikAudioStream audio_pin_;

  WorkerThread receive_thread_;
  std::mutex run_state_lock_;
  int receive_run_state_ = 2;  // 1 running, 2 stopped
};

}  // namespace halvik
