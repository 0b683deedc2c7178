#include "filter/playback/halvikf.h"

#include <chrono>
#include <optional>

#include "ipc/stream_headers.h"

namespace halvikf {
namespace {

// The queues have no bound of their own (the batch rule keeps them small); this one only guards
// against a runaway producer.
constexpr size_t kQueueGuard = 100000;

// The stream's sampling frequency from its ADTS header; 1seg's 24 kHz when the header has none.
int AdtsRate(const std::vector<uint8_t>& config) {
  const uint32_t rate =
      config.size() > 2 ? streamhdr::AacSampleRate(streamhdr::AdtsSamplingIndex(config.data())) : 0;
  return rate ? int(rate) : 24000;
}

// An access unit with an IDR slice.
bool IsKeyPicture(const std::vector<uint8_t>& au) {
  for (size_t i = 0; i + 3 < au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1 && (au[i + 3] & 0x1F) == 5) return true;
  return false;
}

}  // namespace

CHalvikF::CHalvikF()
    : video_queue_(kQueueGuard),
      audio_queue_(kQueueGuard),
      video_pin_(video_queue_),
      audio_pin_(audio_queue_, selection_, halvik::AudioPinOptions{kMuteThreshold, false, nullptr}) {}

CHalvikF::~CHalvikF() {
  EndReadThread();
  video_queue_.Clear();
  audio_queue_.Clear();
}

rec::CRecReader::OpenResult CHalvikF::Load(const std::string& path) {
  std::lock_guard lock(filter_lock_);
  if (read_thread_.joinable()) return rec::CRecReader::OpenResult::CannotOpen;
  path_ = path;
  video_config_.clear();
  audio_config_.clear();
  video_size_ = {};
  const auto result = reader_.Open(path);
  if (result != rec::CRecReader::OpenResult::Ok) return result;
  video_config_ = *rec::InfoBody(reader_.VideoInfo(), rec::kVideoInfoType);
  audio_config_ = *rec::InfoBody(reader_.AudioInfo(), rec::kAudioInfoType);
  video_size_ = streamhdr::WalkVideoConfiguration(video_config_.data(), video_config_.size())
                    .value_or(halvik::PictureSize{});
  audio_rate_ = 2 * AdtsRate(audio_config_);
  OpenDecoders();
  return result;
}

void CHalvikF::OpenDecoders() {
  video_pin_.OpenVideoDecoder(video_config_.data(), video_config_.size());
  // The audio decoder reads a zero-filled configuration of at least 7 bytes.
  std::vector<uint8_t> audio(rec::kInfoBodyMax, 0);
  std::copy(audio_config_.begin(), audio_config_.end(), audio.begin());
  audio_pin_.OpenAudioDecoder(audio.data(), audio_config_.size());
  video_pin_.SetDefaultMediaType();
  audio_pin_.SetDefaultMediaType();
}

std::string CHalvikF::GetCurFile() const {
  std::lock_guard lock(filter_lock_);
  return path_;
}

void CHalvikF::Pause() {
  std::lock_guard lock(filter_lock_);
  if (read_thread_.joinable() || !reader_.IsOpen()) return;
  stopping_ = false;
  {
    std::lock_guard l(thread_mutex_);
    quit_ = false;
  }
  {
    std::lock_guard rl(read_lock_);
    timeline_.Reset();
    BaseOnStart();
  }
  read_thread_ = std::thread([this] { ReadThreadProc(); });
}

void CHalvikF::Run() {}

void CHalvikF::Stop() {
  std::lock_guard lock(filter_lock_);
  stopping_ = true;
  EndReadThread();
  video_queue_.Clear();
  audio_queue_.Clear();
  if (reader_.IsOpen()) {
    reader_.SeekToTime(0);
    OpenDecoders();
  }
  rate_ = 1.0;
}

void CHalvikF::EndReadThread() {
  {
    std::lock_guard l(thread_mutex_);
    quit_ = true;
  }
  reader_.Interrupt();
  wake_.notify_all();
  if (read_thread_.joinable()) read_thread_.join();
}

bool CHalvikF::SetRate(double rate) {
  if (!(rate > 0)) return false;
  rate_ = rate;
  return true;
}

bool CHalvikF::Seek(int64_t target) {
  if (target < 0) target = 0;
  bool positioned;
  reader_.Interrupt();  // the read thread's scan, if any, gives way at its next block
  {
    std::lock_guard rl(read_lock_);
    ++generation_;
    video_queue_.Clear();
    audio_queue_.Clear();
    const uint64_t ms = static_cast<uint64_t>(target / 10000);
    positioned = reader_.SeekToTime(ms);
    timeline_.Reset();
    if (positioned && ms > 0)
      StartAtKeyPicture(ms);
    else if (positioned)
      BaseOnStart();
    // Decoding starts afresh at the new position.
    OpenDecoders();
  }
  wake_.notify_all();
  return positioned;
}

std::optional<int64_t> CHalvikF::FirstSoundTime() {
  rec::Record r;
  for (int i = 0; i < 64; ++i) {
    const auto got = reader_.ReadRecord(r);
    if (got == rec::CRecReader::ReadResult::End) break;
    if (got == rec::CRecReader::ReadResult::Record && r.head.type == rec::kAudioType && r.head.time != -1)
      return r.head.time;
  }
  return std::nullopt;
}

void CHalvikF::BaseOnStart() {
  // The recorder's two pins write independently, so a picture can precede the first sound in the
  // file: its time is still known from that sound, and the key picture must not be lost.
  if (!reader_.SeekToTime(0)) return;
  if (const auto time = FirstSoundTime()) timeline_.SetBase(*time);
  reader_.SeekToTime(0);
}

void CHalvikF::StartAtKeyPicture(uint64_t ms) {
  // The stored time at the target: the first sound at or after the record the seek found.
  const uint64_t target_at = reader_.Position();
  rec::Record r;
  const std::optional<int64_t> target_time = FirstSoundTime();
  uint64_t start = target_at;
  if (target_time) {
    // Decoding begins at the last key picture before the target, so the first picture shown is the
    // one at the target; the pictures and sound before it get negative times and are not shown.
    for (uint64_t back : {uint64_t(1500), uint64_t(3000), uint64_t(6000)}) {
      const uint64_t from = ms > back ? ms - back : 0;
      if (!reader_.SeekToTime(from)) break;
      std::optional<uint64_t> key;
      for (;;) {
        const auto got = reader_.ReadRecord(r);
        if (got == rec::CRecReader::ReadResult::End || r.offset > target_at) break;
        if (got == rec::CRecReader::ReadResult::Record && r.head.type == rec::kVideoType &&
            IsKeyPicture(r.payload))
          key = r.offset;
      }
      if (key) {
        start = *key;
        break;
      }
      if (from == 0) break;
    }
    timeline_.SetBase(*target_time);
  }
  if (!reader_.SeekToRecord(start)) reader_.SeekToTime(ms);
}

bool CHalvikF::Pace(uint32_t ms, uint64_t generation) {
  if (ms == 0) return generation_ == generation;
  std::unique_lock l(thread_mutex_);
  wake_.wait_for(l, std::chrono::milliseconds(ms), [&] { return quit_ || generation_ != generation; });
  return !quit_ && generation_ == generation;
}

bool CHalvikF::ReadRecords(uint32_t pause_ms) {
  const int batch = rec::RecBatchSize(video_queue_.Size(), audio_queue_.Size());
  const uint64_t generation = generation_;
  for (int i = 0; i < batch; ++i) {
    if (!Pace(pause_ms, generation)) return true;
    std::lock_guard rl(read_lock_);
    if (generation_ != generation) return true;  // a seek came between
    rec::Record r;
    const auto got = reader_.ReadRecord(r);
    if (got == rec::CRecReader::ReadResult::End) return false;
    if (got == rec::CRecReader::ReadResult::Skipped) continue;
    auto frame = std::make_unique<halvik::FrameRecord>();
    frame->type = static_cast<int32_t>(r.head.type);
    frame->length = r.head.length;
    frame->values[1] = r.head.time;
    if (r.head.type == rec::kAudioType) {
      const auto t = timeline_.OnAudio(r.head.time);
      if (!t) continue;
      const bool adts = streamhdr::HasBroadcastAdtsSync(r.payload.data(), r.payload.size());
      if (!adts && !audio_pin_.accepts_non_adts_frames()) continue;  // ER-BSAC units have no header
      frame->time = *t;
      frame->payload = std::move(r.payload);
      audio_queue_.Push(std::move(frame));
    } else {
      const auto t = timeline_.OnVideo(r.head.time);
      if (!t) continue;
      frame->time = *t;
      frame->payload = std::move(r.payload);
      video_queue_.Push(std::move(frame));
    }
  }
  return true;
}

void CHalvikF::ReadThreadProc() {
  for (;;) {
    {
      std::unique_lock l(thread_mutex_);
      wake_.wait_for(l, std::chrono::milliseconds(kRecordPauseMs), [this] { return quit_; });
      if (quit_) break;
    }
    ReadRecords();
  }
  video_queue_.Clear();
  audio_queue_.Clear();
}

}  // namespace halvikf
