#include "platform/window/window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/path/utf.h"
#include "platform/window/frame.h"
#include "platform/window/remote.h"

namespace tevalo::win {
namespace {

QEvent::Type WakeType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

struct Waiter {
  std::mutex m;
  std::condition_variable cv;
};

// One message on its way to a window of another thread (or posted to any window).
struct Call {
  uintptr_t target = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  bool copyData = false;
  bool hasPayload = false;
  COPYDATASTRUCT cds{};
  std::vector<uint8_t> payload;
  std::shared_ptr<Waiter> waiter;  // null for posted messages
  // Under waiter->m:
  bool done = false;
  bool handled = false;
  LRESULT result = 0;
};

class Dispatcher;

// The messages waiting for the windows of one thread. Sent messages go before posted ones.
struct ThreadQueue {
  std::shared_ptr<Waiter> signal = std::make_shared<Waiter>();  // its mutex guards the fields below
  std::deque<std::shared_ptr<Call>> sent;
  std::deque<std::shared_ptr<Call>> posted;
  bool alive = true;
  Dispatcher* dispatcher = nullptr;
  std::thread::id owner;
  // Owner thread only:
  int windows = 0;
  int dispatching = 0;
};

// Calls that run on their sender's thread; the window's destruction closes it and waits for them.
struct SenderGate {
  std::mutex m;
  std::condition_variable cv;
  int active = 0;
  bool closed = false;
  Window::SenderThreadFilter accepts;

  bool Enter() {
    std::lock_guard<std::mutex> g(m);
    if (closed) return false;
    ++active;
    return true;
  }
  void Leave() {
    std::lock_guard<std::mutex> g(m);
    if (--active == 0) cv.notify_all();
  }
  void Close() {
    std::unique_lock<std::mutex> g(m);
    closed = true;
    cv.wait(g, [this] { return active == 0; });
  }
};

struct Entry {
  Window* window = nullptr;  // null for a window of another process
  std::shared_ptr<ThreadQueue> queue;
  std::u16string title;
  std::shared_ptr<SenderGate> gate;  // null unless some messages run on their sender's thread
};

struct Directory {
  std::mutex m;
  std::map<uintptr_t, Entry> entries;  // in creation order
  uintptr_t next = 0x10000;            // above HWND_BROADCAST; never reused
};

Directory& Dir() {
  static Directory* d = new Directory;  // outlives every window, whatever the destruction order
  return *d;
}

thread_local std::weak_ptr<ThreadQueue> tQueue;

uintptr_t Id(HWND h) { return reinterpret_cast<uintptr_t>(h); }
HWND Handle(uintptr_t id) { return reinterpret_cast<HWND>(id); }

std::optional<Entry> Lookup(HWND hwnd) {
  std::lock_guard<std::mutex> g(Dir().m);
  const auto it = Dir().entries.find(Id(hwnd));
  if (it == Dir().entries.end()) return std::nullopt;
  return it->second;
}

void Complete(const std::shared_ptr<Call>& c, bool handled, LRESULT result) {
  if (!c->waiter) return;
  std::lock_guard<std::mutex> g(c->waiter->m);
  c->done = true;
  c->handled = handled;
  c->result = result;
  c->waiter->cv.notify_all();
}

// Runs the window's handler for a call on the current thread.
void Deliver(Window* w, const std::shared_ptr<Call>& c) {
  LPARAM lParam = c->lParam;
  COPYDATASTRUCT cds{};
  if (c->copyData) {
    static uint8_t empty = 0;
    cds = c->cds;
    cds.lpData = c->hasPayload ? (c->payload.empty() ? &empty : c->payload.data()) : nullptr;
    lParam = reinterpret_cast<LPARAM>(&cds);
  }
  const LRESULT r = w->WindowProc(c->msg, c->wParam, lParam);
  Complete(c, true, r);
}

// Runs a call on the current thread, which owns the target window.
void Execute(const std::shared_ptr<Call>& c) {
  Window* w = nullptr;
  {
    std::lock_guard<std::mutex> g(Dir().m);
    const auto it = Dir().entries.find(c->target);
    if (it != Dir().entries.end() && it->second.window &&
        it->second.queue->owner == std::this_thread::get_id())
      w = it->second.window;
  }
  if (!w) {
    Complete(c, false, 0);
    return;
  }
  Deliver(w, c);
}

class Dispatcher : public QObject {
 public:
  explicit Dispatcher(std::shared_ptr<ThreadQueue> q) : q_(std::move(q)) {}
  bool event(QEvent* e) override {
    std::shared_ptr<Call> c;
    bool wake;
    {
      // The wake event was made under this lock on the posting thread: taking it before looking
      // at the event orders the two where race checkers see it (Qt's futex hand-over they don't).
      std::lock_guard<std::mutex> g(q_->signal->m);
      wake = e->type() == WakeType();
      auto& from = !q_->sent.empty() ? q_->sent : q_->posted;
      if (wake && !from.empty()) {
        c = std::move(from.front());
        from.pop_front();
      }
    }
    if (!wake) return QObject::event(e);
    if (c) {
      ++q_->dispatching;
      Execute(c);
      --q_->dispatching;
    }
    return true;
  }

