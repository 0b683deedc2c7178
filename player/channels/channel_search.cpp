#include "player/channels/channel_search.h"

#include <algorithm>
#include <chrono>

#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::channels {

int CTunerScanner::ScanAllChannel(int area) { return m_tuner.ScanAllChannel(area); }
int CTunerScanner::ScanAreaChannel(int area) { return m_tuner.ScanAreaChannel(area); }
int CTunerScanner::ScanSingleChannel(int channel) { return m_tuner.ScanSingleChannel(channel); }
int CTunerScanner::ScanArbitraryChannel(const int* indices, const char16_t* const* names, int count,
                                        const int* statuses) {
  return m_tuner.ScanArbitraryChannel(indices, names, count, statuses);
}
void CTunerScanner::RequestStop() { m_tuner.m_bScanStop = 1; }

SearchRequest MakeSearchRequest(SearchKind kind, int area, int channel, bool areaChosen, SearchList list,
                                const ChannelFlags& flags) {
  SearchRequest r;
  r.kind = kind;
  r.area = area;
  r.channel = channel;
  r.areaChosen = areaChosen;
  if (kind == SearchKind::StoredList) {
    r.list = std::move(list);
    if (!areaChosen) r.storedFlags = flags;
  }
  return r;
}

int RunScan(IChannelScanner& scanner, const SearchRequest& r) {
  switch (r.kind) {
    case SearchKind::All:
      return scanner.ScanAllChannel(r.area);
    case SearchKind::Area:
      return scanner.ScanAreaChannel(r.area);
    case SearchKind::Single:
      return scanner.ScanSingleChannel(r.channel);
    case SearchKind::StoredList: {
      std::vector<const char16_t*> names;
      names.reserve(r.list.names.size());
      for (const auto& n : r.list.names) names.push_back(n.c_str());
      const int count = std::min(r.list.Count(), static_cast<int>(names.size()));
      const std::vector<int32_t> statuses =
          r.storedFlags ? StatusesOf(r.list, *r.storedFlags) : std::vector<int32_t>{};
      // Given flags go as a pointer even for an empty list: null would mean "search them".
      const int32_t noStatus = 0;
      const int* passed = !r.storedFlags ? nullptr : statuses.empty() ? &noStatus : statuses.data();
      return scanner.ScanArbitraryChannel(r.list.indices.data(), names.data(), count, passed);
    }
  }
  return 0;
}

CChannelSearch::CChannelSearch(IChannelScanner& scanner, Hooks hooks)
    : m_scanner(scanner), m_hooks(std::move(hooks)) {}

CChannelSearch::~CChannelSearch() { Stop(); }

bool CChannelSearch::Start(SearchRequest request) {
  if (m_running || m_stop) return false;
  Reap();
  m_doneHookRun = false;
  m_lastKind = request.kind;
  m_running = true;
  m_thread = std::thread([this, r = std::move(request)]() mutable { Run(std::move(r)); });
  return true;
}

void CChannelSearch::Reap() {
  if ((!m_running || m_doneHookRun) && m_thread.joinable()) m_thread.join();
}

void CChannelSearch::Stop() {
  m_stop = true;
  {
    // A scan that begins after the first request clears the tuner's stop word, so it is asked again
    // until the thread has ended; each scan looks at the word at every poll.
    std::unique_lock lock(m_lock);
    while (m_running) {
      m_scanner.RequestStop();
      m_ended.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
  if (m_thread.joinable()) m_thread.join();
}

void CChannelSearch::Run(SearchRequest request) {
  if (!m_stop) RunScan(m_scanner, request);
  if (request.kind == SearchKind::StoredList && request.storedFlags && m_hooks.applyLockMarks)
    m_hooks.applyLockMarks();
  if (request.areaChosen && m_hooks.forgetStoredChannel) m_hooks.forgetStoredChannel();
  m_doneHookRun = true;
  if (m_hooks.done) m_hooks.done();
  std::lock_guard lock(m_lock);
  m_running = false;
  m_ended.notify_all();
}

}  // namespace tevalo::channels
