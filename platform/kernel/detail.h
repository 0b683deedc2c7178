// Internal layout shared by the in-process and the shared-memory objects.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/kernel/sync.h"

namespace tvk::detail {

enum class Kind : uint32_t { Event = 1, Mutex = 2, Semaphore = 3, Mapping = 4 };

// Waiting threads of shared objects, per namespace (one bit each in an object's waiter set).
inline constexpr uint32_t kWaiterSlots = 256;

// The state of one object. Plain data: it lives on the heap or in a shared segment.
struct ObjState {
  uint32_t kind;
  uint32_t manualReset;
  uint32_t signaled;
  uint32_t pulseGen;    // bumped by each pulse; a waiter that saw an older value was released
  int32_t pulseTokens;  // auto-reset pulse: waiters still to release
  int32_t count;        // semaphore
  int32_t maximum;
  int32_t ownerPid;  // mutex
  int32_t ownerTid;
  uint64_t ownerStart;  // start time of the owner's process, so a reused pid is not taken for it
  uint32_t recursion;
  uint64_t mappingSize;
  uint32_t waiterBits[kWaiterSlots / 32];
};

struct SharedSegment;
struct Waiter;

struct Object {
  ObjState* st = nullptr;
  bool shared = false;
  // in-process objects
  ObjState local{};
  std::vector<Waiter*> waiters;
  std::unique_ptr<uint8_t[]> localData;
  // shared objects
  std::shared_ptr<SharedSegment> seg;

  Kind kind() const { return static_cast<Kind>(st->kind); }
};

// Shared segments (shared.cpp). All calls set the last error on failure.
std::shared_ptr<SharedSegment> OpenSegment(std::string_view name, Kind kind, bool create, CreateMode mode,
                                           const ObjState& init, size_t dataSize);
ObjState* SegmentState(SharedSegment& seg);
void* SegmentData(SharedSegment& seg);
size_t SegmentDataSize(SharedSegment& seg);

// The arena lock guards the state of every shared object of the process's namespace.
void LockArena(SharedSegment& anyObject);
void UnlockArena(SharedSegment& anyObject);
// Under the arena lock.
int AllocWaiterSlot(SharedSegment& anyObject);
void FreeWaiterSlot(SharedSegment& anyObject, int slot);
std::atomic<uint32_t>* WaiterSlotWord(SharedSegment& anyObject, int slot);
void WakeSharedWaiters(SharedSegment& object);

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMs);
void FutexWake(std::atomic<uint32_t>* word);

// Whether thread tid of process pid still runs; with a start time, also whether pid is still the
// process that started then (0: not checked).
bool ThreadAlive(int32_t pid, int32_t tid, uint64_t processStart = 0);
// The start time of a process (clock ticks after boot), 0 when unknown.
uint64_t ProcessStartTime(int32_t pid);
uint64_t CurrentProcessStart();
int32_t CurrentPid();
int32_t CurrentTid();
uint64_t MonotonicMs();

}  // namespace tvk::detail
