#include "platform/window/window.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window/frame.h"
#include "tests/common/child_process.h"

namespace tevalo::win {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class QtApp : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "platform_window_test";
    static char* argv[] = {name, nullptr};
    app_ = new QCoreApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QCoreApplication* app_ = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

// A thread with a Qt event loop that owns one window.
class WindowThread {
 public:
  WindowThread(std::u16string title, Window::Handler handler, Window::SenderThreadFilter onSender = {}) {
    thread_.start();
    context_ = new QObject;
    context_->moveToThread(&thread_);
    Run([&] {
      window_ = std::make_unique<Window>(std::move(title), std::move(handler), std::move(onSender));
    });
  }
  ~WindowThread() {
    Run([&] { window_.reset(); });
    context_->deleteLater();
    thread_.quit();
    thread_.wait();
  }
  void Run(const std::function<void()>& f) {
    QMetaObject::invokeMethod(context_, f, Qt::BlockingQueuedConnection);
  }
  HWND hwnd() const { return window_->hwnd(); }
  QThread* thread() { return &thread_; }

 private:
  QThread thread_;
  QObject* context_ = nullptr;
  std::unique_ptr<Window> window_;
};

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 60000ms) {
  const auto end = Clock::now() + limit;
  while (!pred()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

constexpr UINT kTwice = WM_APP + 1;
constexpr UINT kReenter = WM_APP + 2;
constexpr UINT kBlock = WM_APP + 3;
constexpr UINT kRecord = WM_APP + 4;

TEST(WindowMessages, SendRunsOnTheWindowsThreadAndReturnsItsResult) {
  std::atomic<QThread*> ranOn{nullptr};
  HWND self = nullptr;
  WindowThread w(u"Tevalo", [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    ranOn = QThread::currentThread();
    if (msg == kTwice) return static_cast<LRESULT>(wParam) * 2 + lParam;
    // On its own thread a send runs the handler at once, inside the running one.
    if (msg == kReenter) return SendMessageW(self, kTwice, wParam, 1) + 1000;
    return 0;
  });
  self = w.hwnd();
  EXPECT_EQ(SendMessageW(w.hwnd(), kTwice, 21, 0), 42);
  EXPECT_EQ(ranOn.load(), w.thread());
  uintptr_t result = 0;
  EXPECT_NE(SendMessageTimeoutW(w.hwnd(), kReenter, 5, 0, SMTO_BLOCK, 60000, &result), 0);
  EXPECT_EQ(result, 1011u);
  EXPECT_EQ(FindWindowW(nullptr, u"tevalo"), w.hwnd());  // titles match without regard to case
  EXPECT_TRUE(IsWindow(w.hwnd()));
}

TEST(WindowMessages, TimedOutSendIsStillHandled) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> handled{0};
  std::atomic<bool> busy{false};
  WindowThread w(u"Slow", [&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
    if (msg == kBlock) {
      busy = true;
      released.wait();
    }
    if (msg == kRecord) handled += static_cast<int>(wParam);
    return 7;
  });
  // Another sender keeps the window's thread busy.
  std::thread blocker([&] { SendMessageW(w.hwnd(), kBlock, 0, 0); });
  ASSERT_TRUE(WaitFor([&] { return busy.load(); }));
  const auto start = Clock::now();
  uintptr_t result = 99;
  EXPECT_EQ(SendMessageTimeoutW(w.hwnd(), kRecord, 1, 0, SMTO_NORMAL, 150, &result), 0);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 150ms);  // never early; that it returns at all while the handler is held is the point
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(handled.load(), 0);
  release.set_value();
  blocker.join();
  EXPECT_TRUE(WaitFor([&] { return handled.load() == 1; }));  // handled after the sender gave up
  EXPECT_NE(SendMessageTimeoutW(w.hwnd(), kRecord, 10, 0, SMTO_NORMAL, 60000, &result), 0);
  EXPECT_EQ(result, 7u);
  EXPECT_EQ(handled.load(), 11);
}

