#include "filter/bsac/arith.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bsac_test_util.h"
#include "filter/bsac/models.h"

namespace {

struct Decision {
  enum Kind { kSymbol, kBinary, kSign } kind;
  int model = 0;   // kSymbol: index into the models below
  uint32_t p = 0;  // kBinary
  int value = 0;   // symbol, bit or negated
};

// Symbol, binary and sign decisions of random kinds and values survive the round trip, and both
// sides count the same bits at every step.
TEST(Arith, RandomDecisionsRoundTrip) {
  const auto skewed = bsactest::TestModels::Uniform(4);
  const uint16_t skew[] = {16000, 15000, 200, 0};  // symbol 0 very likely, 2 rare
  const bsac::CumulativeModel models[] = {bsac::UniformModel512(), {skewed.data(), 4}, {skew, 4}};
  for (int seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng{uint32_t(seed)};
    std::vector<Decision> ds;
    for (int i = 0; i < 3000; ++i) {
      Decision d{Decision::Kind(rng() % 3)};
      if (d.kind == Decision::kSymbol) {
        d.model = int(rng() % 3);
        d.value = int(rng() % uint32_t(models[d.model].size));
      } else if (d.kind == Decision::kBinary) {
        d.p = 1 + rng() % 16383;
        d.value = int(rng() % 16384 < d.p ? 0 : 1);  // mostly as likely as p says
        if (rng() % 10 == 0) d.value ^= 1;
      } else {
        d.value = int(rng() & 1);
      }
      ds.push_back(d);
    }
    bsactest::ArithEncoder enc;
    std::vector<uint32_t> used;
    for (const Decision& d : ds) {
      if (d.kind == Decision::kSymbol)
        enc.Symbol(models[d.model], d.value);
      else if (d.kind == Decision::kBinary)
        enc.Binary(d.p, d.value);
      else
        enc.Sign(d.value != 0);
      used.push_back(enc.BitsUsed());
    }
    ASSERT_FALSE(enc.failed());
    bsactest::BitWriter w;
    w.Put(0x5, 3);  // the coded data need not start on a byte
    w.Append(enc.code());
    const auto bytes = w.Bytes();

    bsac::BitReader r;
    r.Attach(bytes.data(), bytes.size());
    r.getbits(3);
    bsac::ArithDecoder dec(r);
    dec.arith_init();
    EXPECT_EQ(dec.bits_used(), 0u);
    for (size_t i = 0; i < ds.size(); ++i) {
      const Decision& d = ds[i];
      int got;
      if (d.kind == Decision::kSymbol) {
        got = dec.arith_decode_symbol(models[d.model]);
      } else if (d.kind == Decision::kBinary) {
        got = dec.arith_decode_binary(d.p);
      } else {
        int32_t v = 5;
        got = dec.arith_decode_sign(v) ? 1 : 0;
        ASSERT_EQ(v, got ? -5 : 5);
      }
      ASSERT_EQ(got, d.value) << "seed " << seed << " decision " << i;
      ASSERT_EQ(dec.bits_used(), used[i]);
    }
    EXPECT_FALSE(dec.failed());
  }
}

TEST(Arith, ShiftCountFollowsTheRange) {
  EXPECT_EQ(bsac::ArithShiftFor(1u << 29), 0);
  EXPECT_EQ(bsac::ArithShiftFor((1u << 29) - 1), 1);
  EXPECT_EQ(bsac::ArithShiftFor(1u << 28), 1);
  EXPECT_EQ(bsac::ArithShiftFor(1u << 14), 15);
  EXPECT_EQ(bsac::ArithShiftFor((1u << 14) - 1), 16);
}

// A table that cannot place the value fails the decoder instead of reading outside the table.
TEST(Arith, ImpossibleModelsFail) {
  const uint8_t ones[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint16_t no_zero[] = {16000, 8000};  // does not end in 0
  bsac::BitReader r;
  r.Attach(ones, sizeof ones);
  bsac::ArithDecoder dec(r);
  dec.arith_init();
  EXPECT_EQ(dec.arith_decode_symbol({no_zero, 2}), 0);  // c is high: symbol 0 is fine
  EXPECT_FALSE(dec.failed());

  const uint8_t zeros[8] = {};
  r.Attach(zeros, sizeof zeros);
  dec.arith_init();
  dec.arith_decode_symbol({no_zero, 2});  // c = 0 is below every entry
  EXPECT_TRUE(dec.failed());
}

}  // namespace
