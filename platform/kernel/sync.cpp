// Events, mutexes, semaphores and the multi-object wait.
//
// Every wait runs the same loop: under the lock of the objects' domain (one process-wide mutex for
// in-process objects, the namespace's robust arena mutex for shared ones, both for a mix) it tries to
// satisfy the wait; otherwise it registers itself on every object and sleeps on one futex word of its
// own. Whoever changes an object's state sets the word of each registered waiter and wakes it, so a
// wait on any mix of objects sleeps until one of them changes, without polling. The word of a wait
// that involves shared objects lives in the namespace arena, so other processes can wake it.
// The one exception: a mutex held by another thread is re-checked every 50 ms, since a holder that
// dies (SIGKILL, thread exit) cannot signal anyone; that is how an abandoned mutex is noticed.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/kernel/detail.h"
#include "platform/kernel/sync.h"

namespace tvk {
namespace detail {

struct Waiter {
  std::atomic<uint32_t>* word = nullptr;
  int slot = -1;
};

namespace {
std::mutex g_local;  // guards every in-process object
thread_local std::atomic<uint32_t> t_word{0};
constexpr uint32_t kOwnerPollMs = 50;
}  // namespace

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMs) {
  timespec ts{static_cast<time_t>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000000L};
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, expected,
          timeoutMs == INFINITE ? nullptr : &ts, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

bool ThreadAlive(int32_t pid, int32_t tid, uint64_t processStart) {
  if (syscall(SYS_tgkill, pid, tid, 0) != 0 && errno != EPERM) return false;
  if (processStart == 0 || pid == CurrentPid()) return true;
  const uint64_t now = ProcessStartTime(pid);
  return now == 0 || now == processStart;
}

uint64_t ProcessStartTime(int32_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
  FILE* f = std::fopen(path, "re");
  if (!f) return 0;
  char buf[1024];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  // Field 22; the command name in parentheses (field 2) may hold spaces.
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  for (int field = 2; field < 22 && *p; ++p)
    if (*p == ' ') ++field;
  return std::strtoull(p, nullptr, 10);
}

uint64_t CurrentProcessStart() {
  static const uint64_t start = ProcessStartTime(static_cast<int32_t>(getpid()));
  return start;
}

int32_t CurrentPid() {
  static const int32_t pid = static_cast<int32_t>(getpid());
  return pid;
}

int32_t CurrentTid() {
  thread_local const int32_t tid = static_cast<int32_t>(gettid());
  return tid;
}

namespace {

void Wake(Waiter* w) {
  w->word->store(1, std::memory_order_release);
  FutexWake(w->word);
}

// Under the object's domain lock.
void WakeWaiters(Object& o) {
  if (o.shared) {
    WakeSharedWaiters(*o.seg);
  } else {
    for (Waiter* w : o.waiters) Wake(w);
  }
}

int RegisteredCount(const Object& o) {
  if (!o.shared) return static_cast<int>(o.waiters.size());
  int n = 0;
  for (uint32_t bits : o.st->waiterBits) n += std::popcount(bits);
  return n;
}

void Register(Object& o, Waiter& w) {
  if (o.shared) {
    o.st->waiterBits[w.slot / 32] |= 1u << (w.slot % 32);
  } else if (std::find(o.waiters.begin(), o.waiters.end(), &w) == o.waiters.end()) {
    o.waiters.push_back(&w);
  }
}

void Unregister(Object& o, Waiter& w) {
  if (o.shared) {
    if (w.slot >= 0) o.st->waiterBits[w.slot / 32] &= ~(1u << (w.slot % 32));
  } else {
    o.waiters.erase(std::remove(o.waiters.begin(), o.waiters.end(), &w), o.waiters.end());
  }
}

bool OwnedByMe(const ObjState& s) {
  return s.recursion > 0 && s.ownerPid == CurrentPid() && s.ownerTid == CurrentTid();
}

enum class Ready { No, Yes, Abandoned };

Ready CanAcquire(const ObjState& s, uint32_t seenGen) {
  switch (static_cast<Kind>(s.kind)) {
    case Kind::Event:
      if (s.signaled) return Ready::Yes;
      if (s.pulseGen != seenGen && (s.manualReset || s.pulseTokens > 0)) return Ready::Yes;
      return Ready::No;
    case Kind::Semaphore:
      return s.count > 0 ? Ready::Yes : Ready::No;
    case Kind::Mutex:
      if (s.recursion == 0 || OwnedByMe(s)) return Ready::Yes;
      return ThreadAlive(s.ownerPid, s.ownerTid, s.ownerStart) ? Ready::No : Ready::Abandoned;
    default:
      return Ready::No;
  }
}

void Acquire(ObjState& s, Ready how) {
  switch (static_cast<Kind>(s.kind)) {
    case Kind::Event:
      if (s.manualReset) break;
      if (s.signaled)
        s.signaled = 0;
      else if (s.pulseTokens > 0)
        --s.pulseTokens;
      break;
    case Kind::Semaphore:
      --s.count;
      break;
    case Kind::Mutex:
      if (how == Ready::Abandoned || s.recursion == 0) {
        s.ownerPid = CurrentPid();
        s.ownerTid = CurrentTid();
        s.ownerStart = CurrentProcessStart();
        s.recursion = 1;
      } else {
        ++s.recursion;
      }
      break;
    default:
      break;
  }
}

// The locks a wait over a given set of objects needs, always taken arena first.
class DomainLock {
 public:
  DomainLock(SharedSegment* arenaOf, bool local) : arenaOf_(arenaOf), local_(local) { Lock(); }
  ~DomainLock() { Unlock(); }
  void Lock() {
    if (arenaOf_) LockArena(*arenaOf_);
    if (local_) g_local.lock();
  }
  void Unlock() {
    if (local_) g_local.unlock();
    if (arenaOf_) UnlockArena(*arenaOf_);
  }

 private:
  SharedSegment* arenaOf_;
  bool local_;
};

template <class F>
bool Modify(const Handle& h, Kind kind, F&& change) {
  Object* o = h.get();
  if (!o || o->kind() != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DomainLock lock(o->shared ? o->seg.get() : nullptr, !o->shared);
  if (!change(*o)) return false;
  WakeWaiters(*o);
  return true;
}

Handle MakeObject(Kind kind, std::string_view name, bool create, CreateMode mode, const ObjState& init,
                  size_t dataSize = 0) {
  auto o = std::make_shared<Object>();
  if (name.empty()) {
    if (!create) {
      SetLastError(ERROR_INVALID_NAME);
      return {};
    }
    o->local = init;
    o->st = &o->local;
    if (kind == Kind::Mapping) {
      o->localData.reset(new (std::nothrow) uint8_t[dataSize ? dataSize : 1]());
      if (!o->localData) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return {};
      }
    }
    SetLastError(ERROR_SUCCESS);
    return Handle(std::move(o));
  }
  o->seg = OpenSegment(name, kind, create, mode, init, dataSize);
  if (!o->seg) return {};
  // Creates say whether the object existed; opens just succeed.
  const uint32_t error = create ? GetLastError() : ERROR_SUCCESS;
  o->shared = true;
  o->st = SegmentState(*o->seg);
  SetLastError(error);
  return Handle(std::move(o));
}

ObjState InitState(Kind kind) {
  ObjState s{};
  s.kind = static_cast<uint32_t>(kind);
  return s;
}

std::mutex g_views;
std::map<const void*, std::pair<std::shared_ptr<Object>, int>>& Views() {
  static auto* views = new std::map<const void*, std::pair<std::shared_ptr<Object>, int>>;
  return *views;
}

}  // namespace
}  // namespace detail

using namespace detail;

Handle CreateEvent(bool manualReset, bool initialState, std::string_view name, CreateMode mode) {
  ObjState s = InitState(Kind::Event);
  s.manualReset = manualReset;
  s.signaled = initialState;
  return MakeObject(Kind::Event, name, true, mode, s);
}

Handle OpenEvent(std::string_view name) {
  return MakeObject(Kind::Event, name, false, CreateMode::OpenOrCreate, InitState(Kind::Event));
}

bool SetEvent(const Handle& event) {
  return Modify(event, Kind::Event, [](Object& o) {
    o.st->signaled = 1;
    return true;
  });
}

bool ResetEvent(const Handle& event) {
  Object* o = event.get();
  if (!o || o->kind() != Kind::Event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DomainLock lock(o->shared ? o->seg.get() : nullptr, !o->shared);
  o->st->signaled = 0;
  return true;
}

bool PulseEvent(const Handle& event) {
  return Modify(event, Kind::Event, [](Object& o) {
    ObjState& s = *o.st;
    s.signaled = 0;
    ++s.pulseGen;
    if (!s.manualReset) s.pulseTokens = std::min(s.pulseTokens + 1, RegisteredCount(o));
    return true;
  });
}

Handle CreateMutex(bool initialOwner, std::string_view name, CreateMode mode) {
  ObjState s = InitState(Kind::Mutex);
  if (initialOwner) {
    s.ownerPid = CurrentPid();
    s.ownerTid = CurrentTid();
    s.ownerStart = CurrentProcessStart();
    s.recursion = 1;
  }
  return MakeObject(Kind::Mutex, name, true, mode, s);
}

Handle OpenMutex(std::string_view name) {
  return MakeObject(Kind::Mutex, name, false, CreateMode::OpenOrCreate, InitState(Kind::Mutex));
}

bool ReleaseMutex(const Handle& mutex) {
  return Modify(mutex, Kind::Mutex, [](Object& o) {
    ObjState& s = *o.st;
    if (!OwnedByMe(s)) {
      SetLastError(ERROR_NOT_OWNER);
      return false;
    }
    if (--s.recursion == 0) {
      s.ownerPid = 0;
      s.ownerTid = 0;
      s.ownerStart = 0;
    }
    return true;
  });
}

Handle CreateSemaphore(int32_t initialCount, int32_t maximumCount, std::string_view name, CreateMode mode) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  ObjState s = InitState(Kind::Semaphore);
  s.count = initialCount;
  s.maximum = maximumCount;
  return MakeObject(Kind::Semaphore, name, true, mode, s);
}

Handle OpenSemaphore(std::string_view name) {
  return MakeObject(Kind::Semaphore, name, false, CreateMode::OpenOrCreate, InitState(Kind::Semaphore));
}

bool ReleaseSemaphore(const Handle& semaphore, int32_t releaseCount, int32_t* previousCount) {
  if (releaseCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return Modify(semaphore, Kind::Semaphore, [&](Object& o) {
    ObjState& s = *o.st;
    if (releaseCount > s.maximum - s.count) {
      SetLastError(ERROR_TOO_MANY_POSTS);
      return false;
    }
    if (previousCount) *previousCount = s.count;
    s.count += releaseCount;
    return true;
  });
}

uint32_t WaitForSingleObject(const Handle& handle, uint32_t timeoutMs) {
  return WaitForMultipleObjects(1, &handle, false, timeoutMs);
}

uint32_t WaitForMultipleObjects(uint32_t count, const Handle* handles, bool waitAll, uint32_t timeoutMs) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  Object* objs[MAXIMUM_WAIT_OBJECTS];
  SharedSegment* arenaOf = nullptr;
  bool anyLocal = false;
  for (uint32_t i = 0; i < count; ++i) {
    objs[i] = handles[i].get();
    if (!objs[i] || objs[i]->kind() == Kind::Mapping) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (objs[i]->shared)
      arenaOf = objs[i]->seg.get();
    else
      anyLocal = true;
  }
  const uint64_t start = MonotonicMs();
  DomainLock lock(arenaOf, anyLocal);
  Waiter waiter;
  if (arenaOf) {
    waiter.slot = AllocWaiterSlot(*arenaOf);
    if (waiter.slot < 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return WAIT_FAILED;
    }
    waiter.word = WaiterSlotWord(*arenaOf, waiter.slot);
  } else {
    waiter.word = &t_word;
  }
  uint32_t seen[MAXIMUM_WAIT_OBJECTS];
  for (uint32_t i = 0; i < count; ++i) seen[i] = objs[i]->st->pulseGen;

  uint32_t result = WAIT_TIMEOUT;
  for (;;) {
    if (waitAll) {
      Ready ready[MAXIMUM_WAIT_OBJECTS];
      bool all = true;
      for (uint32_t i = 0; i < count && all; ++i) {
        ready[i] = CanAcquire(*objs[i]->st, seen[i]);
        all = ready[i] != Ready::No;
      }
      if (all) {
        result = WAIT_OBJECT_0;
        for (uint32_t i = 0; i < count; ++i) {
          Acquire(*objs[i]->st, ready[i]);
          if (ready[i] == Ready::Abandoned && result == WAIT_OBJECT_0) result = WAIT_ABANDONED_0 + i;
        }
        break;
      }
    } else {
      bool done = false;
      for (uint32_t i = 0; i < count && !done; ++i) {
        Ready r = CanAcquire(*objs[i]->st, seen[i]);
        if (r != Ready::No) {
          Acquire(*objs[i]->st, r);
          result = (r == Ready::Abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
          done = true;
        }
      }
      if (done) break;
    }
    uint32_t sleepMs = INFINITE;
    if (timeoutMs != INFINITE) {
      const uint64_t elapsed = MonotonicMs() - start;
      if (elapsed >= timeoutMs) {
        result = WAIT_TIMEOUT;
        break;
      }
      sleepMs = static_cast<uint32_t>(timeoutMs - elapsed);
    }
    for (uint32_t i = 0; i < count; ++i) {
      ObjState& s = *objs[i]->st;
      seen[i] = s.pulseGen;
      Register(*objs[i], waiter);
      if (static_cast<Kind>(s.kind) == Kind::Mutex && s.recursion > 0)
        sleepMs = std::min(sleepMs, kOwnerPollMs);
    }
    waiter.word->store(0, std::memory_order_relaxed);
    lock.Unlock();
    FutexWait(waiter.word, 0, sleepMs);
    lock.Lock();
  }
  for (uint32_t i = 0; i < count; ++i) Unregister(*objs[i], waiter);
  if (waiter.slot >= 0) FreeWaiterSlot(*arenaOf, waiter.slot);
  return result;
}

Handle CreateFileMapping(size_t size, std::string_view name, CreateMode mode) {
  if (size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  ObjState s = InitState(Kind::Mapping);
  s.mappingSize = size;
  return MakeObject(Kind::Mapping, name, true, mode, s, size);
}

Handle OpenFileMapping(std::string_view name) {
  return MakeObject(Kind::Mapping, name, false, CreateMode::OpenOrCreate, InitState(Kind::Mapping));
}

size_t GetMappingSize(const Handle& mapping) {
  Object* o = mapping.get();
  if (!o || o->kind() != Kind::Mapping) return 0;
  return o->shared ? SegmentDataSize(*o->seg) : static_cast<size_t>(o->st->mappingSize);
}

void* MapViewOfFile(const Handle& mapping) {
  Object* o = mapping.get();
  if (!o || o->kind() != Kind::Mapping) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* data = o->shared ? SegmentData(*o->seg) : o->localData.get();
  std::lock_guard<std::mutex> guard(g_views);
  auto& entry = Views()[data];
  entry.first = mapping.object();
  ++entry.second;
  return data;
}

bool UnmapViewOfFile(const void* view) {
  std::shared_ptr<Object> last;  // dropped outside the lock
  std::lock_guard<std::mutex> guard(g_views);
  auto it = Views().find(view);
  if (it == Views().end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (--it->second.second == 0) {
    last = std::move(it->second.first);
    Views().erase(it);
  }
  return true;
}

}  // namespace tvk
