// The playback filter's object, free of the media framework: it loads a .rec recording, reads its
// records on a paced read thread into the two queues of the shared pins, and positions the file for
// a seek. The framework glue runs the pins' fill steps and stamps their times.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "filter/playback/rec_reader.h"
#include "filter/playback/rec_timeline.h"
#include "filter/source/frame_record.h"
#include "filter/source/pins.h"

namespace halvikf {

inline constexpr char kFilterName[] = "DMB REC Filter";
inline constexpr char kVideoPinName[] = "F_DMBStream_VIDEO";
inline constexpr char kAudioPinName[] = "F_DMBStream_AUDIO";
inline constexpr int kMuteThreshold = 30;
inline constexpr uint32_t kRecordPauseMs = 20;  // paces the reading near real time

class CHalvikF {
 public:
  CHalvikF();
  ~CHalvikF();
  CHalvikF(const CHalvikF&) = delete;
  CHalvikF& operator=(const CHalvikF&) = delete;

  // Opens a recording (releasing the one before) and sets both pins up from its blocks. Refused
  // while the read thread runs: the graph stops first.
  rec::CRecReader::OpenResult Load(const std::string& path);
  std::string GetCurFile() const;
  bool loaded() const { return reader_.IsOpen(); }

  // Pause starts the read thread (reading fills the queues while paused, for the preroll); Stop
  // ends it, empties the queues, rewinds to the first record and returns the rate to 1.0.
  void Pause();
  void Run();
  void Stop();
  bool stopping() const { return stopping_.load(); }
  // Ends the reading and seeking running now at their next block, for a stop about to come.
  void Interrupt() { reader_.Interrupt(); }

  int64_t Duration() const { return reader_.Duration(); }  // 100 ns
  double rate() const { return rate_.load(); }
  // False for a rate of 0 or less.
  bool SetRate(double rate);

  // Empties both queues and positions the file for `target` (100 ns from the start): time 0 is the
  // first sound at the last record written at or before it, and reading starts at the key picture
  // before that, so frames with negative times only prime the decoder. The pins must be idle (the
  // glue holds their streaming locks). False when no record could be found.
  bool Seek(int64_t target);

  // The picture size from the recorded configuration; 0x0 when it cannot be read.
  halvik::PictureSize video_size() const { return video_size_; }
  // Sample rate of the delivered sound: twice the stream's ADTS sampling frequency.
  int audio_rate() const { return audio_rate_; }

  halvik::CHalvikVideoStream& video_pin() { return video_pin_; }
  halvik::CHalvikAudioStream& audio_pin() { return audio_pin_; }
  size_t queued_video() const { return video_queue_.Size(); }
  size_t queued_audio() const { return audio_queue_.Size(); }
  uint64_t resyncs() const { return reader_.Resyncs(); }
  uint64_t bytes_read() const { return reader_.BytesRead(); }

  // One batch (the read thread's run turn): false when a read came up short (end of the file).
  bool ReadRecords(uint32_t pause_ms = kRecordPauseMs);

 private:
  void ReadThreadProc();
  void OpenDecoders();
  void StartAtKeyPicture(uint64_t ms);  // read_lock_ held
  // The stored time of the first timed sound within 64 records from the current one; read_lock_
  // held, the position is left after it.
  std::optional<int64_t> FirstSoundTime();
  // Positions at the first record with the times based on the file's first sound; read_lock_ held.
  void BaseOnStart();
  // Waits `ms` unless the thread is ended or a seek intervenes; false then.
  bool Pace(uint32_t ms, uint64_t generation);
  void EndReadThread();

  mutable std::mutex filter_lock_;
  std::string path_;
  rec::CRecReader reader_;
  std::vector<uint8_t> video_config_, audio_config_;
  halvik::PictureSize video_size_;
  int audio_rate_ = 48000;

  halvik::FrameQueue video_queue_;
  halvik::FrameQueue audio_queue_;
  std::atomic<int32_t> selection_{1};
  halvik::CHalvikVideoStream video_pin_;
  halvik::CHalvikAudioStream audio_pin_;

  std::atomic<bool> stopping_{true};
  std::atomic<double> rate_{1.0};

  // Between a record's read and queueing on the read thread and a seek.
  std::mutex read_lock_;
  rec::RecTimeline timeline_;  // read_lock_
  std::atomic<uint64_t> generation_{0};

  std::mutex thread_mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread read_thread_;
};

}  // namespace halvikf
