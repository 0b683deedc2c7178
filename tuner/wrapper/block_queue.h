// The wrapper's queue of 1128-byte transport-stream blocks (six packets each), first in first out.
// Bounded: when nobody takes blocks the oldest are dropped and counted, so an unread queue cannot grow
// without end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

class CTsBlockQueue {
 public:
  static constexpr std::size_t kBlockSize = 1128;
  // About 45 seconds of a one-segment stream.
  static constexpr std::size_t kDefaultCapacity = 2048;

  explicit CTsBlockQueue(std::size_t capacity = kDefaultCapacity) : m_capacity(capacity ? capacity : 1) {}

  void Push(const std::uint8_t* block);
  // Moves the oldest block into out; false when empty.
  bool Pop(std::uint8_t* out);
  void Clear();
  std::size_t Size() const;
  std::uint64_t Dropped() const;

 private:
  using Block = std::array<std::uint8_t, kBlockSize>;
  mutable std::mutex m_lock;
  std::deque<Block> m_blocks;
  std::size_t m_capacity;
  std::uint64_t m_dropped = 0;
};
