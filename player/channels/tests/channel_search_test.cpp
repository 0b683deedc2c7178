#include "player/channels/channel_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace tevalo::channels {
namespace {

using namespace std::chrono_literals;

// Records what the search asked for. A scan can be held until the test lets it go, and polls the stop
// word as the tuner does (which a scan clears when it begins).
class FakeScanner : public IChannelScanner {
 public:
  int ScanAllChannel(int area) override { return Scan("all " + std::to_string(area)); }
  int ScanAreaChannel(int area) override { return Scan("area " + std::to_string(area)); }
  int ScanSingleChannel(int channel) override { return Scan("single " + std::to_string(channel)); }
  int ScanArbitraryChannel(const int* indices, const char16_t* const* names, int count,
                           const int* statuses) override {
    std::string call = "list";
    for (int j = 0; j < count; ++j) {
      call += " " + std::to_string(indices[j]) + ":" + std::string(names[j], names[j] + 1);
      if (statuses) call += "=" + std::to_string(statuses[j]);
    }
    if (!statuses) call += " search";
    return Scan(call);
  }
  void RequestStop() override {
    stopWord = 1;
    stopRequests++;
    std::lock_guard lock(m);
    if (holdUntilStop) released = true;
  }

  int Scan(const std::string& call) {
    {
      std::lock_guard lock(m);
      calls.push_back(call);
    }
    scansBegun++;
    if (holdUntilStop) {
      WaitFor([this] {
        std::lock_guard lock(m);
        return released;
      });
      stopWord = 0;  // the tuner clears the word as its scan begins
      WaitFor([this] { return stopWord != 0; });
      stoppedByWord = true;
    }
    return 1;
  }
  static void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 60000 && !done(); ++i) std::this_thread::sleep_for(1ms);
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(m);
    return calls;
  }

  std::mutex m;
  std::vector<std::string> calls;
  bool holdUntilStop = false;
  bool released = false;
  std::atomic<int> stopWord{0};
  std::atomic<int> stopRequests{0};
  std::atomic<int> scansBegun{0};
  std::atomic<bool> stoppedByWord{false};
};

TEST(ChannelSearch, TheScanOfEachKind) {
  ChannelFlags flags{};
  flags[14] = 1;
  flags[20] = 2;
  const SearchList list{{20, 14, 7}, {u"A", u"B", u"C"}};
  struct Case {
    SearchRequest request;
    std::string call;
  } cases[] = {
      {MakeSearchRequest(SearchKind::All, 7, 0, false, list, flags), "all 7"},
      {MakeSearchRequest(SearchKind::Area, 12, 0, true, list, flags), "area 12"},
      {MakeSearchRequest(SearchKind::Single, 7, 14, false, list, flags), "single 14"},
      // A stored list at start-up: the states come from the flags, by list position.
      {MakeSearchRequest(SearchKind::StoredList, 7, 0, false, list, flags), "list 20:A=2 14:B=1 7:C=0"},
      // After the user chose the area the list is searched.
      {MakeSearchRequest(SearchKind::StoredList, 7, 0, true, list, flags), "list 20:A 14:B 7:C search"},
      {MakeSearchRequest(SearchKind::StoredList, 7, 0, false, SearchList{}, flags), "list"},
  };
  for (const auto& c : cases) {
    FakeScanner scanner;
    EXPECT_EQ(RunScan(scanner, c.request), 1);
    EXPECT_EQ(scanner.Calls(), std::vector<std::string>{c.call});
  }
  EXPECT_TRUE(MakeSearchRequest(SearchKind::All, 7, 0, false, list, flags).list.indices.empty());
  FakeScanner scanner;
  SearchRequest bad;
  bad.kind = static_cast<SearchKind>(9);
  EXPECT_EQ(RunScan(scanner, bad), 0);
  EXPECT_TRUE(scanner.Calls().empty());
}

