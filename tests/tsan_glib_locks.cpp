// Linked into every test of the ThreadSanitizer build. GLib 2.74 builds GMutex and GCond straight
// on futexes, and hands thread-pool work over through its own queue, none of which TSan
// intercepts: every GST_OBJECT_LOCK section passed from one streaming thread to another (bin
// messages, debug categories, pad and task state) and every pad task's start looks like a race.
// Defined in the executable, these wrappers take the calls GStreamer and its plugins make through
// the PLT and tell TSan the edges GLib makes: a lock's acquire and release, and a pool item's
// hand-over (keyed on the item, so no wider than the real edge). The work itself stays GLib's.
// GLib's calls to itself bind directly and stay unseen (see tests/tsan.supp).
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

template <typename F>
F Real(const char* name) {
  void* f = dlsym(RTLD_NEXT, name);
  if (!f) {
    std::fprintf(stderr, "tsan_glib_locks: %s not found\n", name);
    std::abort();
  }
  return reinterpret_cast<F>(f);
}

// GLib's types as its ABI has them; C linkage keeps the names GLib's.
using GMutex = void;
using GCond = void;
using gboolean = int;
using gint64 = std::int64_t;
constexpr gboolean FALSE = 0;
constexpr gboolean TRUE = 1;

using LockFn = void (*)(GMutex*);
using TryLockFn = gboolean (*)(GMutex*);
using WaitFn = void (*)(GCond*, GMutex*);
using WaitUntilFn = gboolean (*)(GCond*, GMutex*, gint64);
using GThreadPool = void;
using GError = void;
using GFunc = void (*)(void* data, void* user_data);
using PoolNewFn = GThreadPool* (*)(GFunc, void*, int, gboolean, GError**);
using PoolPushFn = gboolean (*)(GThreadPool*, void*, GError**);

// A pool's own worker function, run behind PoolWorker. Kept for the process: GStreamer's pools
// live as long as it does.
struct PoolFunc {
  GFunc func;
  void* user_data;
};

void PoolWorker(void* data, void* pool_func) {
  __tsan_acquire(data);
  const auto* f = static_cast<const PoolFunc*>(pool_func);
  f->func(data, f->user_data);
}

}  // namespace

extern "C" {

void g_mutex_lock(GMutex* mutex) {
  static const auto real = Real<LockFn>("g_mutex_lock");
  real(mutex);
  __tsan_acquire(mutex);
}

gboolean g_mutex_trylock(GMutex* mutex) {
  static const auto real = Real<TryLockFn>("g_mutex_trylock");
  if (!real(mutex)) return FALSE;
  __tsan_acquire(mutex);
  return TRUE;
}

void g_mutex_unlock(GMutex* mutex) {
  static const auto real = Real<LockFn>("g_mutex_unlock");
  __tsan_release(mutex);
  real(mutex);
}

void g_cond_wait(GCond* cond, GMutex* mutex) {
  static const auto real = Real<WaitFn>("g_cond_wait");
  __tsan_release(mutex);
  real(cond, mutex);
  __tsan_acquire(mutex);
}

gboolean g_cond_wait_until(GCond* cond, GMutex* mutex, gint64 end_time) {
  static const auto real = Real<WaitUntilFn>("g_cond_wait_until");
  __tsan_release(mutex);
  const gboolean signalled = real(cond, mutex, end_time);
  __tsan_acquire(mutex);
  return signalled;
}

GThreadPool* g_thread_pool_new(GFunc func, void* user_data, int max_threads, gboolean exclusive,
                               GError** error) {
  static const auto real = Real<PoolNewFn>("g_thread_pool_new");
  return real(PoolWorker, new PoolFunc{func, user_data}, max_threads, exclusive, error);
}

gboolean g_thread_pool_push(GThreadPool* pool, void* data, GError** error) {
  static const auto real = Real<PoolPushFn>("g_thread_pool_push");
  __tsan_release(data);
  return real(pool, data, error);
}

}  // extern "C"
