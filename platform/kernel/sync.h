// Waitable kernel objects: events, mutexes and counting semaphores, in-process (unnamed) or shared
// between processes (named), with one wait over any mix of them. Also named file mappings.
//
// Named objects live in POSIX shared memory and follow the Windows rules callers rely on: a name
// opened twice is the same object, in one process or in two, and "already exists" is known (the
// create calls set ERROR_ALREADY_EXISTS); names are case-sensitive; an object lives while any handle
// is open and is gone when the last one closes, also when its holders were killed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

#include "platform/kernel/error.h"

namespace tvk {

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_ABANDONED_0 = 0x80;
inline constexpr uint32_t WAIT_TIMEOUT = 0x102;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr uint32_t MAXIMUM_WAIT_OBJECTS = 64;

namespace detail {
struct Object;
}

// A handle to a kernel object. Copies share one open handle; the object is closed when the last copy
// goes (or Close() is called on every copy).
class Handle {
 public:
  Handle() = default;
  explicit Handle(std::shared_ptr<detail::Object> object) : object_(std::move(object)) {}
  explicit operator bool() const { return object_ != nullptr; }
  bool operator==(const Handle& other) const { return object_ == other.object_; }
  void Close() { object_.reset(); }
  detail::Object* get() const { return object_.get(); }
  const std::shared_ptr<detail::Object>& object() const { return object_; }

 private:
  std::shared_ptr<detail::Object> object_;
};

inline void CloseHandle(Handle& handle) { handle.Close(); }

// How a create call treats an existing object of that name.
enum class CreateMode {
  OpenOrCreate,  // the Windows default: open it (ERROR_ALREADY_EXISTS) or create it
  CreateNew,     // fail with ERROR_ALREADY_EXISTS when it exists
};

// Events. An empty name makes an in-process object. A failed call returns an empty handle and sets
// the last error.
Handle CreateEvent(bool manualReset, bool initialState, std::string_view name = {},
                   CreateMode mode = CreateMode::OpenOrCreate);
Handle OpenEvent(std::string_view name);  // ERROR_FILE_NOT_FOUND when no such object
bool SetEvent(const Handle& event);       // idempotent: a set event stays set, nothing counts
bool ResetEvent(const Handle& event);
// Releases the threads waiting at this moment (auto-reset: one of them) and leaves the event clear.
bool PulseEvent(const Handle& event);

// Mutexes: owned by a thread, recursive. A holder that died (thread or process) leaves the mutex
// abandoned: the next wait acquires it and returns WAIT_ABANDONED_0 + index.
Handle CreateMutex(bool initialOwner, std::string_view name = {}, CreateMode mode = CreateMode::OpenOrCreate);
Handle OpenMutex(std::string_view name);
// False with ERROR_NOT_OWNER, changing nothing, when the calling thread does not hold it.
bool ReleaseMutex(const Handle& mutex);

// Counting semaphores with a maximum.
Handle CreateSemaphore(int32_t initialCount, int32_t maximumCount, std::string_view name = {},
                       CreateMode mode = CreateMode::OpenOrCreate);
Handle OpenSemaphore(std::string_view name);
// Adds releaseCount; refused (false, ERROR_TOO_MANY_POSTS, count unchanged) past the maximum.
bool ReleaseSemaphore(const Handle& semaphore, int32_t releaseCount = 1, int32_t* previousCount = nullptr);

// Waits. Result: WAIT_OBJECT_0 + i (waitAll: WAIT_OBJECT_0), WAIT_ABANDONED_0 + i, WAIT_TIMEOUT, or
// WAIT_FAILED with the last error set (an empty handle, a mapping, more than 64 handles).
// waitAll == false takes the lowest-index object that is signalled; waitAll == true acquires all of
// them at once or none.
uint32_t WaitForSingleObject(const Handle& handle, uint32_t timeoutMs);
uint32_t WaitForMultipleObjects(uint32_t count, const Handle* handles, bool waitAll, uint32_t timeoutMs);
inline uint32_t WaitForMultipleObjects(std::span<const Handle> handles, bool waitAll, uint32_t timeoutMs) {
  return WaitForMultipleObjects(static_cast<uint32_t>(handles.size()), handles.data(), waitAll, timeoutMs);
}
inline uint32_t WaitForMultipleObjects(std::initializer_list<Handle> handles, bool waitAll,
                                       uint32_t timeoutMs) {
  return WaitForMultipleObjects(static_cast<uint32_t>(handles.size()), handles.begin(), waitAll, timeoutMs);
}

// File mappings (the paging-file kind: zero-filled shared memory of a fixed size). An empty name
// makes an in-process block. Opening an existing mapping keeps its size.
Handle CreateFileMapping(size_t size, std::string_view name = {}, CreateMode mode = CreateMode::OpenOrCreate);
Handle OpenFileMapping(std::string_view name);
size_t GetMappingSize(const Handle& mapping);  // 0 for anything else
// A view of the whole mapping. The view keeps the mapping alive until UnmapViewOfFile, also after the
// handle is closed. Null with the last error set on failure.
void* MapViewOfFile(const Handle& mapping);
bool UnmapViewOfFile(const void* view);

}  // namespace tvk
