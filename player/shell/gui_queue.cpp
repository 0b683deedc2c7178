#include "player/shell/gui_queue.h"

#include <QMetaObject>
#include <QObject>

namespace tevalo::shell {

CGuiQueue::CGuiQueue() : m_owner(std::this_thread::get_id()), m_context(std::make_unique<QObject>()) {}

CGuiQueue::~CGuiQueue() {
  Close();
  m_context.reset();  // a wake-up still queued in the event loop dies with its context
}

void CGuiQueue::Post(std::function<void()> fn) {
  bool wake = false;
  {
    std::lock_guard lock(m_lock);
    if (m_closed) return;
    m_queue.push_back(std::move(fn));
    wake = !m_wakePending;
    m_wakePending = true;
  }
  if (wake)
    QMetaObject::invokeMethod(
        m_context.get(), [this] { Drain(); }, Qt::QueuedConnection);
}

void CGuiQueue::RunOrPost(std::function<void()> fn) {
  if (OnGuiThread())
    fn();
  else
    Post(std::move(fn));
}

void CGuiQueue::Drain() {
  // Work that posts more is run in the same pass; a nested drain (a view that runs the event loop)
  // leaves the rest to the outer one, so the order holds.
  std::unique_lock lock(m_lock);
  if (m_draining) return;
  m_draining = true;
  while (!m_queue.empty() && !m_closed) {
    auto fn = std::move(m_queue.front());
    m_queue.pop_front();
    lock.unlock();
    fn();
    lock.lock();
  }
  m_wakePending = false;  // posts made while draining ran in this pass
  m_draining = false;
}

void CGuiQueue::Close() {
  std::lock_guard lock(m_lock);
  m_closed = true;
  m_queue.clear();
}

}  // namespace tevalo::shell
