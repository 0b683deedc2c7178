#include "filter/source/recorder.h"

#include <cerrno>
#include <cstring>

#include "platform/kernel/tick.h"
#include "platform/path/path.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"

namespace halvik {
namespace {

constexpr size_t kFolderMax = 260;
constexpr size_t kFileNameMax = 520;

std::u16string ReadFolder(const char16_t* name) {
  auto v = tevalo::registry::ReadString(tevalo::registry::kTevaloKey, name);
  if (!v) return {};
  if (v->size() > kFolderMax - 1) v->resize(kFolderMax - 1);
  return *v;
}

}  // namespace

CRecorder::CRecorder(CHalvik& filter, Options options)
    : filter_(filter), options_(std::move(options)), writer_(options_.free_space) {
  thread_ = std::thread([this] { ThreadProc(); });
}

CRecorder::~CRecorder() {
  {
    std::lock_guard lock(thread_mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  StopRecording();
}

uint32_t CRecorder::Tick() const { return options_.tick ? options_.tick() : tvk::GetTickCount32(); }

std::u16string CRecorder::TargetPath() {
  const std::u16string user = ReadFolder(u"User_Dir");
  const std::u16string ini =
      tevalo::path::Join(std::u16string_view(user), std::u16string_view(u"config.ini"));
  std::u16string name = tevalo::profile::ReadString(ini, u"RECControl", u"FileName");
  if (name.size() > kFileNameMax - 1) name.resize(kFileNameMax - 1);
  return name;
}

void CRecorder::StartRecording() {
  std::lock_guard lock(recorder_lock_);
  recording_folder_ = ReadFolder(u"rec_Dir");
  const std::u16string target = TargetPath();
  // Whatever the pins queued belongs to the recording that is open, if any; it is finished first.
  if (writer_.IsOpen()) {
    DrainLocked();
    writer_.Stop(Tick());
  }
  filter_.recording_flag() = false;
  filter_.record_queue().Clear();
  if (target.empty()) {
    filter_.Notice("recording not started: the settings name no recording file");
    return;
  }
  const std::string path = tevalo::path::NativeUtf8(target);
  rec::InfoBlock video{}, audio{};
  std::memcpy(video.data(), filter_.video_config().data(), video.size());
  std::memcpy(audio.data(), filter_.audio_config().data(), audio.size());
  skipping_ = false;
  if (!writer_.Start(path, video, audio, Tick())) {
    const int err = errno;
    filter_.Notice("cannot create the recording file " + path + ": " + std::strerror(err));
    return;
  }
  filter_.recording_flag() = true;
}

void CRecorder::StopRecording() {
  std::lock_guard lock(recorder_lock_);
  filter_.recording_flag() = false;
  if (!writer_.IsOpen()) return;
  DrainLocked();
  writer_.Stop(Tick());
}

bool CRecorder::recording() const {
  std::lock_guard lock(recorder_lock_);
  return writer_.IsOpen() && filter_.recording_flag().load();
}

std::string CRecorder::path() const {
  std::lock_guard lock(recorder_lock_);
  return writer_.Path();
}

void CRecorder::DrainLocked() {
  while (FrameRecordPtr r = filter_.record_queue().Pop()) WriteLocked(*r);
}

void CRecorder::WriteLocked(const FrameRecord& r) {
  if (!writer_.IsOpen()) return;
  using Result = rec::CRecWriter::WriteResult;
  Result result = Result::Failed;
  try {
    // The pins store the presentation time where the channel's stamp was.
    result = writer_.WriteRecord(static_cast<uint32_t>(r.type), r.values[1], r.payload, Tick());
  } catch (...) {
    // Only this record is lost.
  }
  // Once when records start being lost and once when they are written again, not per record.
  const bool skipped = result == Result::LowSpace || result == Result::Failed;
  if (skipped != skipping_ && (skipped || result == Result::Written)) {
    skipping_ = skipped;
    filter_.ReportRecordWriting(!skipped);
  }
}

void CRecorder::ThreadProc() {
  std::unique_lock lock(thread_mutex_);
  while (!quit_) {
    wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return quit_; });
    if (quit_) break;
    lock.unlock();
    {
      // Taken under the recorder lock: a stop or a new start in between would otherwise find the
      // record neither queued nor written, and it would be lost or go into the next file.
      std::lock_guard rec_lock(recorder_lock_);
      if (FrameRecordPtr r = filter_.record_queue().Pop(); r && filter_.recording_flag()) WriteLocked(*r);
    }
    lock.lock();
  }
}

RecorderFactory MakeRecorderFactory(CRecorder::Options options) {
  return [options](CHalvik& filter) -> std::unique_ptr<RecorderControl> {
    return std::make_unique<CRecorder>(filter, options);
  };
}

}  // namespace halvik
