// A channel search: which scan the tuner runs for each kind, and the thread it runs on.
//
// The scan calls block for seconds, so a search runs on a thread of its own that the owner starts,
// stops and joins. What the search changes in the player (the stored channel, the area choice, the
// lock marks, the message that ends the search) it does through the hooks, on the search thread; the
// done hook only posts, it never waits for the GUI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "player/channels/channel_list.h"

class CTDMBDll;

namespace tevalo::channels {

enum class SearchKind : int { All = 0, Area = 1, Single = 2, StoredList = 3 };

struct SearchRequest {
  SearchKind kind = SearchKind::Area;
  int area = 7;
  int channel = 0;  // the single search's channel index
  // The first start asked for the area: the search forgets the stored channel.
  bool areaChosen = false;
  SearchList list;  // the stored-list search's channels (a copy: the scan owns it)
  // A stored list at start-up: the tuner takes each channel's state from these flags instead of
  // searching it; none when the list is searched for real.
  std::optional<ChannelFlags> storedFlags;
};

// The tuner's scans, so that tests can stand in for the stick.
class IChannelScanner {
 public:
  virtual ~IChannelScanner() = default;
  virtual int ScanAllChannel(int area) = 0;
  virtual int ScanAreaChannel(int area) = 0;
  virtual int ScanSingleChannel(int channel) = 0;
  virtual int ScanArbitraryChannel(const int* indices, const char16_t* const* names, int count,
                                   const int* statuses) = 0;
  // Ends a running scan at its next poll (any thread).
  virtual void RequestStop() = 0;
};

class CTunerScanner final : public IChannelScanner {
 public:
  explicit CTunerScanner(CTDMBDll& tuner) : m_tuner(tuner) {}
  int ScanAllChannel(int area) override;
  int ScanAreaChannel(int area) override;
  int ScanSingleChannel(int channel) override;
  int ScanArbitraryChannel(const int* indices, const char16_t* const* names, int count,
                           const int* statuses) override;
  void RequestStop() override;

 private:
  CTDMBDll& m_tuner;
};

// The request of a search: a stored-list search passes the list's flags, so that the tuner takes the
// states from them, unless the user has just chosen the area (the list is then searched for real).
SearchRequest MakeSearchRequest(SearchKind kind, int area, int channel, bool areaChosen, SearchList list,
                                const ChannelFlags& flags);

// Runs the scan the request asks for; the tuner's result (1 done, 0 refused or no such kind).
int RunScan(IChannelScanner& scanner, const SearchRequest& request);

class CChannelSearch {
 public:
  struct Hooks {
    // After the scan of a first start: store "No-Channel", clear the area choice.
    std::function<void()> forgetStoredChannel;
    // After a scan that took the states from the stored flags: apply the stored lock marks.
    std::function<void()> applyLockMarks;
    // Last: tell the owner the search ended (posts; never waits).
    std::function<void()> done;
  };

  CChannelSearch(IChannelScanner& scanner, Hooks hooks);
  ~CChannelSearch();
  CChannelSearch(const CChannelSearch&) = delete;
  CChannelSearch& operator=(const CChannelSearch&) = delete;

  // Starts the thread; false (and nothing changes) while a search runs or after Stop.
  bool Start(SearchRequest request);
  // From Start until the thread has run its done hook.
  bool Running() const { return m_running; }
  // Joins a thread that has run its done hook (the owner calls it when it handles the end; the
  // thread then only marks itself ended, so the join is short).
  void Reap();
  // Closing: ends the scan at its next poll (also one that has not begun yet), joins the thread and
  // refuses further searches. The done hook still runs. Idempotent.
  void Stop();
  // The last request's kind, for the end's handling.
  SearchKind LastKind() const { return m_lastKind; }

 private:
  void Run(SearchRequest request);

  IChannelScanner& m_scanner;
  Hooks m_hooks;
  std::thread m_thread;
  std::atomic<bool> m_running{false};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_doneHookRun{false};
  std::atomic<SearchKind> m_lastKind{SearchKind::Area};
  std::mutex m_lock;
  std::condition_variable m_ended;
};

}  // namespace tevalo::channels