 private:
  std::shared_ptr<ThreadQueue> q_;
};

bool Enqueue(ThreadQueue& q, const std::shared_ptr<Call>& c, bool posted) {
  std::lock_guard<std::mutex> g(q.signal->m);
  if (!q.alive || !q.dispatcher) return false;
  (posted ? q.posted : q.sent).push_back(c);
  q.signal->cv.notify_all();  // a thread of this queue waiting for a reply takes sent ones itself
  QCoreApplication::postEvent(q.dispatcher, new QEvent(WakeType()));
  return true;
}

// Builds the call, copying WM_COPYDATA's bytes; null when the message cannot be carried.
std::shared_ptr<Call> MakeCall(uintptr_t target, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto c = std::make_shared<Call>();
  c->target = target;
  c->msg = msg;
  c->wParam = wParam;
  c->lParam = lParam;
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!cds) return nullptr;
    c->copyData = true;
    c->cds = *cds;
    c->hasPayload = cds->lpData != nullptr;
    if (c->hasPayload) {
      if (cds->cbData > kMaxCopyDataBytes) return nullptr;
      const auto* p = static_cast<const uint8_t*>(cds->lpData);
      c->payload.assign(p, p + cds->cbData);
    }
  }
  return c;
}

LRESULT SendRemote(const std::u16string& title, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                   uintptr_t* result) {
  frame::Request req;
  req.kind = frame::Kind::kSend;
  req.message = msg;
  req.wParam = wParam;
  req.lParam = lParam;
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!cds || (cds->lpData && cds->cbData > kMaxCopyDataBytes)) return 0;
    req.lParam = 0;
    req.code = cds->dwData;
    req.cbData = cds->cbData;
    req.hasPayload = cds->lpData != nullptr;
    if (req.hasPayload) {
      const auto* p = static_cast<const uint8_t*>(cds->lpData);
      req.payload.assign(p, p + cds->cbData);
    }
  }
  frame::Reply reply;
  if (!remote::Request(WindowSocketPath(title), req, timeoutMs, &reply)) return 0;
  if (reply.status != frame::ReplyStatus::kHandled) return 0;
  if (result) *result = static_cast<uintptr_t>(reply.result);
  return 1;
}

// A titled window's face to other processes: a local socket that takes one framed request per
// connection and answers it with the window's result.
class LocalFace : public QObject {
 public:
  LocalFace(uintptr_t id, const std::u16string& title) : id_(id), server_(this) {
    const std::string path = WindowSocketPath(title);
    if (path.empty() || !remote::PrepareListenPath(path)) return;
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(QString::fromStdString(path))) return;
    listening_ = true;
    QObject::connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
  }
  bool listening() const { return listening_; }
  int busy = 0;

  void Stop() { server_.close(); }

 private:
  void Accept() {
    while (QLocalSocket* s = server_.nextPendingConnection()) {
      auto state = std::make_shared<Connection>();
      QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      QObject::connect(s, &QLocalSocket::readyRead, s, [this, s, state] {
        ++busy;
        Serve(s, *state);
        --busy;
      });
      // A peer that never completes its request does not hold the connection open.
      QTimer::singleShot(5000, s, [s] { s->abort(); });
    }
  }

  struct Connection {
    QByteArray buffer;
    bool answered = false;  // one request per connection
  };

  void Serve(QLocalSocket* s, Connection& conn) {
    QByteArray& buffer = conn.buffer;
    if (conn.answered) {
      s->readAll();
      return;
    }
    buffer += s->readAll();
    frame::Request req;
    size_t used = 0;
    const auto d = frame::DecodeRequest(reinterpret_cast<const uint8_t*>(buffer.constData()),
                                        static_cast<size_t>(buffer.size()), req, used);
    if (d == frame::Decoded::kNeedMore) return;
    frame::Reply reply;
    if (d == frame::Decoded::kBad) {
      reply.status = frame::ReplyStatus::kRefused;
    } else if (req.kind == frame::Kind::kPost) {
      reply.status = PostMessageW(Handle(id_), req.message, req.wParam, req.lParam)
                         ? frame::ReplyStatus::kHandled
                         : frame::ReplyStatus::kNoWindow;
    } else {
      COPYDATASTRUCT cds{req.code, req.cbData, req.hasPayload ? req.payload.data() : nullptr};
      static uint8_t empty = 0;
      if (req.hasPayload && req.payload.empty()) cds.lpData = &empty;
      const LPARAM lParam = req.message == WM_COPYDATA ? reinterpret_cast<LPARAM>(&cds) : req.lParam;
      uintptr_t result = 0;
      const bool ok = SendMessageTimeoutW(Handle(id_), req.message, req.wParam, lParam, SMTO_NORMAL,
                                          INFINITE_TIMEOUT, &result) != 0;
      reply.status = ok ? frame::ReplyStatus::kHandled : frame::ReplyStatus::kNoWindow;
      reply.result = static_cast<int64_t>(result);
    }
    conn.answered = true;
    buffer.clear();
    const auto bytes = frame::Encode(reply);
    s->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    s->flush();
    s->disconnectFromServer();
  }

  uintptr_t id_;
  QLocalServer server_;
  bool listening_ = false;
};

}  // namespace