TEST(WindowMessages, CopyDataCarriesCodeValueAndACopiedPayload) {
  struct Seen {
    uintptr_t code;
    uint32_t cb;
    bool hasData;
    const void* where;
    std::u16string text;
  };
  std::mutex m;
  std::vector<Seen> seen;
  WindowThread w(u"Tevalo", [&](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
    if (msg != WM_COPYDATA) return 0;
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    Seen s{cds->dwData, cds->cbData, cds->lpData != nullptr, cds->lpData, {}};
    if (cds->lpData) s.text.assign(static_cast<const char16_t*>(cds->lpData), cds->cbData / 2);
    std::lock_guard<std::mutex> g(m);
    seen.push_back(s);
    return 1;
  });
  // The filter's run report: its process id in cbData, no data.
  COPYDATASTRUCT run{3, static_cast<uint32_t>(getpid()), nullptr};
  uintptr_t result = 0;
  ASSERT_NE(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&run), SMTO_BLOCK, 60000,
                                &result),
            0);
  EXPECT_EQ(result, 1u);
  // A second instance's argument: the text with its terminator.
  std::u16string path = u"/home/u/\u756a\u7d44.pl";
  COPYDATASTRUCT iepg{16, static_cast<uint32_t>((path.size() + 1) * 2), path.data()};
  ASSERT_NE(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&iepg), SMTO_BLOCK, 60000,
                                &result),
            0);
  // Too much data, a missing structure, and a posted WM_COPYDATA are refused without reaching the window.
  std::vector<uint8_t> huge(kMaxCopyDataBytes + 1);
  COPYDATASTRUCT big{5, static_cast<uint32_t>(huge.size()), huge.data()};
  EXPECT_EQ(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&big), SMTO_BLOCK, 1000,
                                &result),
            0);
  EXPECT_EQ(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, 0, SMTO_BLOCK, 1000, &result), 0);
  EXPECT_FALSE(PostMessageW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&run)));
  std::lock_guard<std::mutex> g(m);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].code, 3u);
  EXPECT_EQ(seen[0].cb, static_cast<uint32_t>(getpid()));
  EXPECT_FALSE(seen[0].hasData);
  EXPECT_EQ(seen[1].code, 16u);
  EXPECT_EQ(seen[1].text, path + u'\0');
  EXPECT_NE(seen[1].where, path.data());  // the receiver got a copy
}

TEST(WindowMessages, PostedMessagesArriveInOrderAfterTheSenderReturned) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex m;
  std::vector<WPARAM> order;
  WindowThread w(u"", [&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
    if (msg == kBlock) released.wait();
    if (msg == kRecord) {
      std::lock_guard<std::mutex> g(m);
      order.push_back(wParam);
    }
    return 0;
  });
  ASSERT_TRUE(PostMessageW(w.hwnd(), kBlock, 0, 0));
  for (WPARAM i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessageW(w.hwnd(), kRecord, i, 0));
  release.set_value();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> g(m);
    return order.size() == 3;
  }));
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3}));
  EXPECT_EQ(FindWindowW(nullptr, u""), nullptr);
}

TEST(WindowMessages, ThreadsSendingToEachOtherDoNotDeadlock) {
  HWND a = nullptr, b = nullptr;
  WindowThread wa(u"A", [&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
    if (msg == kTwice) return SendMessageW(b, kTwice, wParam + 1, 0) * 10;  // waits for B ...
    return 5;                                                               // ... which asks A
  });
  WindowThread wb(u"B", [&](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
    if (msg == kTwice) return SendMessageW(a, kRecord, 0, 0) + static_cast<LRESULT>(wParam);
    return 0;
  });
  a = wa.hwnd();
  b = wb.hwnd();
  uintptr_t result = 0;
  ASSERT_NE(SendMessageTimeoutW(a, kTwice, 1, 0, SMTO_NORMAL, 60000, &result), 0);
  EXPECT_EQ(result, 70u);  // (5 + 2) * 10
}

TEST(WindowMessages, RegisteredMessagesAndBroadcast) {
  const UINT dualMono = RegisterWindowMessageW(u"C3F3B4AB-8C35-47ff-B75E-D7242E81D58E");
  EXPECT_GE(dualMono, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageW(u"c3f3b4ab-8c35-47FF-b75e-d7242e81d58e"), dualMono);
  EXPECT_NE(RegisterWindowMessageW(u"another"), dualMono);
  EXPECT_EQ(RegisterWindowMessageW(u""), 0u);
  std::atomic<int> sum{0};
  auto handler = [&](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
    if (msg == dualMono) sum += static_cast<int>(lParam);
    return 0;
  };
  WindowThread one(u"Tevalo", handler), two(u"", handler);
  // The audio pin's broadcast: it must not wait for every window.
  SendMessageW(HWND_BROADCAST, dualMono, 0, 2);
  EXPECT_TRUE(BroadcastMessage(dualMono, 0, 1));
  EXPECT_TRUE(WaitFor([&] { return sum.load() == 6; }));
}

