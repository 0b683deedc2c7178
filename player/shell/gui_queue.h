// Work for the GUI thread, in the order it was posted, from any thread. A poster never waits for the
// GUI thread. The queue belongs to the thread that makes it, which must run a Qt event loop.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tevalo::shell {

class CGuiQueue {
 public:
  CGuiQueue();
  ~CGuiQueue();
  CGuiQueue(const CGuiQueue&) = delete;
  CGuiQueue& operator=(const CGuiQueue&) = delete;

  // Queues fn; it runs on the GUI thread after everything posted before it. Dropped once closed.
  void Post(std::function<void()> fn);
  // On the GUI thread: runs fn at once; elsewhere posts it.
  void RunOrPost(std::function<void()> fn);
  bool OnGuiThread() const { return std::this_thread::get_id() == m_owner; }
  // Runs what is queued now (GUI thread).
  void Drain();
  // Drops what is queued and refuses what comes later.
  void Close();

 private:
  class Receiver;

  const std::thread::id m_owner;
  std::unique_ptr<Receiver> m_receiver;
  std::mutex m_lock;
  std::deque<std::function<void()>> m_queue;
  bool m_wakePending = false;
  bool m_closed = false;
  bool m_draining = false;
};

}  // namespace tevalo::shell
