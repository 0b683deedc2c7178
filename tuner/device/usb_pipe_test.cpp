#include "tuner/device/usb_pipe.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct PipePair {
  int r = -1, w = -1;
  PipePair() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    r = fds[0];
    w = fds[1];
  }
  ~PipePair() {
    if (r >= 0) ::close(r);
    if (w >= 0) ::close(w);
  }
};

using Clock = std::chrono::steady_clock;

// A budget no transfer here needs, however busy the machine: one that ends early ends before it.
constexpr int kBudgetMs = 60000;

}  // namespace

TEST(UsbPipe, ReadGathersPiecesWithinBudget) {
  PipePair p;
  std::thread writer([&] {
    for (unsigned char b = 1; b <= 6; ++b) {
      ASSERT_EQ(::write(p.w, &b, 1), 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  unsigned char buf[6] = {};
  EXPECT_TRUE(quonda::ReadExact(p.r, buf, 6, kBudgetMs, nullptr));
  writer.join();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buf[i], i + 1);
}

TEST(UsbPipe, ReadFailsOnTimeoutEofWakeAndBadHandle) {
  unsigned char buf[6];
  {
    PipePair p;
    auto start = Clock::now();
    EXPECT_FALSE(quonda::ReadExact(p.r, buf, 6, 200, nullptr));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
  }
  {
    PipePair p;
    ASSERT_EQ(::write(p.w, "abc", 3), 3);
    ::close(p.w);
    p.w = -1;
    auto start = Clock::now();
    EXPECT_FALSE(quonda::ReadExact(p.r, buf, 6, kBudgetMs, nullptr));  // writer gone: at once
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kBudgetMs));
  }
  {
    PipePair p;
    quonda::WakeEvent wake;
    std::thread waker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      wake.Set();
    });
    auto start = Clock::now();
    EXPECT_FALSE(quonda::ReadExact(p.r, buf, 6, kBudgetMs, &wake));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kBudgetMs));
    waker.join();
  }
  EXPECT_FALSE(quonda::ReadExact(-1, buf, 6, 1000, nullptr));
}

TEST(UsbPipe, WriteToVanishedReaderFailsWithoutSignal) {
  std::signal(SIGPIPE, SIG_DFL);
  PipePair p;
  ::close(p.r);
  p.r = -1;
  EXPECT_FALSE(quonda::WriteAll(p.w, "abcdef", 6, 1000, nullptr));
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

TEST(UsbPipe, DrainDiscardsOnlyWhatIsWaiting) {
  PipePair p;
  ASSERT_EQ(::write(p.w, "stale!", 6), 6);
  quonda::DrainStale(p.r);
  ASSERT_EQ(::write(p.w, "fresh!", 6), 6);
  char buf[7] = {};
  EXPECT_TRUE(quonda::ReadExact(p.r, buf, 6, kBudgetMs, nullptr));
  EXPECT_STREQ(buf, "fresh!");
}
