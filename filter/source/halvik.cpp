#include "filter/source/halvik.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "filter/source/le.h"

namespace halvik {
namespace {

constexpr uint32_t kRequestIdle = 1;
constexpr uint32_t kRequestRun = 2;
constexpr uint32_t kRequestExit = 3;
constexpr uint32_t kENotImpl = 0x80004001;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::mutex g_recorder_mutex;
RecorderFactory g_recorder_factory;

}  // namespace

void SetRecorderFactory(RecorderFactory factory) {
  std::lock_guard lock(g_recorder_mutex);
  g_recorder_factory = std::move(factory);
}

CHalvik::CHalvik(std::shared_ptr<FilterHost> host)
    : host_(std::move(host)),
      video_pin_(video_queue_, {&recording_, &record_queue_, kRecordQueueVideoLimit}),
      audio_pin_(audio_queue_, selection_,
                 AudioPinOptions{10, true,
                                 [this](int32_t v) {
                                   if (host_) host_->PostDualMonoNotify(v);
                                 }},
                 {&recording_, &record_queue_, kRecordQueueAudioLimit}) {
  std::lock_guard lock(filter_lock_);
  if (host_) events_ = host_->OpenEvents();
  if (events_) {
    events_->ResetWake();
    events_->ResetQuit();
  }
  std::lock_guard factory_lock(g_recorder_mutex);
  if (g_recorder_factory) recorder_ = g_recorder_factory(*this);
}

CHalvik::~CHalvik() {
  recording_ = false;
  {
    std::lock_guard lock(filter_lock_);
    EndWorkers();
  }
  recorder_.reset();
  channel_.reset();
  video_queue_.Clear();
  audio_queue_.Clear();
  record_queue_.Clear();
}

std::array<uint8_t, kFilterConnectDataSize> CHalvik::FilterConnectData(uint32_t pid, const std::string& url) {
  std::array<uint8_t, kFilterConnectDataSize> d{};
  PutLe32(d.data(), pid);
  // The URL as UTF-16LE, at most 259 units and always terminated.
  size_t out = 0;
  for (size_t i = 0; i < url.size() && out < 259;) {
    uint32_t cp = static_cast<uint8_t>(url[i]);
    size_t n = cp < 0x80 ? 1 : (cp >> 5) == 6 ? 2 : (cp >> 4) == 14 ? 3 : (cp >> 3) == 30 ? 4 : 1;
    if (n > 1 && i + n <= url.size()) {
      cp &= 0xFF >> (n + 1);
      for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<uint8_t>(url[i + k]) & 0x3F);
    } else if (n > 1) {
      cp = 0xFFFD;
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      if (out + 2 > 259) break;
      cp -= 0x10000;
      d[4 + 2 * out] = static_cast<uint8_t>((0xD800 + (cp >> 10)) & 0xFF);
      d[5 + 2 * out] = static_cast<uint8_t>((0xD800 + (cp >> 10)) >> 8);
      ++out;
      cp = 0xDC00 + (cp & 0x3FF);
    }
    d[4 + 2 * out] = static_cast<uint8_t>(cp & 0xFF);
    d[5 + 2 * out] = static_cast<uint8_t>(cp >> 8);
    ++out;
  }
  return d;
}

bool CHalvik::Load(const char* url) {
  std::lock_guard lock(filter_lock_);
  if (host_) recording_folder_ = host_->ReadRecordingFolder();
  if (!url || std::strncmp(url, kUrlScheme, 5) != 0 || !host_) return false;
  // The channel cannot be replaced under a running receive thread; the graph stops first.
  if (receive_thread_.ThreadExists()) return false;
  url_ = url;
  player_window_ = host_->FindPlayerWindow();
  channel_.reset();
  channel_ = host_->CreateChannel();
  if (!channel_) return false;
  const auto data = FilterConnectData(host_->ProcessId(), url_);
  host_->SendCopyData(player_window_, kCopyDataFilterOpen, kFilterConnectDataSize, data.data(), data.size(),
                      true, 5000);
  connection_state_ = 0;
  last_state_ = FilterState::kStopped;
  if (!channel_->Connect()) return false;
  video_config_.fill(0);
  audio_config_.fill(0);
  video_pin_.SetDefaultMediaType();
  audio_pin_.SetDefaultMediaType();
  return true;
}

