#include "filter/bsac/bit_layer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filter/bsac/bit_reader.h"

namespace {

using bsac::BitBuffer;
using bsac::BitStream;

std::vector<int> Bits(const BitBuffer& b) {
  std::vector<int> v;
  for (uint32_t i = 0; i < b.valid_bits; ++i) v.push_back((b.bytes[i / 8] >> (7 - i % 8)) & 1);
  return v;
}

BitBuffer FromBits(const std::vector<int>& bits, uint32_t capacity) {
  BitBuffer b = bsac::bitbuffer_alloc(capacity);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) b.bytes[i / 8] |= uint8_t(0x80 >> (i % 8));
  b.valid_bits = uint32_t(bits.size());
  return b;
}

TEST(BitLayer, AllocRoundsUpToWholeBytes) {
  const BitBuffer b = bsac::bitbuffer_alloc(13);
  EXPECT_EQ(b.capacity_bits, 16u);
  EXPECT_EQ(b.valid_bits, 0u);
}

// Random unaligned appends and removals against a plain vector of bits.
TEST(BitLayer, AppendAndCloseWithRemovalMatchAModel) {
  std::mt19937 rng(7);
  std::vector<int> source_bits(20000);
  for (int& b : source_bits) b = int(rng() & 1);
  BitBuffer source = FromBits(source_bits, 20000);
  BitStream from = bsac::bitstream_open(source);
  BitBuffer target = bsac::bitbuffer_alloc(30000);
  std::vector<int> model;
  size_t read = 0;
  for (int round = 0; round < 400 && read < source_bits.size(); ++round) {
    const uint32_t n = std::min<uint32_t>(uint32_t(rng() % 97), uint32_t(source_bits.size() - read));
    ASSERT_TRUE(bsac::bitstream_append(from, target, n));
    model.insert(model.end(), source_bits.begin() + long(read), source_bits.begin() + long(read + n));
    read += n;
    ASSERT_EQ(from.position, read);
    if (round % 5 == 4) {
      // Take a non-byte-aligned prefix out of the target.
      BitStream cut = bsac::bitstream_open(target);
      const uint32_t k = uint32_t(rng() % (model.size() + 1));
      if (k % 8 == 0 && k > 0) continue;
      ASSERT_EQ(bsac::bitstream_skip(cut, k), 0);
      bsac::bitstream_close(cut, true);
      model.erase(model.begin(), model.begin() + k);
    }
    ASSERT_EQ(Bits(target), model) << "round " << round;
  }
  // Removal at a byte boundary too.
  BitStream cut = bsac::bitstream_open(target);
  ASSERT_EQ(bsac::bitstream_skip(cut, 16), 0);
  bsac::bitstream_close(cut, true);
  model.erase(model.begin(), model.begin() + 16);
  EXPECT_EQ(Bits(target), model);
}

TEST(BitLayer, RefusesWhatDoesNotFit) {
  BitBuffer source = FromBits(std::vector<int>(40, 1), 40);
  BitStream from = bsac::bitstream_open(source);
  BitBuffer small = bsac::bitbuffer_alloc(16);
  EXPECT_FALSE(bsac::bitstream_append(from, small, 17));  // no room
  EXPECT_EQ(from.position, 0u);
  EXPECT_EQ(small.valid_bits, 0u);
  BitBuffer big = bsac::bitbuffer_alloc(100);
  EXPECT_FALSE(bsac::bitstream_append(from, big, 41));  // the source lacks bits
  EXPECT_TRUE(bsac::bitstream_append(from, big, 40));
  EXPECT_EQ(bsac::bitstream_skip(from, 1), 1);  // nothing left: the cursor stays
  EXPECT_EQ(from.position, 40u);
  EXPECT_EQ(bsac::bitstream_skip(from, 0), 0);
}

TEST(BitReader, ReadsAlignedAndUnalignedWithZerosPastTheEnd) {
  const uint8_t data[] = {0xA5, 0x3C, 0xFF, 0x01, 0x80};
  bsac::BitReader r;
  r.Attach(data, sizeof data);
  EXPECT_EQ(r.getbits(0), 0u);
  EXPECT_EQ(r.getbits(8), 0xA5u);     // whole bytes
  EXPECT_EQ(r.getbits(3), 0x1u);      // 001 of 0x3C
  EXPECT_EQ(r.getbits(16), 0xE7F8u);  // 11100 11111111 000 across three bytes
  EXPECT_EQ(r.bits_read(), 27u);
  r.Skip(5);
  EXPECT_EQ(r.getbits(24), 0x800000u);  // 0x80, then zeros past the end
  EXPECT_EQ(r.getbits(32), 0u);
  EXPECT_EQ(r.ReadBit(), 0);
  EXPECT_EQ(r.bits_read(), 32u + 24 + 32 + 1);
}

TEST(BitReader, AttachPadsTheWorkBufferWith192ZeroBits) {
  BitBuffer b = bsac::bitbuffer_alloc(256);
  for (auto& byte : b.bytes) byte = 0xFF;  // stale bytes after the frame
  b.valid_bits = 16;
  BitStream s = bsac::bitstream_open(b);
  bsac::BitReader r;
  r.Attach(s);
  EXPECT_EQ(b.valid_bits, 16u + 192);
  EXPECT_EQ(r.getbits(16), 0xFFFFu);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.getbits(32), 0u);
  uint8_t bytes[3];
  r.ReadBytes(bytes, 3);
  EXPECT_EQ(bytes[0], 0);
}

}  // namespace
