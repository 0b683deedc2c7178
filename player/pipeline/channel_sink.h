// The player's end of the filter channel: the channel object, the filter's wake and quit events,
// and every message the player writes to the filter. All writes and every replacement or deletion
// of the channel object run under the one send lock, so no stream thread writes into a deleted
// channel and stream and control messages never interleave.
//
// The stream engine's delivery thread writes frames and the format hand-over through IFrameSink;
// the shell connects and disconnects the channel, opens and closes the filter's events and writes
// the control messages (ping 263, recording 264, audio mode 265). Any thread may call any method.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/sync.h"
#include "player/pipeline/stream_host.h"

namespace tevalo::pipeline {

class CChannelSink final : public IFrameSink {
 public:
  explicit CChannelSink(std::string channelName = kIpcChannelName);
  ~CChannelSink() override;
  CChannelSink(const CChannelSink&) = delete;
  CChannelSink& operator=(const CChannelSink&) = delete;

  // Makes the channel object when there is none and connects it. False when it cannot be made or
  // does not connect (the caller then deletes it).
  bool Connect();
  bool HasChannel() const;
  // Deletes the channel object (its destructor disconnects first).
  void Delete();
  // Disconnects and deletes after a 1 ms pause: the filter's receive thread sees the wake-up.
  void DisconnectAndDelete();

  // The filter's two named events (the filter made them when it loaded).
  void OpenFilterEvents();
  // Pulses the quit event unless keepStreams, then closes both. From then on no write or disconnect
  // waits for the filter's acknowledgement, and stream frames are dropped until the events open
  // again.
  void CloseFilterEvents(bool keepStreams);
  // Pulses the quit event, if open. The filter stops reading, so no write waits for its
  // acknowledgement from then on.
  void PulseQuit();

  // The filter's receive thread runs (its first pause): formats written before it ran may have
  // been overwritten unread and are written again. Stopped: formats wait for the next run.
  void FilterRunning();
  void FilterStopped();

  // IFrameSink (the delivery thread).
  bool WriteStreamFrame(const uint8_t* message, size_t size) override;
  bool WriteStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) override;

  // Control messages: the ping (263, 1024 bytes, waiting for the peer), recording start and stop
  // (264, waiting), the audio mode (265, waiting). False when nothing was written.
  bool WritePing();
  bool WriteRecord(bool start);
  bool WriteAudioMode(int32_t mode);

  struct Counts {
    uint64_t videoWritten = 0, audioWritten = 0;
    uint64_t videoLost = 0, audioLost = 0;  // no channel, or the write failed
    uint64_t formatHandOvers = 0;
  };
  Counts GetCounts() const;

 private:
  bool WriteLocked(const void* bytes, uint32_t size, int waitForPeer);
  void DeleteLocked();

  const std::string m_channelName;
  // Serialises every write and the replacement of m_pIpc.
  mutable std::mutex m_sendLock;
  std::shared_ptr<CSharedMemoryIpc> m_pIpc;
  Counts m_counts;
  StreamFormatMessage m_video{};
  StreamFormatMessage m_audio{};
  bool m_filterRunning = false;
  bool m_formatsBeforeRun = false;

  // The events and the channel pointer as the quit pulse reads them, without waiting for a write in
  // progress. Taken inside m_sendLock, never around it.
  mutable std::mutex m_eventLock;
  tvk::Handle m_hFilterWakeEvent;
  tvk::Handle m_hFilterQuitEvent;
  // Set when the filter's events close, cleared when they open again.
  bool m_filterEventsClosed = false;
  std::shared_ptr<CSharedMemoryIpc> m_pulseTarget;
};

}  // namespace tevalo::pipeline