std::string CHalvik::GetCurFile() const {
  std::lock_guard lock(filter_lock_);
  return url_;
}

void CHalvik::Pause() {
  std::lock_guard lock(filter_lock_);
  if (connection_state_ != 3 && last_state_ == FilterState::kStopped && events_) {
    {
      std::lock_guard rs(run_state_lock_);
      if (!receive_thread_.ThreadExists() && receive_run_state_ == 2)
        receive_thread_.Create([this] { ReceiveThreadProc(); });
      receive_run_state_ = 1;
    }
    events_->SetWake();
    receive_thread_.CallWorker(kRequestRun);
    connection_state_ = 0;
    host_->SendCopyData(player_window_, kCopyDataFilterRun, host_->ProcessId(), nullptr, 0, true, 1000);
    connection_state_ = 1;
  }
  state_ = last_state_ = FilterState::kPaused;
}

void CHalvik::Run() {
  std::lock_guard lock(filter_lock_);
  state_ = last_state_ = FilterState::kRunning;
}

void CHalvik::Stop() {
  std::lock_guard lock(filter_lock_);
  stopping_ = true;
  // The graph pauses a running filter before it stops it.
  if (last_state_ != FilterState::kPaused) return;
  if (connection_state_ == 1)
    host_->SendCopyData(player_window_, kCopyDataFilterStop, host_->ProcessId(), nullptr, 0, false, 1000);
  connection_state_ = 3;
  EndWorkers();
  state_ = last_state_ = FilterState::kStopped;
}

void CHalvik::EndWorkers() {
  {
    std::lock_guard rs(run_state_lock_);
    if (receive_run_state_ == 2 && !receive_thread_.ThreadExists()) return;
    receive_run_state_ = 2;
  }
  if (events_) {
    events_->ResetWake();
    events_->SetQuit();
  }
  receive_thread_.Close();
}

FilterEvents::Wait CHalvik::WaitForWork() {
  if (receive_wait_ != kInfinite) return events_->WaitWakeOrQuit(receive_wait_);
  // Without a limit, but in slices: a request posted just after its wake was taken must not wait
  // for the next message.
  for (;;) {
    const auto w = events_->WaitWakeOrQuit(50);
    if (w != FilterEvents::Wait::kTimeout || receive_thread_.CheckRequest()) return w;
  }
}

void CHalvik::ReceiveThreadProc() {
  pthread_setname_np(pthread_self(), "filter-receive");
  stopping_ = false;
  clock_.Reset();
  start_gate_.Reset();
  SleepMs(100);
  for (;;) {
    SleepMs(5);
    if (!receive_thread_.CheckRequest() && WaitForWork() == FilterEvents::Wait::kQuit) {
      // A message already written is taken first: its writer waits for the acknowledgement (and a
      // recording stop may be among it).
      ProcessIpcMessage();
      break;
    }
    const auto request = receive_thread_.CheckRequest();
    if (!request) {
      {
        std::lock_guard rs(run_state_lock_);
        if (receive_run_state_ == 2) return;
      }
      ProcessIpcMessage();
      // A stream that brings only sound (or only pictures) is not held back for long.
      if (start_gate_.holding())
        for (auto& ready : start_gate_.Idle(clock_, NowMs())) QueueTimed(std::move(ready));
      continue;
    }
    switch (*request) {
      case kRequestIdle:
        receive_wait_ = kInfinite;
        receive_thread_.Reply(0);
        break;
      case kRequestRun:
        receive_thread_.Reply(0);
        receive_wait_ = 10;
        break;
      case kRequestExit:
        receive_thread_.Reply(0);
        return;
      default:
        receive_thread_.Reply(kENotImpl);
    }
  }
  video_queue_.Clear();
  audio_queue_.Clear();
}

