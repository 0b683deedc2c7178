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
// Every event and semaphore is the engine's own (nothing outside the process opens them), so any
// number of engines run side by side; the semaphores' names ("Ostrel_USB", "Ostrel_DEMUX",
// "Ostrel_PARSE", "Ostrel_DATAPUMP") label the threads.
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

// Which thread the read thread wakes for a new block.
enum class FeedTarget : int { kProgrammeMapSearch = 0, kDemux = 1 };
// Where the programme-map search stands.
enum class PmtState : int { kSearching = 2, kFound = 4 };

class CStreamEngine {
 public:
  enum ThreadId { kUsbRead, kDemux, kParse, kDataPump, kThreadCount };

  // text and events may be null (nothing is decoded; nobody is told). The sink, the source and the
  // others must outlive the engine's threads.
  CStreamEngine(IFrameSink& sink, ITsBlockSource& source, ITextDecoders* text = nullptr,
                IStreamEvents* events = nullptr);
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

  void SetTextDecoders(ITextDecoders* text);

  // The programme-map search runs only while the source is a live broadcast (the owner's source
  // mode 1).
  void SetLiveSource(bool live) { m_liveSource = live; }
  FeedTarget GetFeedTarget() const { return m_nFeedTarget; }
  PmtState GetPmtState() const { return m_nPmtState; }

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

  IFrameSink& m_sink;
  ITsBlockSource& m_source;
  IStreamEvents* m_events;
  CNullTextDecoders m_nullText;
  std::atomic<ITextDecoders*> m_text;

  std::atomic<bool> m_initialised{false};
  std::mutex m_chunkLock;
  std::deque<std::unique_ptr<CTsChunk>> m_chunks;
  std::mutex m_packetLock;
  std::deque<std::unique_ptr<StreamPacket>> m_packets;

  // Written by the read thread and the programme-map search, read by the read thread: the hand-over
  // to the demultiplexer is one store.
  std::atomic<FeedTarget> m_nFeedTarget{FeedTarget::kProgrammeMapSearch};
  std::atomic<PmtState> m_nPmtState{PmtState::kSearching};
  std::atomic<bool> m_liveSource{false};

  std::array<ThreadHandles, kThreadCount> m_handles;
  bool m_eventsCreated = false;
  std::array<std::thread, kThreadCount> m_threads;
  std::array<std::atomic<bool>, kThreadCount> m_quitting{};

  StreamPids m_pids;
  CProgramMap m_programMap{m_pids};
  // Set by each programme-map search: the delivery thread captures both stream headers again.
  std::atomic<bool> m_framingReset{false};
  // From a restarted search until the first picture and sound frame are written: the queue rule is
  // waived.
  std::atomic<bool> m_starting{true};
  // Set when the read (re)starts: the search forgets what it gathered and held.
  std::atomic<bool> m_searchRestart{false};

  std::function<void(ThreadId, bool)> m_observer;
};

}  // namespace tevalo::pipeline
