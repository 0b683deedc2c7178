#include "player/pipeline/graph/media_graph.h"
#include "test_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct RecordingOwner : IMediaGraphOwner {
  std::atomic<int> failed{0}, built{0}, events{0}, stops{0};
  void OnGraphBuildFailed() override { ++failed; }
  void OnGraphBuilt() override { ++built; }
  void PostGraphEvent() override { ++events; }
  void StopFilePlayback() override { ++stops; }
};

void WriteRegistry(const std::string& videoFactory) {
  const std::string dir = std::getenv("XDG_RUNTIME_DIR");
  const std::string path = dir + "/registry.ini";
  std::ofstream out(path, std::ios::trunc);
  out << "[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"" << videoFactory << "\"\n";
  out << "[HKEY_CLASSES_ROOT\\Media Type\\Extensions\\.rec]\n\"Source Filter\"=\"nosuchelement\"\n";
  ::setenv("TEVALO_REGISTRY", path.c_str(), 1);
}

template <typename F>
bool WaitFor(F done, int ms) {
  for (int i = 0; i < ms / 10; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// Holds the first picture it is given once armed (from the start unless told otherwise) until
// released, which keeps the graph's streaming thread waiting with it.
struct GatedOutput : CHeadlessVideoOutput {
  std::mutex lock;
  std::condition_variable changed;
  bool armed = true, entered = false, released = false;
  void OnPicture(const uint8_t* p, int w, int h, int stride, int64_t ns) override {
    {
      std::unique_lock g(lock);
      if (armed && !entered) {
        entered = true;
        changed.notify_all();
        changed.wait(g, [&] { return released; });
      }
    }
    CHeadlessVideoOutput::OnPicture(p, w, h, stride, ns);
  }
  void Arm(bool on) {
    std::lock_guard g(lock);
    armed = on;
  }
  bool WaitHeld() {
    std::unique_lock g(lock);
    return changed.wait_for(g, std::chrono::seconds(60), [&] { return entered; });
  }
  void Release() {
    std::lock_guard g(lock);
    released = true;
    changed.notify_all();
  }
};

struct MediaGraph : ::testing::Test {
  static void SetUpTestSuite() { RegisterTestSource(); }
  void SetUp() override { WriteRegistry("tevalotestsrc"); }
  RecordingOwner owner;
  CHeadlessVideoOutput video;
};

TEST_F(MediaGraph, FailedBuildsReleaseTheGraphAndTellTheOwnerOnce) {
  struct Case {
    const char16_t* url;
    const char* factory;
  } cases[] = {
      {u"x-unknown://ch1", "tevalotestsrc"},  // no registration
      {u"/tmp/a.rec", "tevalotestsrc"},       // registered element missing
      {u"x-dmb://refuse", "tevalotestsrc"},   // the source refuses the URL
      {u"x-dmb://ch1", "identity"},           // an element without source pads
  };
  for (const auto& c : cases) {
    WriteRegistry(c.factory);
    RecordingOwner o;
    CMediaGraph graph(&o, &video);
    EXPECT_LT(graph.BuildGraph(c.url), 0);
    EXPECT_EQ(o.failed, 1);
    EXPECT_EQ(o.built, 0);
    EXPECT_FALSE(graph.HasGraph());
    EXPECT_EQ(graph.GetFrameRate(), -1);
    EXPECT_EQ(graph.HandleGraphEvent(), E_ABORT);
    int d = 0;
    graph.GetDuration(&d);
    EXPECT_EQ(d, 1);
  }
}

TEST_F(MediaGraph, RunsRendersAndTearsDown) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  EXPECT_EQ(owner.built, 1);
  EXPECT_EQ(graph.SourceFactory(), "tevalotestsrc");
  EXPECT_EQ(graph.GetFrameRate(), 0) << "nothing rendered yet";
  // The rate is pictures per second x 100 since the run began: bracketed by the pictures and the
  // times this test sees around the run and the call, whatever the machine's pace.
  using Clock = std::chrono::steady_clock;
  const size_t before_run = video.Count();
  const auto t0 = Clock::now();
  ASSERT_EQ(graph.Run(), S_OK);
  const auto t0_after = Clock::now();
  const size_t after_run = video.Count();
  ASSERT_TRUE(WaitFor([&] { return video.Count() >= after_run + 20; }, 60000));
  const size_t c1 = video.Count() - 1;  // one may be shown and not yet counted
  const auto t1 = Clock::now();
  const int rate = graph.GetFrameRate();
  const auto t2 = Clock::now();
  const size_t c2 = video.Count();
  const auto per100s = [](size_t frames, Clock::duration d) {
    return double(frames) * 100e9 / double(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
  };
  EXPECT_GE(rate + 1, per100s(c1 - after_run, t2 - t0));
  EXPECT_LE(rate, per100s(c2 - before_run, t1 - t0_after));
  int w = 0, h = 0;
  EXPECT_EQ(graph.PrepareVideoWindow(&w, &h), S_OK);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 180);
  const auto picture = video.Last();
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.bgrx.size(), 320u * 180 * 4);
  int position = -1;
  EXPECT_EQ(graph.GetPosition(&position), 1);
  EXPECT_GE(position, 10);
  EXPECT_EQ(graph.SetVolume(-2000), S_OK);
  EXPECT_EQ(graph.SetVisible(true), S_OK);
  EXPECT_TRUE(video.Visible());
  EXPECT_EQ(graph.Pause(), S_OK);
  EXPECT_EQ(graph.TearDown(), S_OK);
  EXPECT_FALSE(graph.HasGraph());
  EXPECT_FALSE(video.Visible());
  EXPECT_EQ(graph.TearDown(), E_ABORT);
}

