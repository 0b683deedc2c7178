#include "player/shell/gui_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// Qt's event queue hands the wake-up to the GUI thread under its own lock, which ThreadSanitizer
// does not see; the posting thread releases the event and the GUI thread acquires it.
#if defined(__SANITIZE_THREAD__)
#define TEVALO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TEVALO_TSAN 1
#endif
#endif
#ifdef TEVALO_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace tevalo::shell {
namespace {

QEvent::Type WakeType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

// Lives on the GUI thread; a wake-up event there drains the queue.
class CGuiQueue::Receiver final : public QObject {
 public:
  explicit Receiver(CGuiQueue& queue) : m_queue(queue) {}
  bool event(QEvent* e) override {
#ifdef TEVALO_TSAN
    __tsan_acquire(e);
#endif
    if (e->type() != WakeType()) return QObject::event(e);
    m_queue.Drain();
    return true;
  }

 private:
  CGuiQueue& m_queue;
};

CGuiQueue::CGuiQueue() : m_owner(std::this_thread::get_id()), m_receiver(std::make_unique<Receiver>(*this)) {}

CGuiQueue::~CGuiQueue() {
  Close();
  m_receiver.reset();  // a wake-up still queued in the event loop goes with its receiver
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
  if (!wake) return;
  auto* e = new QEvent(WakeType());
#ifdef TEVALO_TSAN
  __tsan_release(e);
#endif
  QCoreApplication::postEvent(m_receiver.get(), e);
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
