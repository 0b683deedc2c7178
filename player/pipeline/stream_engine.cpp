#include "player/pipeline/stream_engine.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <optional>

#include "platform/kernel/tick.h"
#include "player/pipeline/ts_demux.h"

namespace tevalo::pipeline {

namespace {

// The semaphores' names, kept as the threads' names.
constexpr const char* kThreadLabels[CStreamEngine::kThreadCount] = {"Ostrel_USB", "Ostrel_DEMUX",
                                                                    "Ostrel_PARSE", "Ostrel_DATAPUMP"};
// Consumers take only while more records than this wait. The rule batches the steady stream into
// fewer wake-ups; after a tune it would hold the first picture until records that have not come
// yet arrive (about 100 ms), so it applies only once the first picture and sound frame are out.
constexpr size_t kQueueThreshold = 2;
constexpr uint32_t kPassSleepMs = 5;
// Blocks the programme-map search keeps for the demultiplexer (about two seconds of a broadcast):
// what came before the map, the first key picture of a tune among it, is demultiplexed too.
constexpr size_t kSearchHeldBlocks = 64;

enum WaitIndex : uint32_t { kWaitQuit = 0, kWaitReset = 1, kWaitWake = 2, kWaitDone = 3 };

void RaisePriority() {
  // Above the other threads of the process but not real-time: a lower nice value for this thread
  // where the system allows it, else as it is.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -5);
}

}  // namespace

class CStreamEngine::PacketQueueSink final : public IStreamPacketSink {
 public:
  explicit PacketQueueSink(CStreamEngine& e) : m_engine(e) {}
  void PushPacket(std::unique_ptr<StreamPacket> p) override { m_engine.PushPacket(std::move(p)); }

 private:
  CStreamEngine& m_engine;
};

class CStreamEngine::FramerOutput final : public IFramerOutput {
 public:
  explicit FramerOutput(CStreamEngine& e) : m_engine(e) {}
  void WriteFrame(const uint8_t* message, size_t size) override {
    m_engine.m_sink.WriteStreamFrame(message, size);
  }
  void SendStreamFormats(int, const StreamFormatMessage& video, const StreamFormatMessage& audio) override {
    if (m_engine.m_sink.WriteStreamFormats(video, audio) && m_engine.m_events)
      m_engine.m_events->OnStreamFormats(video, audio);
  }