TEST(WindowMessages, PickedMessagesRunOnTheSendersThreadWhileTheWindowsThreadWaits) {
  constexpr UINT kAnyThread = WM_APP + 5;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> busy{false};
  std::mutex m;
  std::vector<std::pair<UINT, std::thread::id>> ran;
  WindowThread w(
      u"Sender",
      [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        {
          std::lock_guard lock(m);
          ran.emplace_back(msg, std::this_thread::get_id());
        }
        if (msg == kBlock) {
          busy = true;
          released.wait();
        }
        if (msg == WM_COPYDATA)
          return static_cast<LRESULT>(reinterpret_cast<COPYDATASTRUCT*>(lParam)->dwData);
        return static_cast<LRESULT>(wParam) + 1;
      },
      [](UINT msg, WPARAM, LPARAM lParam) {
        return msg == kAnyThread ||
               (msg == WM_COPYDATA && reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData == 2);
      });
  std::thread blocker([&] { SendMessageW(w.hwnd(), kBlock, 0, 0); });
  ASSERT_TRUE(WaitFor([&] { return busy.load(); }));
  // The window's thread is busy: picked messages are handled on the sender's thread anyway.
  uintptr_t result = 0;
  EXPECT_NE(SendMessageTimeoutW(w.hwnd(), kAnyThread, 41, 0, SMTO_BLOCK, 1000, &result), 0);
  EXPECT_EQ(result, 42u);
  uint8_t data[3] = {1, 2, 3};
  COPYDATASTRUCT code2{2, sizeof data, data};
  EXPECT_NE(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&code2), SMTO_BLOCK, 1000,
                                &result),
            0);
  EXPECT_EQ(result, 2u);
  // Others still wait for the window's thread, and posted ones run there.
  COPYDATASTRUCT code3{3, 0, nullptr};
  EXPECT_EQ(SendMessageTimeoutW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&code3), SMTO_BLOCK, 100,
                                &result),
            0);
  EXPECT_TRUE(PostMessageW(w.hwnd(), kAnyThread, 0, 0));
  release.set_value();
  blocker.join();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(m);
    return ran.size() == 5;
  }));
  std::lock_guard lock(m);
  const auto self = std::this_thread::get_id();
  EXPECT_EQ(ran[0].first, kBlock);
  EXPECT_EQ(ran[1], std::make_pair(kAnyThread, self));
  EXPECT_EQ(ran[2], std::make_pair(WM_COPYDATA, self));
  const auto windowThread = ran[0].second;
  EXPECT_EQ(ran[3], std::make_pair(WM_COPYDATA, windowThread));  // code 3, after the wait
  EXPECT_EQ(ran[4], std::make_pair(kAnyThread, windowThread));   // posted
}