// A paused graph shows its first picture, as a video sink shows its preroll picture; running on does
// not show that picture a second time.
TEST_F(MediaGraph, APausedGraphShowsItsFirstPictureOnceAndRunsOnFromIt) {
  struct Stamps : CHeadlessVideoOutput {
    std::mutex lock;
    std::vector<int64_t> pts;
    void OnPicture(const uint8_t* p, int w, int h, int stride, int64_t ns) override {
      CHeadlessVideoOutput::OnPicture(p, w, h, stride, ns);
      std::lock_guard g(lock);
      pts.push_back(ns);
    }
  } stamps;
  CMediaGraph graph(&owner, &stamps);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Pause(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return stamps.Count() == 1; }, 60000));
  EXPECT_EQ(stamps.Last().ptsNs, 0);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return stamps.Count() >= 10; }, 60000));
  EXPECT_EQ(graph.TearDown(), S_OK);
  std::lock_guard g(stamps.lock);
  for (size_t i = 1; i < stamps.pts.size(); ++i) EXPECT_GT(stamps.pts[i], stamps.pts[i - 1]) << i;
}

// A pause asked for while the graph is still on its way to playing is refused and the graph plays
// on; once it plays, a pause holds the stream time and the same graph runs on from there.
TEST_F(MediaGraph, APauseDuringTheStartIsRefusedAndOneOnceSettledHolds) {
  // The first picture is held back, which keeps the pipeline's start pending.
  GatedOutput output;
  CMediaGraph graph(&owner, &output);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(output.WaitHeld());
  EXPECT_EQ(graph.Pause(), VFW_E_WRONG_STATE);
  output.Release();
  // It plays on.
  ASSERT_TRUE(WaitFor([&] { return output.Count() >= 10; }, 60000));

  ASSERT_TRUE(WaitFor([&] { return graph.Pause() == S_OK; }, 60000));
  int held = -1;
  ASSERT_TRUE(WaitFor([&] { return graph.GetPosition(&held) == 1; }, 60000));
  const uint64_t shown = output.Count();
  // Half a second of the clock, in which a running graph passes seven pictures; a slower machine
  // only lengthens it.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  int position = -1;
  EXPECT_EQ(graph.GetPosition(&position), 1);
  EXPECT_LE(std::abs(position - held), 1) << "held " << held << ", then " << position;
  EXPECT_LE(output.Count(), shown + 2) << "a picture in flight and the one that completes the pause";

  ASSERT_EQ(graph.Run(), S_OK);
  EXPECT_TRUE(WaitFor([&] { return graph.GetPosition(&position) == 1 && position >= held + 5; }, 60000));
  EXPECT_TRUE(WaitFor([&] { return output.Count() >= shown + 5; }, 60000));
}

// The stream watchdog rebuilds a running graph whose rate reads 0: a graph just resumed from a pause
// must not read so while its next picture is still on the way, or the timeshift it held is lost.
TEST_F(MediaGraph, AResumedGraphKeepsItsRateUntilItsNextPicture) {
  GatedOutput output;
  output.Arm(false);
  CMediaGraph graph(&owner, &output);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return output.Count() >= 10; }, 60000));
  ASSERT_TRUE(WaitFor([&] { return graph.Pause() == S_OK; }, 60000));
  EXPECT_GT(graph.GetFrameRate(), 0) << "paused, with what it showed before";
  output.Arm(true);  // the next picture, whether the pause's own or the run's first, waits
  ASSERT_EQ(graph.Run(), S_OK);
  EXPECT_GT(graph.GetFrameRate(), 0) << "resumed, no picture since";
  ASSERT_TRUE(output.WaitHeld());
  EXPECT_GT(graph.GetFrameRate(), 0) << "a picture held on its way";
  const uint64_t shown = output.Count();
  output.Release();
  EXPECT_TRUE(WaitFor([&] { return output.Count() >= shown + 5; }, 60000));
  EXPECT_GT(graph.GetFrameRate(), 0);
}