 private:
  CStreamEngine& m_engine;
};

CStreamEngine::CStreamEngine(IFrameSink& sink, ITsBlockSource& source, ITextDecoders* text,
                             IStreamEvents* events)
    : m_sink(sink), m_source(source), m_events(events), m_text(text ? text : &m_nullText) {}

CStreamEngine::~CStreamEngine() {
  StopStreamThreads();
  CloseStreamEvents();
  FlushChunkQueue();
  FlushPacketQueue();
  DeleteStreamEngine();
}

void CStreamEngine::SetTextDecoders(ITextDecoders* text) { m_text = text ? text : &m_nullText; }

void CStreamEngine::InitStreamEngine() {
  m_initialised = true;
  m_pids.Clear();
}

void CStreamEngine::DeleteStreamEngine() { m_initialised = false; }

int CStreamEngine::CreateStreamEvents() {
  if (m_eventsCreated) return 1;
  for (int t = 0; t < kThreadCount; ++t) {
    ThreadHandles& h = m_handles[t];
    h.quit = tvk::CreateEvent(false, false);
    h.reset = tvk::CreateEvent(false, false);
    h.done = tvk::CreateEvent(false, false);
    if (!h.quit || !h.reset || !h.done) {
      CloseStreamEvents();
      return 0;
    }
  }
  for (int t = 0; t < kThreadCount; ++t) {
    m_handles[t].wake = tvk::CreateSemaphore(0, 1);
    if (!m_handles[t].wake) {
      CloseStreamEvents();
      return 0;
    }
  }
  m_eventsCreated = true;
  return 1;
}

void CStreamEngine::CloseStreamEvents() {
  if (ThreadsRunning()) return;  // the threads wait on them
  for (ThreadHandles& h : m_handles) {
    h.quit.Close();
    h.reset.Close();
    h.wake.Close();
    h.done.Close();
  }
  m_eventsCreated = false;
}

void CStreamEngine::FlushChunkQueue() {
  if (!m_initialised) return;
  std::lock_guard lock(m_chunkLock);
  m_chunks.clear();
}

void CStreamEngine::FlushPacketQueue() {
  if (!m_initialised) return;
  std::lock_guard lock(m_packetLock);
  m_packets.clear();
}

size_t CStreamEngine::QueuedChunks() {
  std::lock_guard lock(m_chunkLock);
  return m_chunks.size();
}

size_t CStreamEngine::QueuedPackets() {
  std::lock_guard lock(m_packetLock);
  return m_packets.size();
}

int CStreamEngine::StartStreamThreads() {
  if (!m_eventsCreated || ThreadsRunning()) return 0;
  for (auto& q : m_quitting) q = false;
  m_threads[kDemux] = std::thread(&CStreamEngine::RunThread, this, kDemux, &CStreamEngine::DemuxThread);
  m_threads[kParse] = std::thread(&CStreamEngine::RunThread, this, kParse, &CStreamEngine::ParseThread);
  m_threads[kUsbRead] = std::thread(&CStreamEngine::RunThread, this, kUsbRead, &CStreamEngine::UsbReadThread);
  m_threads[kDataPump] =
      std::thread(&CStreamEngine::RunThread, this, kDataPump, &CStreamEngine::DataPumpThread);
  return 1;
}

void CStreamEngine::StartUsbRead() {
  if (m_eventsCreated) tvk::ReleaseSemaphore(m_handles[kUsbRead].wake, 1);
}

void CStreamEngine::ResetStreamEngine() {
  if (!m_eventsCreated) return;
  for (ThreadId t : {kDemux, kParse, kUsbRead, kDataPump}) tvk::SetEvent(m_handles[t].reset);
}

void CStreamEngine::StopStreamThreads() {
  if (!ThreadsRunning()) return;
  for (ThreadId t : {kUsbRead, kParse, kDemux, kDataPump}) {
    m_quitting[t] = true;
    tvk::SetEvent(m_handles[t].quit);
    tvk::WaitForSingleObject(m_handles[t].done, tvk::INFINITE);
    m_threads[t].join();
  }
}

void CStreamEngine::RunThread(ThreadId id, void (CStreamEngine::*body)()) {
  pthread_setname_np(pthread_self(), kThreadLabels[id]);
  RaisePriority();
  if (m_observer) m_observer(id, true);
  (this->*body)();
  if (m_observer) m_observer(id, false);
  tvk::SetEvent(m_handles[id].done);
}

uint32_t CStreamEngine::Wait(ThreadId id, uint32_t timeoutMs) {
  const ThreadHandles& h = m_handles[id];
  const tvk::Handle handles[4] = {h.quit, h.reset, h.wake, h.done};
  return tvk::WaitForMultipleObjects(4, handles, false, timeoutMs);
}

void CStreamEngine::Wake(ThreadId id) { tvk::ReleaseSemaphore(m_handles[id].wake, 1); }

std::unique_ptr<CTsChunk> CStreamEngine::TakeChunk() {
  if (!m_initialised) return nullptr;
  std::lock_guard lock(m_chunkLock);
  if (m_chunks.size() <= (m_starting ? 0 : kQueueThreshold)) return nullptr;
  auto chunk = std::move(m_chunks.front());
  m_chunks.pop_front();
  return chunk;
}

std::unique_ptr<StreamPacket> CStreamEngine::TakePacket() {
  if (!m_initialised) return nullptr;
  std::lock_guard lock(m_packetLock);
  if (m_packets.size() <= (m_starting ? 0 : kQueueThreshold)) return nullptr;
  auto packet = std::move(m_packets.front());
  m_packets.pop_front();
  return packet;
}

void CStreamEngine::PushPacket(std::unique_ptr<StreamPacket> packet) {
  if (!m_initialised) return;
  {
    std::lock_guard lock(m_packetLock);
    m_packets.push_back(std::move(packet));
  }
  Wake(kDataPump);
}

void CStreamEngine::UsbReadThread() {
  std::vector<uint8_t> buffer(2 * kTsBlockSize);
  uint32_t timeout = tvk::INFINITE;
  for (;;) {
    tvk::SleepMs(kPassSleepMs);
    const uint32_t r = Wait(kUsbRead, timeout);
    if (r == kWaitQuit || r == tvk::WAIT_FAILED) break;
    if (r == kWaitWake) {
      // A (re)started read follows a tune: what was read before it is the previous channel's, and
      // a search over it would hand the new filter that channel's pictures.
      FlushChunkQueue();
      FlushPacketQueue();
      m_searchRestart = true;
      m_starting = true;
      m_nPmtState = PmtState::kSearching;
      m_nFeedTarget = FeedTarget::kProgrammeMapSearch;
      std::memset(buffer.data(), 0, buffer.size());
      timeout = 1;  // polling starts
      continue;
    }
    if (r != tvk::WAIT_TIMEOUT) continue;
    // Take what the tuner holds now, so that a burst does not build a backlog there.
    int queued = 0;
    while (!m_quitting[kUsbRead] && m_source.GetTSStream(buffer.data(), &queued) == 1) {
      auto chunk = std::make_unique<CTsChunk>();
      chunk->data.assign(buffer.begin(), buffer.begin() + kTsBlockSize);
      if (m_initialised) {
        std::lock_guard lock(m_chunkLock);
        m_chunks.push_back(std::move(chunk));
      }
      Wake(m_nFeedTarget == FeedTarget::kProgrammeMapSearch ? kDemux : kParse);
      if (queued <= 1) break;
    }
  }
}

void CStreamEngine::DemuxThread() {
  auto search = std::make_unique<CPmtSearchBuffer>(m_programMap);
  std::deque<std::unique_ptr<CTsChunk>> held;
  for (;;) {
    tvk::SleepMs(kPassSleepMs);
    const uint32_t r = Wait(kDemux, tvk::INFINITE);
    if (r == kWaitQuit || r == tvk::WAIT_FAILED) break;
    if (r == kWaitReset) {
      m_nFeedTarget = FeedTarget::kProgrammeMapSearch;
      m_nPmtState = PmtState::kSearching;
      search->Reset();
      m_programMap.ResetSearch();
      held.clear();
      continue;
    }
    if (r != kWaitWake) continue;
    while (m_liveSource && !m_quitting[kDemux]) {
      const uint32_t w = Wait(kDemux, 10);
      if (w == kWaitQuit || w == kWaitReset) {
        // Seen here, acted on in the main wait.
        tvk::SetEvent(w == kWaitQuit ? m_handles[kDemux].quit : m_handles[kDemux].reset);
        break;
      }
      // Once handed over, blocks are the demultiplexer's: a wake left from before must not take one.
      if (m_nFeedTarget != FeedTarget::kProgrammeMapSearch) break;
      if (m_searchRestart.exchange(false)) {
        search->Reset();
        m_programMap.ResetSearch();
        held.clear();
      }
      auto chunk = TakeChunk();
      if (!chunk) break;
      bool searched = false;
      const bool found = search->PushBlock(chunk->data.data(), chunk->data.size(),
                                           m_nPmtState == PmtState::kSearching, &searched);
      if (searched) m_framingReset = true;
      held.push_back(std::move(chunk));
      if (held.size() > kSearchHeldBlocks) held.pop_front();
      if (found) {
        HandOver(held);
        m_nFeedTarget = FeedTarget::kDemux;
        m_nPmtState = PmtState::kFound;
        // Blocks already queued are the demultiplexer's now; it must not wait for the next one.
        Wake(kParse);
        break;
      }
      if (m_nFeedTarget != FeedTarget::kProgrammeMapSearch) break;
    }
  }
}

void CStreamEngine::HandOver(std::deque<std::unique_ptr<CTsChunk>>& held) {
  if (m_initialised) {
    std::lock_guard lock(m_chunkLock);
    // Older than every queued block: they go first.
    m_chunks.insert(m_chunks.begin(), std::make_move_iterator(held.begin()),
                    std::make_move_iterator(held.end()));
  }
  held.clear();
}

void CStreamEngine::ParseThread() {
  PacketQueueSink sink(*this);
  ITextDecoders* text = m_text.load();
  auto demux = std::make_unique<CTsDemux>(m_pids, m_programMap, sink, *text);
  text->Reset();
  for (;;) {
    tvk::SleepMs(kPassSleepMs);
    const uint32_t r = Wait(kParse, tvk::INFINITE);
    if (r == kWaitQuit || r == tvk::WAIT_FAILED) break;
    if (text != m_text.load()) {
      text = m_text.load();
      demux->SetTextDecoders(*text);
    }
    if (r == kWaitReset) {
      demux->Reset();
      m_programMap.ResetRecheck();
      text->Reset();
      continue;
    }
    if (r != kWaitWake) continue;
    // Blocks after a reset are the search's, however long this thread has been draining.
    while (!m_quitting[kParse] && m_nFeedTarget != FeedTarget::kProgrammeMapSearch) {
      auto chunk = TakeChunk();
      if (!chunk) break;
      demux->PushBlock(chunk->data.data(), chunk->data.size());
    }
  }
}

void CStreamEngine::DataPumpThread() {
  FramerOutput output(*this);
  auto framer = std::make_unique<CEsFramer>(output);
  // Set when a search resets the framer: the counts of frames written before the new stream's.
  std::optional<CEsFramer::Counters> newStream;
  for (;;) {
    tvk::SleepMs(kPassSleepMs);
    const uint32_t r = Wait(kDataPump, tvk::INFINITE);
    if (r == kWaitQuit || r == tvk::WAIT_FAILED) break;
    if (r != kWaitWake) continue;
    while (!m_quitting[kDataPump]) {
      auto packet = TakePacket();
      if (!packet) break;
      if (m_framingReset.exchange(false)) {
        framer->ResetState();
        newStream = framer->Stats();
      }
      if (packet->kind == 1)
        framer->FrameVideo(packet->data.data(), packet->data.size(), packet->stamp);
      else
        framer->FrameAudio(packet->data.data(), packet->data.size(), packet->stamp, packet->cut);
      // The start ends once the filter has both a picture and a sound frame to begin its clock with
      // (frames of the previous channel still queued at a reset do not count).
      if (newStream && framer->Stats().videoWritten != newStream->videoWritten &&
          framer->Stats().audioWritten != newStream->audioWritten) {
        m_starting = false;
        newStream.reset();
      }
    }
  }
}

}  // namespace tevalo::pipeline