struct Window::Impl {
  uintptr_t id = 0;
  std::u16string title;
  Handler handler;
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<SenderGate> gate;
  LocalFace* face = nullptr;
};

Window::Window(std::u16string title, Handler handler, SenderThreadFilter onSenderThread)
    : impl_(std::make_unique<Impl>()) {
  impl_->title = std::move(title);
  impl_->handler = std::move(handler);
  if (onSenderThread) {
    impl_->gate = std::make_shared<SenderGate>();
    impl_->gate->accepts = std::move(onSenderThread);
  }
  impl_->queue = tQueue.lock();
  if (!impl_->queue || !impl_->queue->alive) {
    auto q = std::make_shared<ThreadQueue>();
    q->owner = std::this_thread::get_id();
    q->dispatcher = new Dispatcher(q);
    tQueue = q;
    impl_->queue = q;
  }
  ++impl_->queue->windows;
  {
    std::lock_guard<std::mutex> g(Dir().m);
    impl_->id = Dir().next++;
    Dir().entries[impl_->id] = Entry{this, impl_->queue, impl_->title, impl_->gate};
  }
  if (!impl_->title.empty() && QCoreApplication::instance()) {
    impl_->face = new LocalFace(impl_->id, impl_->title);
    if (!impl_->face->listening()) {
      delete impl_->face;
      impl_->face = nullptr;
    }
  }
}

Window::~Window() {
  {
    std::lock_guard<std::mutex> g(Dir().m);
    Dir().entries.erase(impl_->id);
  }
  if (impl_->gate) impl_->gate->Close();
  if (impl_->face) {
    impl_->face->Stop();
    // The window may be going away from inside one of the face's own requests.
    if (impl_->face->busy)
      impl_->face->deleteLater();
    else
      delete impl_->face;
  }
  ThreadQueue& q = *impl_->queue;
  if (--q.windows == 0) {
    std::vector<std::shared_ptr<Call>> pending;
    Dispatcher* d = nullptr;
    {
      std::lock_guard<std::mutex> g(q.signal->m);
      q.alive = false;
      for (auto& c : q.sent) pending.push_back(std::move(c));
      for (auto& c : q.posted) pending.push_back(std::move(c));
      q.sent.clear();
      q.posted.clear();
      d = q.dispatcher;
      q.dispatcher = nullptr;
    }
    for (const auto& c : pending) Complete(c, false, 0);  // no sender waits for a gone thread
    if (q.dispatching)
      d->deleteLater();
    else
      delete d;
    tQueue.reset();
  }
}

HWND Window::hwnd() const { return Handle(impl_->id); }
const std::u16string& Window::title() const { return impl_->title; }
bool Window::ReachableFromOtherProcesses() const { return impl_->face != nullptr; }

LRESULT Window::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (impl_->handler) return impl_->handler(msg, wParam, lParam);
  return DefWindowProcW(hwnd(), msg, wParam, lParam);
}

