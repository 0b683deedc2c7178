// In-process behaviour of the kernel objects: events, mutexes, semaphores, waits, tick, names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/kernel/parked.h"

using namespace tvk;
using tevalo_test::CurrentTid;
using tevalo_test::ParkedInWait;
using tevalo_test::WaitParked;
using tevalo_test::WaitUntil;

namespace {

uint32_t ElapsedSince(uint32_t startTick) { return GetTickCount32() - startTick; }

// Named objects are shared ones; run every object test on both kinds.
class AnyObject : public ::testing::TestWithParam<bool> {
 protected:
  std::string Name(const char* base) {
    return GetParam()
               ? std::string(base) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name()
               : std::string();
  }
};

TEST_P(AnyObject, AutoResetEventReleasesOneWaiterPerSet) {
  Handle ev = CreateEvent(false, false, Name("ev"));
  ASSERT_TRUE(ev);
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  std::vector<std::atomic<pid_t>> tids(3);
  for (int i = 0; i < 3; ++i)
    threads.emplace_back([&, i] {
      tids[size_t(i)] = CurrentTid();
      if (WaitForSingleObject(ev, INFINITE) == WAIT_OBJECT_0) ++released;
      tids[size_t(i)] = 0;
    });
  ASSERT_TRUE(WaitUntil([&] { return tids[0] && tids[1] && tids[2]; }));
  ASSERT_TRUE(WaitParked(tids[0].load(), tids[1].load(), tids[2].load()));
  for (int set = 1; set <= 3; ++set) {
    ASSERT_TRUE(SetEvent(ev));
    ASSERT_TRUE(WaitUntil([&] { return released.load() >= set; }));
    // The others are back asleep: had a second one slipped through, it would have counted first.
    ASSERT_TRUE(WaitUntil([&] {
      for (auto& t : tids)
        if (const pid_t tid = t.load(); tid && !ParkedInWait(tid)) return false;
      return true;
    }));
    EXPECT_EQ(released.load(), set);
  }
  for (auto& t : threads) t.join();
  // Set is idempotent: two sets with nobody waiting release one wait only.
  SetEvent(ev);
  SetEvent(ev);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
}

TEST_P(AnyObject, ManualResetEventStaysSetUntilReset) {
  Handle ev = CreateEvent(true, true, Name("ev"));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  ResetEvent(ev);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
}

TEST_P(AnyObject, PulseReleasesCurrentWaitersAndLeavesTheEventClear) {
  for (bool manual : {true, false}) {
    SCOPED_TRACE(manual ? "manual reset" : "auto reset");
    Handle ev = CreateEvent(manual, false, Name(manual ? "manual" : "auto"));
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    std::atomic<pid_t> tids[2] = {0, 0};
    for (int i = 0; i < 2; ++i)
      threads.emplace_back([&, i] {
        tids[i] = CurrentTid();
        if (WaitForSingleObject(ev, 1500) == WAIT_OBJECT_0) ++released;
      });
    ASSERT_TRUE(WaitUntil([&] { return tids[0] && tids[1]; }));
    ASSERT_TRUE(WaitParked(tids[0].load(), tids[1].load()));
    PulseEvent(ev);
    for (auto& t : threads) t.join();
    EXPECT_EQ(released.load(), manual ? 2 : 1);
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
    // A pulse with nobody waiting does nothing.
    PulseEvent(ev);
    EXPECT_EQ(WaitForSingleObject(ev, 50), WAIT_TIMEOUT);
  }
}

TEST_P(AnyObject, TimeoutsAreHeld) {
  Handle ev = CreateEvent(false, false, Name("ev"));
  for (uint32_t ms : {0u, 30u, 250u}) {
    const uint32_t start = GetTickCount32();
    EXPECT_EQ(WaitForSingleObject(ev, ms), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedSince(start), ms);  // never early
  }
}

TEST_P(AnyObject, MutexIsOwnedAndRecursive) {
  Handle mx = CreateMutex(true, Name("mx"));
  ASSERT_TRUE(mx);
  EXPECT_EQ(WaitForSingleObject(mx, 0), WAIT_OBJECT_0);  // recursion 2
  std::thread other([&] {
    EXPECT_EQ(WaitForSingleObject(mx, 50), WAIT_TIMEOUT);
    // A release by a thread that does not hold it does nothing and says so.
    EXPECT_FALSE(ReleaseMutex(mx));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  });
  other.join();
  EXPECT_TRUE(ReleaseMutex(mx));
  std::thread stillHeld([&] { EXPECT_EQ(WaitForSingleObject(mx, 50), WAIT_TIMEOUT); });
  stillHeld.join();
  EXPECT_TRUE(ReleaseMutex(mx));
  EXPECT_FALSE(ReleaseMutex(mx));
  std::thread nowFree([&] {
    EXPECT_EQ(WaitForSingleObject(mx, 50), WAIT_OBJECT_0);
    ReleaseMutex(mx);
  });
  nowFree.join();
}

TEST_P(AnyObject, MutexOfAnExitedThreadIsAbandonedThenOwned) {
  Handle mx = CreateMutex(false, Name("mx"));
  std::thread holder([&] { EXPECT_EQ(WaitForSingleObject(mx, 0), WAIT_OBJECT_0); });
  holder.join();
  EXPECT_EQ(WaitForSingleObject(mx, INFINITE), WAIT_ABANDONED_0);
  EXPECT_TRUE(ReleaseMutex(mx));
  EXPECT_EQ(WaitForSingleObject(mx, 0), WAIT_OBJECT_0);  // only the first acquirer is told
  ReleaseMutex(mx);
}

TEST_P(AnyObject, WaiterOnAMutexNoticesItsHolderDying) {
  Handle mx = CreateMutex(false, Name("mx"));
  Handle go = CreateEvent(false, false);
  Handle taken = CreateEvent(true, false);
  std::thread holder([&] {
    EXPECT_EQ(WaitForSingleObject(mx, 0), WAIT_OBJECT_0);
    SetEvent(taken);
    WaitForSingleObject(go, INFINITE);
  });
  ASSERT_EQ(WaitForSingleObject(taken, INFINITE), WAIT_OBJECT_0);
  std::atomic<pid_t> waiting{0};
  std::thread waiter([&] {
    waiting = CurrentTid();
    EXPECT_EQ(WaitForSingleObject(mx, INFINITE), WAIT_ABANDONED_0);
    ReleaseMutex(mx);
  });
  ASSERT_TRUE(WaitUntil([&] { return waiting.load() != 0; }));
  ASSERT_TRUE(WaitParked(waiting.load()));
  SetEvent(go);
  holder.join();
  waiter.join();
}

TEST_P(AnyObject, SemaphoreCountsUpToItsMaximum) {
  Handle sem = CreateSemaphore(1, 2, Name("sem"));
  ASSERT_TRUE(sem);
  int32_t previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(sem, 1, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(ReleaseSemaphore(sem, 1, &previous));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseSemaphore(sem, 3));  // more than the room left is refused whole
  EXPECT_TRUE(ReleaseSemaphore(sem, 2, &previous));
  EXPECT_EQ(previous, 0);
}

TEST_P(AnyObject, WaitAnyTakesTheLowestSignalledAndWaitAllTakesAllOrNone) {
  Handle ev = CreateEvent(false, false, Name("ev"));
  Handle sem = CreateSemaphore(0, 5, Name("sem"));
  Handle both[] = {ev, sem};
  EXPECT_EQ(WaitForMultipleObjects(both, false, 20), WAIT_TIMEOUT);
  ReleaseSemaphore(sem, 1);
  EXPECT_EQ(WaitForMultipleObjects(both, false, 0), WAIT_OBJECT_0 + 1);
  ReleaseSemaphore(sem, 1);
  SetEvent(ev);
  EXPECT_EQ(WaitForMultipleObjects(both, false, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(both, false, 0), WAIT_OBJECT_0 + 1);

  // wait-all: the event alone is not enough and is not consumed.
  SetEvent(ev);
  EXPECT_EQ(WaitForMultipleObjects(both, true, 30), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  SetEvent(ev);
  const pid_t self = CurrentTid();
  std::thread late([&] {
    EXPECT_TRUE(WaitParked(self));
    ReleaseSemaphore(sem, 1);
  });
  EXPECT_EQ(WaitForMultipleObjects(both, true, INFINITE), WAIT_OBJECT_0);
  late.join();
  EXPECT_EQ(WaitForMultipleObjects(both, false, 0), WAIT_TIMEOUT);
}

TEST_P(AnyObject, AWaitOnSeveralObjectsWakesForAnyOfThem) {
  Handle ev = CreateEvent(false, false, Name("ev"));
  Handle sem = CreateSemaphore(0, 1, Name("sem"));
  Handle local = CreateEvent(false, false);  // a mix of shared and in-process objects
  Handle all[] = {ev, sem, local};
  const pid_t self = CurrentTid();
  for (int which = 0; which < 3; ++which) {
    std::thread signaller([&] {
      EXPECT_TRUE(WaitParked(self));
      if (which == 0) SetEvent(ev);
      if (which == 1) ReleaseSemaphore(sem, 1);
      if (which == 2) SetEvent(local);
    });
    EXPECT_EQ(WaitForMultipleObjects(all, false, INFINITE), WAIT_OBJECT_0 + which);
    signaller.join();
  }
}

INSTANTIATE_TEST_SUITE_P(Kernel, AnyObject, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Shared" : "InProcess"; });

TEST(KernelWait, BadArgumentsFail) {
  Handle none;
  EXPECT_EQ(WaitForSingleObject(none, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  Handle map = CreateFileMapping(16);
  EXPECT_EQ(WaitForSingleObject(map, 0), WAIT_FAILED);
  std::vector<Handle> many(MAXIMUM_WAIT_OBJECTS + 1, CreateEvent(true, true));
  EXPECT_EQ(WaitForMultipleObjects(many, false, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetEvent(CreateMutex(false)));
  EXPECT_FALSE(CreateSemaphore(3, 2));
}

TEST(KernelTick, WrapsAroundLikeA32BitCounter) {
  // Set 50 ms before the wrap (again if this thread was held up past it).
  const uint32_t old = SetTickCountOffset(0);
  std::chrono::steady_clock::time_point t0;
  uint32_t start;
  do {
    SetTickCountOffset(0);
    SetTickCountOffset(0u - GetTickCount32() - 50);
    t0 = std::chrono::steady_clock::now();
    start = GetTickCount32();
  } while (start < 0x80000000u);
  ASSERT_TRUE(WaitUntil([&] { return GetTickCount32() < start; }));
  const uint32_t end = GetTickCount32();
  const auto elapsed = std::chrono::steady_clock::now() - t0;
  // Differences stay right across the wrap: no more than the time between the two reads.
  EXPECT_LE(end - start,
            uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) + 1);
  SetTickCountOffset(old);
}

TEST(KernelNames, SystemNamesAreDeterministicReadableAndSafe) {
  const std::string a = SystemObjectName("FILEMAP_{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}");
  EXPECT_EQ(a, SystemObjectName("FILEMAP_{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}"));
  EXPECT_NE(a.find("FILEMAP_{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}"), std::string::npos);
  EXPECT_NE(a.find(std::getenv("TEVALO_NAMESPACE")), std::string::npos);
  EXPECT_NE(SystemObjectName("Name"), SystemObjectName("name"));
  EXPECT_NE(SystemObjectName("a/b"), SystemObjectName("a%2Fb"));
  for (const std::string& n : {std::string("a/b\\c\n"), std::string(600, 'x'), std::string(600, '/')}) {
    const std::string s = SystemObjectName(n);
    EXPECT_EQ(s.find('/'), std::string::npos);
    EXPECT_LE(s.size(), 200u);
  }
  EXPECT_NE(SystemObjectName(std::string(600, 'x')), SystemObjectName(std::string(601, 'x')));

  // Another runtime folder (another session, another build) is another set of objects.
  const std::string saved = std::getenv("XDG_RUNTIME_DIR");
  setenv("XDG_RUNTIME_DIR", (saved + "/other").c_str(), 1);
  const std::string elsewhere = SystemObjectName("FILEMAP_{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}");
  setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  EXPECT_NE(a, elsewhere);
}

TEST(KernelRuntimeDir, FallsBackToAPrivateFolderUnderTmp) {
  const std::string saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string tmp = saved + "/tmp";
  mkdir(tmp.c_str(), 0755);
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", tmp.c_str(), 1);
  const std::string dir = RuntimeDir();
  setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  unsetenv("TMPDIR");
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.rfind(tmp, 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(KernelInstanceLock, OneHolderAtATime) {
  SingleInstanceLock first("Tevalo-instance");
  EXPECT_TRUE(first.Acquired());
  SingleInstanceLock second("Tevalo-instance");
  EXPECT_FALSE(second.Acquired());
  EXPECT_EQ(second.LastError(), ERROR_ALREADY_EXISTS);
  first.Release();
  SingleInstanceLock third("Tevalo-instance");
  EXPECT_TRUE(third.Acquired());
}

}  // namespace
