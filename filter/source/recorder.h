// The live filter's recorder: on the channel's start request it creates the file the player named
// in its settings and writes the configurations; its thread then writes the frames the pins copy
// into the filter's record queue, one record per 10 ms turn, until the stop request.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "filter/source/halvik.h"
#include "filter/source/rec_writer.h"

namespace halvik {

class CRecorder : public RecorderControl {
 public:
  struct Options {
    rec::CRecWriter::FreeSpaceFn free_space = rec::CRecWriter::FileSystemFreeSpace;
    std::function<uint32_t()> tick;  // the platform's tick counter when unset
  };

  CRecorder(CHalvik& filter, Options options);
  explicit CRecorder(CHalvik& filter) : CRecorder(filter, Options{}) {}
  // A recording still running is stopped with its final header; the thread is joined.
  ~CRecorder() override;

  void StartRecording() override;
  void StopRecording() override;

  bool recording() const;
  std::string path() const;
  const std::u16string& recording_folder() const { return recording_folder_; }

  // "User_Dir" + "config.ini", [RECControl] "FileName"; empty when there is none.
  static std::u16string TargetPath();

 private:
  void ThreadProc();
  // Writes what the pins queued for the file that is open (recorder lock held).
  void DrainLocked();
  void WriteLocked(const FrameRecord& r);
  uint32_t Tick() const;

  CHalvik& filter_;
  Options options_;
  mutable std::mutex recorder_lock_;
  rec::CRecWriter writer_;
  bool skipping_ = false;  // the last record of the open file was skipped; the player was told
  std::u16string recording_folder_;

  std::mutex thread_mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

// The factory the plugin installs: every live filter gets a recorder.
RecorderFactory MakeRecorderFactory(CRecorder::Options options = {});

}  // namespace halvik