// A pause that comes right after a resume, while the video sink may still hold the picture it
// prerolled, either holds the picture or is refused with the graph playing on: never a graph that
// reads paused while its pictures go on.
TEST_F(MediaGraph, APauseRightAfterAResumeHoldsThePictureOrIsRefused) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return video.Count() >= 3; }, 60000));
  int refused = 0;
  for (int i = 0; i < 12; ++i) {
    // Paused and settled: a pause asked for again is accepted only then.
    ASSERT_TRUE(WaitFor([&] { return graph.Pause() == S_OK && graph.Pause() == S_OK; }, 60000)) << i;
    ASSERT_EQ(graph.Run(), S_OK);
    if (graph.Pause() != S_OK) {
      ++refused;
      const uint64_t seen = video.Count();
      EXPECT_TRUE(WaitFor([&] { return video.Count() >= seen + 3; }, 60000)) << i << ": refused, yet still";
      continue;
    }
    ASSERT_TRUE(WaitFor([&] { return graph.Pause() == S_OK; }, 60000)) << i;
    const uint64_t shown = video.Count();
    // A running graph shows seven pictures in this time; a slower machine only lengthens it.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(video.Count(), shown + 1) << i << ": pictures went on under the pause";
    ASSERT_EQ(graph.Run(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return video.Count() >= shown + 3; }, 60000)) << i;
  }
  RecordProperty("refused", refused);
}

int OpenFds() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Every graph that ran is released with its bus and elements: repeated builds leave nothing open.
TEST_F(MediaGraph, RepeatedRunsReleaseTheirPipelines) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return video.Count() >= 2; }, 60000));
  graph.TearDown();
  const int fds = OpenFds();
  for (int i = 0; i < 8; ++i) {
    const uint64_t seen = video.Count();
    ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return video.Count() >= seen + 2; }, 60000));
    graph.TearDown();
  }
  EXPECT_LE(OpenFds(), fds + 1);
}

TEST_F(MediaGraph, SeeksInTenthsOfASecond) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return video.Count() >= 3; }, 60000));
  ASSERT_EQ(graph.SetPosition(600), S_OK);
  int position = 0;
  ASSERT_TRUE(WaitFor([&] { return graph.GetPosition(&position) == 1 && position >= 600; }, 60000));
  EXPECT_LT(position, 620);
  EXPECT_TRUE(WaitFor([&] { return video.Last().ptsNs >= 60'000'000'000; }, 60000));
}

TEST_F(MediaGraph, EndOfStreamReachesTheOwnerThroughTheEventPump) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://short"), S_OK);
  ASSERT_EQ(graph.Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return owner.events > 0; }, 60000));
  EXPECT_EQ(graph.HandleGraphEvent(), S_OK);
  EXPECT_EQ(owner.stops, 1);
  EXPECT_EQ(graph.HandleGraphEvent(), S_OK) << "nothing left";
  EXPECT_EQ(owner.stops, 1);
}

TEST_F(MediaGraph, RebuildReplacesTheGraphAndOpenKeepsIt) {
  CMediaGraph graph(&owner, &video);
  ASSERT_EQ(graph.Open(u"x-dmb://ch1"), S_OK);
  EXPECT_EQ(graph.Open(u"x-dmb://ch2"), S_OK);
  EXPECT_EQ(owner.built, 1) << "Open keeps an existing graph";
  ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch2"), S_OK);
  EXPECT_EQ(owner.built, 2);
  ASSERT_EQ(graph.Run(), S_OK);
  EXPECT_TRUE(WaitFor([&] { return video.Count() >= 3; }, 60000));
  // The destructor tears a running graph down.
}

TEST_F(MediaGraph, BuildOnOneThreadWhileAnotherPolls) {
  CMediaGraph graph(&owner, &video);
  std::atomic<bool> done{false};
  std::thread poller([&] {
    while (!done) {
      graph.GetFrameRate();
      int p;
      graph.GetPosition(&p);
      graph.HasGraph();
    }
  });
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(graph.BuildGraph(u"x-dmb://ch1"), S_OK);
    graph.Run();
    graph.TearDown();
  }
  done = true;
  poller.join();
}

}  // namespace
