// The live stream engine: four threads that take the tuner's blocks to the channel.
//
//   UsbReadThread   tuner blocks -> block queue; wakes the search or the demultiplexer
//   DemuxThread     block queue -> programme-map search; hands the feed, and the blocks it
//                   searched, over once found
//   ParseThread     block queue -> PES packets (packet queue) and the text decoders
//   DataPumpThread  packet queue -> access units and ADTS frames on the channel
//
// Owner's order: InitStreamEngine, CreateStreamEvents, StartStreamThreads, (tune), StartUsbRead;
// at the end StopStreamThreads, CloseStreamEvents, FlushChunkQueue, FlushPacketQueue,
// DeleteStreamEngine. The destructor does whatever of that is still due.
//
// The wake semaphores are named ("Ostrel_USB", "Ostrel_DEMUX", "Ostrel_PARSE", "Ostrel_DATAPUMP"),
// so one engine runs per process (and per TEVALO_NAMESPACE) at a time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/sync.h"
#include "player/pipeline/es_framer.h"
#include "player/pipeline/pes_assembler.h"
#include "player/pipeline/programme_map.h"
#include "player/pipeline/stream_host.h"
#include "player/pipeline/text_decoders.h"

namespace tevalo::pipeline {

// One tuner block in the block queue.
struct CTsChunk {
  std::vector<uint8_t> data;
};

class CStreamEngine {
 public:
  enum ThreadId { kUsbRead, kDemux, kParse, kDataPump, kThreadCount };

  // text may be null (nothing is decoded). The host and the source must outlive the engine's
  // threads.
  CStreamEngine(IStreamHost& host, ITsBlockSource& source, ITextDecoders* text = nullptr);
  ~CStreamEngine();
  CStreamEngine(const CStreamEngine&) = delete;
  CStreamEngine& operator=(const CStreamEngine&) = delete;

  void InitStreamEngine();
  void DeleteStreamEngine();
  // 1 when every event and semaphore exists, 0 as soon as one cannot be created.
  int CreateStreamEvents();
  void CloseStreamEvents();
  void FlushChunkQueue();
  void FlushPacketQueue();
  // Starts DemuxThread, ParseThread, UsbReadThread and DataPumpThread, in this order; they idle
  // until StartUsbRead. 0 when the events are missing or the threads already run.
  int StartStreamThreads();
  // The read thread starts polling the tuner (and restarts the programme-map search).
  void StartUsbRead();
  // Back to searching the programme map; the demultiplexer forgets its buffer and assemblers.
  void ResetStreamEngine();
  // Stops the read thread, ParseThread, DemuxThread and DataPumpThread, in this order, each told to
  // quit and waited for without a time limit. Nothing when they were never started.
  void StopStreamThreads();

  // Serialises every write to the channel and the deletion of the host's channel object.
  std::mutex& SendLock() { return m_sendLock; }
  void SetTextDecoders(ITextDecoders* text);

  // The routed PIDs (0xFFFF while unknown).
  const StreamPids& Pids() const { return m_pids; }
  size_t QueuedChunks();
  size_t QueuedPackets();
  bool Initialised() const { return m_initialised; }
  bool ThreadsRunning() const { return m_threads[kUsbRead].joinable(); }

  // Test hook: called on each stream thread as it starts (true) and just before it ends (false).
  void SetThreadObserver(std::function<void(ThreadId, bool)> observer) { m_observer = std::move(observer); }

 private:
  struct ThreadHandles {
    tvk::Handle quit, reset, wake, done;
  };

  class PacketQueueSink;
  class FramerOutput;

  void UsbReadThread();
  void DemuxThread();
  void ParseThread();
  void DataPumpThread();
  void RunThread(ThreadId id, void (CStreamEngine::*body)());
  uint32_t Wait(ThreadId id, uint32_t timeoutMs);
  std::unique_ptr<CTsChunk> TakeChunk();
  // Puts the blocks the search held back at the head of the block queue for the demultiplexer.
  void HandOver(std::deque<std::unique_ptr<CTsChunk>>& held);
  std::unique_ptr<StreamPacket> TakePacket();
  void PushPacket(std::unique_ptr<StreamPacket> packet);
  void Wake(ThreadId id);

  IStreamHost& m_host;
  ITsBlockSource& m_source;
  CNullTextDecoders m_nullText;
  std::atomic<ITextDecoders*> m_text;

  std::atomic<bool> m_initialised{false};
  std::mutex m_chunkLock;
  std::deque<std::unique_ptr<CTsChunk>> m_chunks;
  std::mutex m_packetLock;
  std::deque<std::unique_ptr<StreamPacket>> m_packets;
  std::mutex m_sendLock;

  std::array<ThreadHandles, kThreadCount> m_handles;
  bool m_eventsCreated = false;
  std::array<std::thread, kThreadCount> m_threads;
  std::array<std::atomic<bool>, kThreadCount> m_quitting{};

  StreamPids m_pids;
  CProgramMap m_programMap{m_pids};
  // Set by each programme-map search: the delivery thread captures both stream headers again.
  std::atomic<bool> m_framingReset{false};

  std::function<void(ThreadId, bool)> m_observer;
};

}  // namespace tevalo::pipeline
