#include "tuner/wrapper/block_queue.h"

#include <gtest/gtest.h>

namespace {

std::array<std::uint8_t, CTsBlockQueue::kBlockSize> Block(std::uint8_t tag) {
  std::array<std::uint8_t, CTsBlockQueue::kBlockSize> b;
  b.fill(tag);
  b[0] = 0x47;
  b.back() = static_cast<std::uint8_t>(tag ^ 0xFF);
  return b;
}

}  // namespace

TEST(TsBlockQueue, FirstInFirstOutWithWholeBlocks) {
  CTsBlockQueue q;
  for (std::uint8_t t = 1; t <= 3; ++t) q.Push(Block(t).data());
  EXPECT_EQ(q.Size(), 3u);
  std::array<std::uint8_t, CTsBlockQueue::kBlockSize> out{};
  for (std::uint8_t t = 1; t <= 3; ++t) {
    ASSERT_TRUE(q.Pop(out.data()));
    EXPECT_EQ(out, Block(t));
  }
  EXPECT_FALSE(q.Pop(out.data()));
  EXPECT_EQ(q.Dropped(), 0u);
}

TEST(TsBlockQueue, FullQueueDropsTheOldestAndCounts) {
  CTsBlockQueue q(4);
  for (std::uint8_t t = 1; t <= 10; ++t) q.Push(Block(t).data());
  EXPECT_EQ(q.Size(), 4u);
  EXPECT_EQ(q.Dropped(), 6u);
  std::array<std::uint8_t, CTsBlockQueue::kBlockSize> out{};
  ASSERT_TRUE(q.Pop(out.data()));
  EXPECT_EQ(out, Block(7));
  q.Clear();
  EXPECT_EQ(q.Size(), 0u);
  EXPECT_EQ(q.Dropped(), 6u);
}
