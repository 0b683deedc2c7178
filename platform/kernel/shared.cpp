// Named objects in POSIX shared memory.
//
// Each named object is one segment file: a header page (kind, size, state) and, for a mapping, the
// data after it. The segments and their lock files live in the user's private kernel folder of the
// runtime folder, never in the shared /dev/shm: another user can neither see their names nor make
// one first to block ours. Every process holding the object keeps a shared flock on a lock file of
// the same name, so "somebody still holds it" is what the kernel says, also after a
// crash: an opener that gets the lock exclusively knows nobody holds the object and starts it afresh,
// whatever a killed process left in the segment. Opening and the last close run under one
// namespace-wide creation lock, so they never interleave between processes.
//
// The state of every shared object of a namespace is guarded by one robust process-shared mutex in
// the namespace's arena segment, which also holds the futex words of the threads waiting on shared
// objects. One lock keeps waits on several objects simple and atomic (wait-all included); the
// traffic on these objects is a few thousand operations a second at most.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/kernel/detail.h"
#include "platform/kernel/runtime.h"

namespace tvk::detail {
namespace {

constexpr uint32_t kMagic = 0x4B564555;  // "TEVK" + layout version
constexpr uint32_t kArenaKind = 100;
constexpr size_t kHeaderBytes = 4096;

struct SegHeader {
  uint32_t magic;
  uint32_t kind;
  uint64_t dataSize;
  ObjState state;
};
static_assert(sizeof(SegHeader) <= kHeaderBytes);

struct ArenaSlot {
  std::atomic<uint32_t> word;
  int32_t pid;
  int32_t tid;
  uint32_t inUse;
};

struct Arena {
  uint32_t magic;
  uint32_t kind;
  pthread_mutex_t lock;
  ArenaSlot slots[kWaiterSlots];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

}  // namespace

struct SharedSegment {
  std::string key;  // SystemObjectName
  std::string segPath;
  std::string lockPath;
  int lockFd = -1;
  void* base = nullptr;
  size_t length = 0;
  std::shared_ptr<SharedSegment> arena;  // null for the arena itself
  bool registered = false;               // in the registry, holding its shared lock

