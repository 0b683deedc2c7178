#include "tuner/device/device_watcher.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tuner/device/device_paths.h"
#include "tuner/device/testing/fake_stick.h"

using testing_support::FakeStick;
using Change = CTunerDeviceWatcher::Change;

namespace {

class Recorder {
 public:
  void operator()(Change change, const std::string& path) {
    std::lock_guard lock(m_lock);
    m_events.emplace_back(change, path);
    m_changed.notify_all();
  }
  // Waits for the n-th event (counting from 1) and returns it.
  std::pair<Change, std::string> Nth(std::size_t n, int timeoutMs = 60000) {
    std::unique_lock lock(m_lock);
    bool ok =
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= n; });
    if (!ok) return {Change::Removed, "<none>"};
    return m_events[n - 1];
  }
  std::size_t Count() {
    std::lock_guard lock(m_lock);
    return m_events.size();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::pair<Change, std::string>> m_events;
};

std::string TestRoot() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return std::string(runtime ? runtime : "/tmp") + "/watch-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

}  // namespace

TEST(DeviceWatcher, ReportsArrivalAndRemovalWhenRootAppearsLater) {
  std::string root = TestRoot();
  std::filesystem::remove_all(root);
  // Neither the root nor its parent exists yet.
  std::string classFolder = root + "/not/yet/" + quonda::kInterfaceClass;
  Recorder rec;
  CTunerDeviceWatcher watcher([&](Change c, const std::string& p) { rec(c, p); }, classFolder);
  ASSERT_TRUE(watcher.Start());

  auto stick = std::make_unique<FakeStick>(classFolder, "stickA");
  auto first = rec.Nth(1);
  EXPECT_EQ(first.first, Change::Arrived);
  EXPECT_EQ(first.second, classFolder + "/stickA");

  stick->Remove();
  auto second = rec.Nth(2);
  EXPECT_EQ(second.first, Change::Removed);
  EXPECT_EQ(second.second, classFolder + "/stickA");

  stick->Insert();
  EXPECT_EQ(rec.Nth(3).first, Change::Arrived);

  // The whole root goes and comes back: the watcher follows.
  stick->Remove();
  EXPECT_EQ(rec.Nth(4).first, Change::Removed);
  std::filesystem::remove_all(root);
  stick->Insert();  // at once: the watcher may be re-arming on the way
  EXPECT_EQ(rec.Nth(5).first, Change::Arrived);
  stick.reset();
  EXPECT_EQ(rec.Nth(6).first, Change::Removed);
  watcher.Stop();
  std::filesystem::remove_all(root);
}

TEST(DeviceWatcher, PresentSticksAreTheStartAndEachStickIsItsOwn) {
  std::string root = TestRoot();
  std::filesystem::remove_all(root);
  std::string classFolder = root + "/" + quonda::kInterfaceClass;
  FakeStick a(classFolder, "a");
  Recorder rec;
  CTunerDeviceWatcher watcher([&](Change c, const std::string& p) { rec(c, p); }, classFolder);
  ASSERT_TRUE(watcher.Start());

  // A folder without pipes is not a stick.
  std::filesystem::create_directories(classFolder + "/junk");
  {
    FakeStick b(classFolder, "b");
    auto arrived = rec.Nth(1);
    EXPECT_EQ(arrived.first, Change::Arrived);
    EXPECT_EQ(arrived.second, classFolder + "/b");
  }
  auto removed = rec.Nth(2);
  EXPECT_EQ(removed.first, Change::Removed);
  EXPECT_EQ(removed.second, classFolder + "/b");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(rec.Count(), 2u);  // "a" was there from the start; "junk" never counts
  watcher.Stop();
  std::filesystem::remove_all(root);
}