struct Recorder {
  std::mutex m;
  std::vector<std::string> steps;
  std::atomic<int> done{0};
  void Add(const std::string& s) {
    std::lock_guard lock(m);
    steps.push_back(s);
  }
  CChannelSearch::Hooks Hooks() {
    return {[this] { Add("forget"); }, [this] { Add("locks"); },
            [this] {
              Add("done");
              done++;
            }};
  }
};

TEST(ChannelSearch, TheEndOfASearchRunsTheHooksInOrderAndThenAllowsTheNext) {
  FakeScanner scanner;
  Recorder rec;
  CChannelSearch search(scanner, rec.Hooks());
  ChannelFlags flags{};
  const SearchList list{{14}, {u"B"}};
  ASSERT_TRUE(search.Start(MakeSearchRequest(SearchKind::StoredList, 7, 0, false, list, flags)));
  FakeScanner::WaitFor([&] { return !search.Running(); });
  ASSERT_FALSE(search.Running());
  EXPECT_EQ(rec.steps, (std::vector<std::string>{"locks", "done"}));

  ASSERT_TRUE(search.Start(MakeSearchRequest(SearchKind::Area, 7, 0, true, list, flags)));
  FakeScanner::WaitFor([&] { return !search.Running(); });
  search.Reap();
  EXPECT_EQ(rec.steps, (std::vector<std::string>{"locks", "done", "forget", "done"}));
  EXPECT_EQ(search.LastKind(), SearchKind::Area);
  EXPECT_EQ(scanner.Calls(), (std::vector<std::string>{"list 14:B=0", "area 7"}));
}

TEST(ChannelSearch, ASecondRequestDuringASearchChangesNothing) {
  FakeScanner scanner;
  scanner.holdUntilStop = true;
  Recorder rec;
  CChannelSearch search(scanner, rec.Hooks());
  ASSERT_TRUE(search.Start(MakeSearchRequest(SearchKind::Area, 7, 0, false, {}, {})));
  EXPECT_TRUE(search.Running());
  EXPECT_FALSE(search.Start(MakeSearchRequest(SearchKind::All, 3, 0, false, {}, {})));
  EXPECT_EQ(search.LastKind(), SearchKind::Area);
  FakeScanner::WaitFor([&] { return scanner.scansBegun == 1; });
  search.Stop();
  EXPECT_EQ(scanner.Calls(), std::vector<std::string>{"area 7"}) << "one thread, one scan";
  EXPECT_EQ(rec.done, 1);
  EXPECT_FALSE(search.Start(MakeSearchRequest(SearchKind::Area, 7, 0, false, {}, {}))) << "closed";
}

TEST(ChannelSearch, ClosingEndsAScanThatBeginsAfterTheStopWasAsked) {
  // The scan is held before it clears the stop word, as if the stop came just before the scan began;
  // the stop is asked again until the scan has seen it.
  FakeScanner scanner;
  scanner.holdUntilStop = true;
  Recorder rec;
  CChannelSearch search(scanner, rec.Hooks());
  ASSERT_TRUE(search.Start(MakeSearchRequest(SearchKind::All, 7, 0, false, {}, {})));
  FakeScanner::WaitFor([&] { return scanner.scansBegun == 1; });
  search.Stop();
  EXPECT_FALSE(search.Running());
  EXPECT_TRUE(scanner.stoppedByWord);
  EXPECT_GE(scanner.stopRequests, 1);
  EXPECT_EQ(rec.done, 1) << "the end is still reported";
}

TEST(ChannelSearch, AfterClosingNoSearchStarts) {
  FakeScanner scanner;
  Recorder rec;
  CChannelSearch search(scanner, rec.Hooks());
  search.Stop();
  EXPECT_FALSE(search.Start(MakeSearchRequest(SearchKind::All, 7, 0, false, {}, {})));
  EXPECT_TRUE(scanner.Calls().empty());
  EXPECT_EQ(rec.done, 0);
}

}  // namespace
}  // namespace tevalo::channels