HWND FindWindowW(const char16_t*, const char16_t* title) {
  const std::u16string want = title ? title : u"";
  if (title && want.empty()) return nullptr;  // untitled windows are reached by their handle only
  {
    std::lock_guard<std::mutex> g(Dir().m);
    for (const auto& [id, e] : Dir().entries)
      if (e.window && (!title || text::EqualsNoCase(e.title, want))) return Handle(id);
  }
  if (want.empty() || !remote::Probe(WindowSocketPath(want))) return nullptr;
  std::lock_guard<std::mutex> g(Dir().m);
  for (const auto& [id, e] : Dir().entries)
    if (!e.window && text::EqualsNoCase(e.title, want)) return Handle(id);
  const uintptr_t id = Dir().next++;
  Dir().entries[id] = Entry{nullptr, nullptr, want, nullptr};
  return Handle(id);
}

bool IsWindow(HWND hwnd) {
  const auto e = Lookup(hwnd);
  if (!e) return false;
  return e->window || remote::Probe(WindowSocketPath(e->title));
}

LRESULT SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                            uintptr_t* result) {
  if (result) *result = 0;
  if (hwnd == HWND_BROADCAST) return BroadcastMessage(msg, wParam, lParam) ? 1 : 0;
  const auto e = Lookup(hwnd);
  if (!e) return 0;
  if (!e->window) return SendRemote(e->title, msg, wParam, lParam, timeoutMs, result);
  auto c = MakeCall(Id(hwnd), msg, wParam, lParam);
  if (!c) return 0;
  if (e->queue->owner != std::this_thread::get_id() && e->gate && e->gate->accepts(msg, wParam, lParam) &&
      e->gate->Enter()) {
    c->waiter = std::make_shared<Waiter>();
    Deliver(e->window, c);
    e->gate->Leave();
    if (result) *result = static_cast<uintptr_t>(c->result);
    return 1;
  }
  if (e->queue->owner == std::this_thread::get_id()) {
    // On the window's own thread the handler runs at once, also from inside another handler.
    c->waiter = std::make_shared<Waiter>();
    Execute(c);
    if (result) *result = static_cast<uintptr_t>(c->result);
    return c->handled ? 1 : 0;
  }
  const auto mine = tQueue.lock();
  c->waiter = mine ? mine->signal : std::make_shared<Waiter>();
  if (!Enqueue(*e->queue, c, false)) return 0;
  const bool serve = mine && (flags & SMTO_BLOCK) == 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lk(c->waiter->m);
  while (!c->done) {
    if (serve && mine->alive && !mine->sent.empty()) {
      auto incoming = std::move(mine->sent.front());
      mine->sent.pop_front();
      lk.unlock();
      Execute(incoming);
      lk.lock();
      continue;
    }
    if (timeoutMs == INFINITE_TIMEOUT) {
      c->waiter->cv.wait(lk);
    } else if (c->waiter->cv.wait_until(lk, deadline) == std::cv_status::timeout && !c->done) {
      return 0;  // the call stays queued and is still handled
    }
  }
  if (result) *result = static_cast<uintptr_t>(c->result);
  return c->handled ? 1 : 0;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  uintptr_t result = 0;
  SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_NORMAL, INFINITE_TIMEOUT, &result);
  return static_cast<LRESULT>(result);
}

bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COPYDATA) return false;  // its data would not outlive the call
  if (hwnd == HWND_BROADCAST) return BroadcastMessage(msg, wParam, lParam);
  const auto e = Lookup(hwnd);
  if (!e) return false;
  if (!e->window) {
    frame::Request req;
    req.kind = frame::Kind::kPost;
    req.message = msg;
    req.wParam = wParam;
    req.lParam = lParam;
    return remote::Post(WindowSocketPath(e->title), req);
  }
  auto c = MakeCall(Id(hwnd), msg, wParam, lParam);
  return c && Enqueue(*e->queue, c, true);
}

bool BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COPYDATA) return false;
  std::vector<std::pair<uintptr_t, std::shared_ptr<ThreadQueue>>> targets;
  {
    std::lock_guard<std::mutex> g(Dir().m);
    for (const auto& [id, e] : Dir().entries)
      if (e.window) targets.emplace_back(id, e.queue);
  }
  for (const auto& [id, q] : targets) Enqueue(*q, MakeCall(id, msg, wParam, lParam), true);
  return true;
}

UINT RegisterWindowMessageW(const char16_t* name) {
  if (!name || !*name) return 0;
  static std::mutex m;
  static std::map<std::u16string, UINT> ids;
  static UINT next = 0xC000;
  std::lock_guard<std::mutex> g(m);
  const std::u16string key = text::LowerAscii(name);
  if (const auto it = ids.find(key); it != ids.end()) return it->second;
  if (next > 0xFFFF) return 0;
  ids[key] = next;
  return next++;
}

std::string WindowSocketPath(std::u16string_view title) { return remote::SocketPath(title); }

}  // namespace tevalo::win
