#include "tuner/wrapper/block_queue.h"

#include <cstring>

void CTsBlockQueue::Push(const std::uint8_t* block) {
  std::lock_guard lock(m_lock);
  if (m_blocks.size() >= m_capacity) {
    m_blocks.pop_front();
    ++m_dropped;
  }
  m_blocks.emplace_back();
  std::memcpy(m_blocks.back().data(), block, kBlockSize);
}

bool CTsBlockQueue::Pop(std::uint8_t* out) {
  std::lock_guard lock(m_lock);
  if (m_blocks.empty()) return false;
  std::memcpy(out, m_blocks.front().data(), kBlockSize);
  m_blocks.pop_front();
  return true;
}

void CTsBlockQueue::Clear() {
  std::lock_guard lock(m_lock);
  m_blocks.clear();
}

std::size_t CTsBlockQueue::Size() const {
  std::lock_guard lock(m_lock);
  return m_blocks.size();
}

std::uint64_t CTsBlockQueue::Dropped() const {
  std::lock_guard lock(m_lock);
  return m_dropped;
}
