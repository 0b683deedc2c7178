#include "filter/source/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using halvik::WorkerThread;

namespace {

TEST(WorkerThread, RequestsAreAnsweredInTurn) {
  WorkerThread w;
  std::atomic<int> handled{0};
  ASSERT_TRUE(w.Create([&] {
    for (;;) {
      if (auto r = w.CheckRequest()) {
        w.Reply(*r * 10);
        ++handled;
        if (*r == 3) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }));
  EXPECT_FALSE(w.Create([] {}));  // one thread at a time
  EXPECT_EQ(w.CallWorker(1), 10u);
  EXPECT_EQ(w.CallWorker(2), 20u);
  EXPECT_EQ(w.CallWorker(3), 30u);
  w.Close();
  EXPECT_EQ(handled, 3);
  EXPECT_FALSE(w.ThreadExists());
}

TEST(WorkerThread, ACallToAThreadThatEndsWithoutAnsweringDoesNotHang) {
  WorkerThread w;
  ASSERT_TRUE(w.Create([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }));
  EXPECT_EQ(w.CallWorker(2), WorkerThread::kNoThread);
  EXPECT_EQ(w.CallWorker(2), WorkerThread::kNoThread);
  w.Close();
  WorkerThread never_started;
  EXPECT_EQ(never_started.CallWorker(2), WorkerThread::kNoThread);
}

}  // namespace