  ~SharedSegment();
  SegHeader* header() const { return static_cast<SegHeader*>(base); }
  Arena* arenaLayout() const { return static_cast<Arena*>(arena ? arena->base : base); }
};

namespace {

std::mutex g_registry;  // serialises opening and closing within the process
std::map<std::string, std::weak_ptr<SharedSegment>>& Registry() {
  static auto* registry = new std::map<std::string, std::weak_ptr<SharedSegment>>;
  return *registry;
}

int Flock(int fd, int op) {
  int rc;
  while ((rc = flock(fd, op)) != 0 && errno == EINTR) {
  }
  return rc;
}

// The namespace-wide creation lock (held with g_registry).
class CreationLock {
 public:
  CreationLock() {
    const std::string dir = KernelLockDir();
    if (dir.empty()) return;
    const std::string path = dir + "/create-" + SystemObjectName("") + "lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && Flock(fd_, LOCK_EX) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~CreationLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

uint32_t ErrnoToError(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
    case EINVAL:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_INVALID_HANDLE;
  }
}

// Nobody holds the arena, so nobody holds any object of the namespace: whatever killed processes
// left behind goes.
void SweepNamespace(const std::string& dir) {
  const std::string prefix = SystemObjectName("");
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0 &&
        std::strcmp(e->d_name + prefix.size(), "%arena.seg") != 0 &&
        std::strcmp(e->d_name + prefix.size(), "%arena.lock") != 0)
      unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

int OpenSegmentFile(const std::string& path, int flags) {
  int fd;
  while ((fd = open(path.c_str(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600)) < 0 && errno == EINTR) {
  }
  return fd;
}

void InitArena(Arena* a) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&a->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  for (ArenaSlot& s : a->slots) {
    s.word.store(0);
    s.pid = s.tid = 0;
    s.inUse = 0;
  }
}

// Opens (or creates, or starts afresh) one segment. Caller holds g_registry.
std::shared_ptr<SharedSegment> OpenLocked(const std::string& key, uint32_t kind, bool create, CreateMode mode,
                                          const ObjState* init, size_t dataSize,
                                          std::shared_ptr<SharedSegment> arena) {
  auto& registry = Registry();
  if (auto it = registry.find(key); it != registry.end()) {
    if (auto seg = it->second.lock()) {
      if (seg->header()->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      if (create && mode == CreateMode::CreateNew) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return nullptr;
      }
      SetLastError(ERROR_ALREADY_EXISTS);
      return seg;
    }
  }
  CreationLock creation;
  const std::string dir = KernelLockDir();
  if (!creation.ok() || dir.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto seg = std::make_shared<SharedSegment>();
  seg->key = key;
  // Distinct suffixes: no name's segment file is another name's lock file.
  seg->segPath = dir + "/" + key + ".seg";
  seg->lockPath = dir + "/" + key + ".lock";
  seg->arena = std::move(arena);
  seg->lockFd = open(seg->lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (seg->lockFd < 0) {
    SetLastError(ErrnoToError(errno));
    return nullptr;
  }
  const bool nobodyHolds = Flock(seg->lockFd, LOCK_EX | LOCK_NB) == 0;
  int fd = -1;
  bool fresh = false;
  if (!nobodyHolds) {
    fd = OpenSegmentFile(seg->segPath, 0);
    if (fd < 0 && errno != ENOENT) {
      SetLastError(ErrnoToError(errno));
      return nullptr;
    }
  }
  if (fd >= 0) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) < kHeaderBytes) {
      close(fd);
      fd = -1;  // a holder died while making it: start afresh
    }
  }
  if (fd < 0) {
    if (!create) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      if (nobodyHolds) {
        unlink(seg->segPath.c_str());  // a killed holder's leftovers
        unlink(seg->lockPath.c_str());
      }
      return nullptr;
    }
    unlink(seg->segPath.c_str());
    fd = OpenSegmentFile(seg->segPath, O_CREAT | O_EXCL);
    const size_t length = kind == kArenaKind ? sizeof(Arena) : kHeaderBytes + dataSize;
    // Blocks are reserved now: a full file system later would fault a write into the mapping.
    int rc = fd < 0 ? errno : 0;
    if (rc == 0) rc = ftruncate(fd, static_cast<off_t>(length)) != 0 ? errno : 0;
    if (rc == 0) rc = posix_fallocate(fd, 0, static_cast<off_t>(length));
    if (rc != 0) {
      SetLastError(ErrnoToError(rc));
      if (fd >= 0) {
        close(fd);
        unlink(seg->segPath.c_str());
      }
      return nullptr;
    }
    fresh = true;
  }
  struct stat st {};
  fstat(fd, &st);
  seg->length = static_cast<size_t>(st.st_size);
  seg->base = mmap(nullptr, seg->length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (seg->base == MAP_FAILED) {
    seg->base = nullptr;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (fresh) {
    if (kind == kArenaKind) {
      SweepNamespace(dir);
      InitArena(static_cast<Arena*>(seg->base));
    } else {
      SegHeader* h = seg->header();
      h->state = *init;
      h->dataSize = dataSize;
    }
    seg->header()->kind = kind;
    seg->header()->magic = kMagic;
  } else if (seg->header()->magic != kMagic || seg->header()->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;  // the destructor drops our lock and mapping
  } else if (create && mode == CreateMode::CreateNew) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  // Now a holder (a downgrade when we made it): no one can hold it exclusively meanwhile, as every
  // opener and every last close runs under the creation lock.
  if (Flock(seg->lockFd, LOCK_SH) != 0) {
    SetLastError(ErrnoToError(errno));
    return nullptr;
  }
  registry[key] = seg;
  seg->registered = true;
  SetLastError(fresh ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return seg;
}

}  // namespace

SharedSegment::~SharedSegment() {
  if (!registered) {  // a failed open: the opener still holds the locks
    if (base) munmap(base, length);
    if (lockFd >= 0) close(lockFd);
    return;
  }
  std::lock_guard<std::mutex> guard(g_registry);
  auto& registry = Registry();
  if (auto it = registry.find(key); it != registry.end() && it->second.expired()) registry.erase(it);
  if (lockFd >= 0) {
    CreationLock creation;
    if (base) munmap(base, length);
    // Exclusive now means we were the last holder anywhere: the object goes.
    if (creation.ok() && Flock(lockFd, LOCK_EX | LOCK_NB) == 0 && base) {
      unlink(segPath.c_str());
      unlink(lockPath.c_str());
    }
    close(lockFd);
  }
  // The arena reference goes after the creation lock is released.
}

std::shared_ptr<SharedSegment> OpenSegment(std::string_view name, Kind kind, bool create, CreateMode mode,
                                           const ObjState& init, size_t dataSize) {
  std::shared_ptr<SharedSegment> arena;
  {
    std::lock_guard<std::mutex> guard(g_registry);
    arena = OpenLocked(SystemObjectName("") + "%arena", kArenaKind, true, CreateMode::OpenOrCreate, nullptr,
                       0, nullptr);
    if (!arena) return nullptr;
  }
  std::lock_guard<std::mutex> guard(g_registry);
  return OpenLocked(SystemObjectName(name), static_cast<uint32_t>(kind), create, mode, &init, dataSize,
                    arena);
}

ObjState* SegmentState(SharedSegment& seg) { return &seg.header()->state; }
void* SegmentData(SharedSegment& seg) { return static_cast<uint8_t*>(seg.base) + kHeaderBytes; }
size_t SegmentDataSize(SharedSegment& seg) { return static_cast<size_t>(seg.header()->dataSize); }

void LockArena(SharedSegment& anyObject) {
  pthread_mutex_t* m = &anyObject.arenaLayout()->lock;
  if (pthread_mutex_lock(m) == EOWNERDEAD) pthread_mutex_consistent(m);
}

void UnlockArena(SharedSegment& anyObject) { pthread_mutex_unlock(&anyObject.arenaLayout()->lock); }

int AllocWaiterSlot(SharedSegment& anyObject) {
  Arena* a = anyObject.arenaLayout();
  int reusable = -1;
  for (int i = 0; i < static_cast<int>(kWaiterSlots); ++i) {
    ArenaSlot& s = a->slots[i];
    if (!s.inUse || (reusable < 0 && !ThreadAlive(s.pid, s.tid))) {
      if (!s.inUse) {
        reusable = i;
        break;
      }
      reusable = i;  // a waiter that was killed while waiting
    }
  }
  if (reusable < 0) return -1;
  ArenaSlot& s = a->slots[reusable];
  s.inUse = 1;
  s.pid = CurrentPid();
  s.tid = CurrentTid();
  s.word.store(0);
  return reusable;
}

void FreeWaiterSlot(SharedSegment& anyObject, int slot) {
  ArenaSlot& s = anyObject.arenaLayout()->slots[slot];
  s.inUse = 0;
  s.pid = s.tid = 0;
}

std::atomic<uint32_t>* WaiterSlotWord(SharedSegment& anyObject, int slot) {
  return &anyObject.arenaLayout()->slots[slot].word;
}

void WakeSharedWaiters(SharedSegment& object) {
  Arena* a = object.arenaLayout();
  const ObjState& s = object.header()->state;
  for (uint32_t w = 0; w < kWaiterSlots / 32; ++w) {
    for (uint32_t bits = s.waiterBits[w]; bits; bits &= bits - 1) {
      ArenaSlot& slot = a->slots[w * 32 + static_cast<uint32_t>(__builtin_ctz(bits))];
      slot.word.store(1, std::memory_order_release);
      FutexWake(&slot.word);
    }
  }
}

}  // namespace tvk::detail
