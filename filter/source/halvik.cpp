#include "filter/source/halvik.h"

#include <pthread.h>

#include <chrono>
#include <cstring>

#include "ipc/stream_headers.h"
#include "platform/kernel/tick.h"

namespace halvik {
namespace {

constexpr uint32_t kRequestIdle = 1;
constexpr uint32_t kRequestRun = 2;
constexpr uint32_t kRequestExit = 3;
constexpr uint32_t kENotImpl = 0x80004001;

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
  const auto data = EncodeFilterConnectData(host_->ProcessId(), std::string_view(url_));
  host_->SendCopyData(player_window_, COPYDATA_FILTER_OPEN, kFilterConnectDataBytes, data.data(), data.size(),
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
    host_->SendCopyData(player_window_, COPYDATA_FILTER_RUN, host_->ProcessId(), nullptr, 0, true, 1000);
    connection_state_ = 1;
  }
  state_ = last_state_ = FilterState::kPaused;
}

void CHalvik::ReportRecordWriting(bool writing) {
  if (player_window_)
    host_->SendCopyData(player_window_, COPYDATA_RECORD_WRITING, writing ? 1 : 0, nullptr, 0, false, 1000);
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
    host_->SendCopyData(player_window_, COPYDATA_FILTER_STOP, host_->ProcessId(), nullptr, 0, false, 1000);
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
  tvk::SleepMs(100);
  for (;;) {
    tvk::SleepMs(5);
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
  if (ReadIpcMessage(*channel_, message_) != IpcReadResult::Message) return;
  switch (message_.header.type) {
    case IPC_VIDEO_CONFIG:
      std::memcpy(video_config_.data(), &message_.format, video_config_.size());
      video_pin_.OpenVideoDecoder(message_.format.body, static_cast<size_t>(message_.format.length));
      return;
    case IPC_AUDIO_CONFIG:
      std::memcpy(audio_config_.data(), &message_.format, audio_config_.size());
      audio_pin_.OpenAudioDecoder(message_.format.body, static_cast<size_t>(message_.format.length));
      return;
    case IPC_VIDEO_FRAME:
    case IPC_AUDIO_FRAME:
      HandleFrame();
      return;
    case IPC_RECORD:
      if (recorder_ && message_.argument == IPC_RECORD_START) recorder_->StartRecording();
      if (recorder_ && message_.argument == IPC_RECORD_STOP) recorder_->StopRecording();
      return;
    case IPC_AUDIO_MODE:
      selection_ = message_.argument;
      return;
    default:
      return;
  }
}

void CHalvik::HandleFrame() {
  auto r = std::make_unique<FrameRecord>();
  r->type = message_.header.type;
  r->length = static_cast<uint32_t>(message_.header.length);
  for (int i = 0; i < 4; ++i) r->values[i] = message_.values[i];
  r->payload = std::move(message_.payload);

  const bool audio = r->type == IPC_AUDIO_FRAME;
  if (audio) {
    const bool adts = streamhdr::HasBroadcastAdtsSync(r->payload.data(), r->length);
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
  if (r->type == IPC_AUDIO_FRAME) {
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
