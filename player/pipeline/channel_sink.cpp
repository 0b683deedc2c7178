#include "player/pipeline/channel_sink.h"

#include <chrono>
#include <thread>

namespace tevalo::pipeline {

CChannelSink::CChannelSink(std::string channelName) : m_channelName(std::move(channelName)) {}

CChannelSink::~CChannelSink() {
  std::lock_guard lock(m_sendLock);
  DeleteLocked();
}

bool CChannelSink::Connect() {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) {
    auto ipc = std::make_shared<CSharedMemoryIpc>(IpcRole::Player, m_channelName, kIpcPayloadSize, false);
    if (!ipc->Usable()) return false;
    m_pIpc = std::move(ipc);
    std::lock_guard events(m_eventLock);
    m_pulseTarget = m_pIpc;
  }
  return m_pIpc->Connect() == 1;
}

bool CChannelSink::HasChannel() const {
  std::lock_guard lock(m_sendLock);
  return m_pIpc != nullptr;
}

void CChannelSink::DeleteLocked() {
  m_formatsBeforeRun = false;
  if (!m_pIpc) return;
  {
    std::lock_guard events(m_eventLock);
    m_pulseTarget.reset();
  }
  m_pIpc->Disconnect();
  m_pIpc.reset();
}

void CChannelSink::Delete() {
  std::lock_guard lock(m_sendLock);
  DeleteLocked();
}

void CChannelSink::DisconnectAndDelete() {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) return;
  m_pIpc->Disconnect();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  DeleteLocked();
}

void CChannelSink::OpenFilterEvents() {
  std::lock_guard events(m_eventLock);
  m_hFilterWakeEvent = tvk::OpenEvent(kFilterWakeEventName);
  m_hFilterQuitEvent = tvk::OpenEvent(kFilterQuitEventName);
  m_filterEventsClosed = false;
}

void CChannelSink::CloseFilterEvents(bool keepStreams) {
  if (!keepStreams) PulseQuit();
  std::shared_ptr<CSharedMemoryIpc> ipc;
  {
    std::lock_guard events(m_eventLock);
    m_hFilterWakeEvent.Close();
    m_hFilterQuitEvent.Close();
    m_filterEventsClosed = true;
    ipc = m_pulseTarget;
  }
  // The filter has stopped reading even when it was not told to quit (a channel change keeps the
  // stream threads): a write in flight and the coming disconnect must not wait a second each for
  // an acknowledgement that cannot come.
  if (ipc) ipc->AbandonPeer();
}

void CChannelSink::PulseQuit() {
  std::shared_ptr<CSharedMemoryIpc> ipc;
  {
    std::lock_guard events(m_eventLock);
    if (!m_hFilterQuitEvent) return;
    tvk::PulseEvent(m_hFilterQuitEvent);
    ipc = m_pulseTarget;
  }
  std::this_thread::yield();
  if (ipc) ipc->AbandonPeer();
}

void CChannelSink::FilterRunning() {
  std::lock_guard lock(m_sendLock);
  m_filterRunning = true;
  if (m_formatsBeforeRun && m_pIpc && WriteLocked(&m_video, kFormatMessageBytes, 0))
    WriteLocked(&m_audio, kFormatMessageBytes, 1);
  m_formatsBeforeRun = false;
}

void CChannelSink::FilterStopped() {
  std::lock_guard lock(m_sendLock);
  m_filterRunning = false;
}

bool CChannelSink::WriteLocked(const void* bytes, uint32_t size, int waitForPeer) {
  {
    std::lock_guard events(m_eventLock);
    if (m_hFilterWakeEvent) tvk::SetEvent(m_hFilterWakeEvent);
  }
  return m_pIpc && m_pIpc->Write(bytes, size, waitForPeer) == 1;
}

bool CChannelSink::WriteStreamFrame(const uint8_t* message, size_t size) {
  std::lock_guard lock(m_sendLock);
  const bool video = size >= 4 && ipcle::GetI32(message) == IPC_VIDEO_FRAME;
  bool filterGone = false;
  {
    // Once the filter's events are closed it has stopped or been told to quit: nobody reads the
    // channel, and each write would wait a second for an acknowledgement.
    std::lock_guard events(m_eventLock);
    filterGone = m_filterEventsClosed;
  }
  const bool ok = !filterGone && WriteLocked(message, static_cast<uint32_t>(size), 1);
  if (video)
    ++(ok ? m_counts.videoWritten : m_counts.videoLost);
  else
    ++(ok ? m_counts.audioWritten : m_counts.audioLost);
  return ok;
}

bool CChannelSink::WriteStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) return false;
  m_video = video;
  m_audio = audio;
  m_formatsBeforeRun = !m_filterRunning;
  if (!WriteLocked(&video, kFormatMessageBytes, 0)) return false;
  if (!WriteLocked(&audio, kFormatMessageBytes, 1)) return false;
  ++m_counts.formatHandOvers;
  return true;
}

bool CChannelSink::WritePing() {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) return false;
  uint8_t ping[kPingMessageBytes] = {};
  EncodeMessageHeader({IPC_PING, 0}, ping);
  return m_pIpc->Write(ping, kPingMessageBytes, 1) == 1;
}

bool CChannelSink::WriteRecord(bool start) {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) return false;
  uint8_t bytes[kControlMessageBytes];
  EncodeControlMessage(MakeControlMessage(IPC_RECORD, start ? IPC_RECORD_START : IPC_RECORD_STOP), bytes);
  // Both wait for the filter: the recording state follows only a start the recorder has taken.
  return m_pIpc->Write(bytes, kControlMessageBytes, 1) == 1;
}

bool CChannelSink::WriteAudioMode(int32_t mode) {
  std::lock_guard lock(m_sendLock);
  if (!m_pIpc) return false;
  uint8_t bytes[kControlMessageBytes];
  EncodeControlMessage(MakeControlMessage(IPC_AUDIO_MODE, mode), bytes);
  return m_pIpc->Write(bytes, kControlMessageBytes, 1) == 1;
}

CChannelSink::Counts CChannelSink::GetCounts() const {
  std::lock_guard lock(m_sendLock);
  return m_counts;
}

}  // namespace tevalo::pipeline