TEST(WindowMessages, GoneWindowsFailCleanly) {
  HWND gone = nullptr;
  {
    WindowThread w(u"Short", [](UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
    gone = w.hwnd();
    EXPECT_EQ(FindWindowW(nullptr, u"Short"), gone);
  }
  EXPECT_EQ(FindWindowW(nullptr, u"Short"), nullptr);
  EXPECT_FALSE(IsWindow(gone));
  uintptr_t result = 5;
  EXPECT_EQ(SendMessageTimeoutW(gone, kTwice, 1, 0, SMTO_NORMAL, 100, &result), 0);
  EXPECT_EQ(result, 0u);
  EXPECT_FALSE(PostMessageW(gone, kTwice, 1, 0));
  EXPECT_EQ(SendMessageW(nullptr, kTwice, 1, 0), 0);
}

// Raw frames on a window's socket, as a confused or hostile peer would send them.
frame::Reply RawRequest(const std::string& path, const std::vector<uint8_t>& bytes, bool hangUp = false) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  frame::Reply reply{frame::ReplyStatus::kNoWindow, -1};
  if (fd < 0) return reply;
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
    if (hangUp) shutdown(fd, SHUT_WR);
    uint8_t in[frame::kReplySize];
    size_t got = 0;
    while (got < sizeof in) {
      const ssize_t n = recv(fd, in + got, sizeof in - got, 0);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    frame::DecodeReply(in, got, reply);
  }
  close(fd);
  return reply;
}

TEST(WindowMessages, OtherProcesses) {
  tevalo_test::ChildProcess peer("window-peer", {"Peer Window"});
  ASSERT_EQ(peer.ReadLine(60000).value_or(""), "ready");
  const std::string path = WindowSocketPath(u"Peer Window");
  struct stat st {};
  ASSERT_EQ(stat(path.substr(0, path.rfind('/')).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  const HWND remote = FindWindowW(nullptr, u"peer window");
  ASSERT_NE(remote, nullptr);
  uintptr_t result = 0;
  // A second instance hands over its argument.
  std::u16string arg = u"/tmp/\u756a\u7d44.pl";
  COPYDATASTRUCT iepg{16, static_cast<uint32_t>((arg.size() + 1) * 2), arg.data()};
  ASSERT_NE(SendMessageTimeoutW(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&iepg), SMTO_BLOCK, 60000,
                                &result),
            0);
  EXPECT_EQ(result, 116u);
  EXPECT_EQ(peer.ReadLine(60000).value_or(""),
            "copydata 16 " + std::to_string(iepg.cbData) + " '/tmp/\xe7\x95\xaa\xe7\xb5\x84.pl'");
  COPYDATASTRUCT pid{4, static_cast<uint32_t>(getpid()), nullptr};
  ASSERT_NE(SendMessageTimeoutW(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&pid), SMTO_NORMAL, 60000,
                                &result),
            0);
  EXPECT_EQ(peer.ReadLine(60000).value_or(""), "copydata 4 " + std::to_string(getpid()) + " none");
  ASSERT_NE(SendMessageTimeoutW(remote, WM_USER + 9, 20, 2, SMTO_NORMAL, 60000, &result), 0);
  EXPECT_EQ(result, 42u);
  EXPECT_EQ(peer.ReadLine(60000).value_or(""), "message 1033 20 2");

  // Bad lengths are refused and the window never sees them.
  frame::Request bad;
  bad.message = WM_COPYDATA;
  bad.code = 16;
  bad.cbData = 10;
  bad.hasPayload = true;
  bad.payload.assign(10, 'x');
  auto bytes = frame::Encode(bad);
  bytes[44] = 0xFF, bytes[45] = 0xFF, bytes[46] = 0xFF, bytes[47] = 0xFF;  // announces 4 GiB
  EXPECT_EQ(RawRequest(path, bytes).status, frame::ReplyStatus::kRefused);
  bytes = frame::Encode(bad);
  bytes[40] = 11;  // cbData and length disagree
  EXPECT_EQ(RawRequest(path, bytes).status, frame::ReplyStatus::kRefused);
  EXPECT_EQ(RawRequest(path, {'G', 'E', 'T', ' ', '/', '\n'}).status, frame::ReplyStatus::kRefused);
  // A request cut short is dropped after the peer goes; the window stays reachable.
  bytes = frame::Encode(bad);
  bytes.resize(frame::kRequestHeaderSize + 3);
  EXPECT_EQ(RawRequest(path, bytes, true).status, frame::ReplyStatus::kNoWindow);  // no reply
  ASSERT_NE(SendMessageTimeoutW(remote, WM_USER + 9, 1, 0, SMTO_NORMAL, 60000, &result), 0);
  EXPECT_EQ(peer.ReadLine(60000).value_or(""), "message 1033 1 0");

  // The updater closes the player by its title without waiting.
  ASSERT_TRUE(PostMessageW(FindWindowW(nullptr, u"Peer Window"), WM_CLOSE, 0, 0));
  EXPECT_EQ(peer.ReadLine(60000).value_or(""), "close");
  EXPECT_EQ(peer.Finish(), 0);
}

TEST(WindowMessages, SocketOfAKilledProcessIsTakenOver) {
  {
    tevalo_test::ChildProcess peer("window-peer", {"Crashed"});
    ASSERT_EQ(peer.ReadLine(60000).value_or(""), "ready");
    Window second(u"Crashed");
    EXPECT_FALSE(second.ReachableFromOtherProcesses());  // the live owner keeps its socket
    peer.Kill();
  }
  EXPECT_EQ(FindWindowW(nullptr, u"Crashed"), nullptr);
  Window w(u"Crashed");
  EXPECT_TRUE(w.ReachableFromOtherProcesses());
}

}  // namespace
}  // namespace tevalo::win