void CHalvik::ProcessIpcMessage() {
  if (!channel_) return;
  uint8_t head[8];
  if (!channel_->Read(head, 8, 0, 0, 1)) return;
  const auto type = static_cast<int32_t>(GetLe32(head));
  const auto length = static_cast<int32_t>(GetLe32(head + 4));
  switch (type) {
    case kMsgVideoConfig:
    case kMsgAudioConfig: {
      if (length < 0 || static_cast<uint32_t>(length) > kMaxConfigLength) {
        Release();  // refused, still acknowledged
        return;
      }
      auto& buf = type == kMsgVideoConfig ? video_config_ : audio_config_;
      buf.fill(0);
      std::memcpy(buf.data(), head, 8);
      channel_->Read(buf.data() + 8, static_cast<uint32_t>(length), 8, 2, 0);
      if (type == kMsgVideoConfig)
        video_pin_.OpenVideoDecoder(buf.data() + 8, static_cast<size_t>(length));
      else
        audio_pin_.OpenAudioDecoder(buf.data() + 8, static_cast<size_t>(length));
      return;
    }
    case kMsgVideoFrame:
    case kMsgAudioFrame:
      HandleFrame(type, length);
      return;
    case kMsgRecord: {
      uint8_t arg = 0;
      channel_->Read(&arg, 1, 8, 2, 0);
      if (recorder_ && arg == 1) recorder_->StartRecording();
      if (recorder_ && arg == 2) recorder_->StopRecording();
      return;
    }
    case kMsgAudioMode: {
      uint8_t arg[4] = {};
      channel_->Read(arg, 4, 8, 2, 0);
      selection_ = static_cast<int32_t>(GetLe32(arg));
      return;
    }
    default:
      Release();
  }
}

void CHalvik::Release() {
  uint8_t none = 0;
  channel_->Read(&none, 0, 8, 2, 0);
}

void CHalvik::HandleFrame(int32_t type, int32_t length) {
  const uint32_t limit = type == kMsgVideoFrame ? kMaxVideoFrameLength : kMaxAudioFrameLength;
  if (length < 0 || static_cast<uint32_t>(length) > limit) {
    Release();
    return;
  }
  auto r = std::make_unique<FrameRecord>();
  r->type = type;
  r->length = static_cast<uint32_t>(length);
  uint8_t values[32];
  channel_->Read(values, 32, 8, 1, 0);
  for (int i = 0; i < 4; ++i) r->values[i] = GetLe64(values + 8 * i);
  r->payload.resize(r->length);
  uint8_t none = 0;
  channel_->Read(r->length ? r->payload.data() : &none, r->length, 40, 2, 0);

  const bool audio = type == kMsgAudioFrame;
  if (audio) {
    const bool adts = r->length >= 2 && r->payload[0] == 0xFF && r->payload[1] == 0xF8;
    if (!adts && !audio_pin_.accepts_non_adts_frames()) return;
  }
  if (!clock_.has_base()) {
    // Without a stamp, or without content, a frame cannot set the base.
    if (!ClockRecovery::IsStamp(r->stamp()) || r->payload.empty()) return;
    for (auto& ready : start_gate_.Take(std::move(r), audio, clock_, NowMs())) QueueTimed(std::move(ready));
    return;
  }
  QueueTimed(std::move(r));
}

void CHalvik::QueueTimed(FrameRecordPtr r) {
  if (r->type == kMsgAudioFrame) {
    const auto t = clock_.AudioTime(r->stamp());
    if (!t) return;
    r->time = *t;
    audio_queue_.Push(std::move(r));
  } else {
    const auto t = clock_.VideoTime(r->stamp());
    if (!t) return;
    r->time = *t;
    video_queue_.Push(std::move(r));
  }
}

}  // namespace halvik
