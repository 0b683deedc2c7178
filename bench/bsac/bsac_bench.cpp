// Decoding speed of the ER-BSAC decoder per 1024-sample stereo unit, beside FAAD2 decoding AAC LC
// frames of 1024 samples in the same run: silent units (the carried models), and units with content
// on the tests' invented models (arithmetic decoding, spectral tools and filterbank all at work).
#include <neaacdec.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "es_util.h"
#include "filter/bsac/bsac.h"
#include "filter/bsac/tests/bsac_test_util.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kUnits = 4000;

double UnitsPerSecond(const bsac::Models& models, const std::vector<uint8_t>& unit) {
  bsac::BsacContext ctx(models);
  const uint8_t asc[] = {0xB2, 0x11};
  bsac::bsac_open(ctx, asc, 2);
  std::vector<uint8_t> out(4096);
  size_t decoded = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < kUnits; ++i)
    decoded += bsac::bsac_decode(ctx, unit.data(), unit.size(), out.data(), 4096) > 0;
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (decoded != kUnits) std::fprintf(stderr, "bsac_bench: %zu of %d units decoded\n", decoded, kUnits);
  return kUnits / s;
}

double Faad2FramesPerSecond(const std::vector<testes::Bytes>& frames) {
  NeAACDecHandle h = NeAACDecOpen();
  NeAACDecConfigurationPtr c = NeAACDecGetCurrentConfiguration(h);
  c->outputFormat = FAAD_FMT_16BIT;
  c->dontUpSampleImplicitSBR = 1;
  NeAACDecSetConfiguration(h, c);
  unsigned long rate;
  unsigned char channels;
  NeAACDecInit(h, const_cast<unsigned char*>(frames[0].data()), frames[0].size(), &rate, &channels);
  NeAACDecFrameInfo info;
  const auto t0 = Clock::now();
  for (int i = 0; i < kUnits; ++i) {
    const auto& f = frames[size_t(i) % frames.size()];
    NeAACDecDecode(h, &info, const_cast<unsigned char*>(f.data()), f.size());
  }
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  NeAACDecClose(h);
  return kUnits / s;
}

}  // namespace

int main() {
  const auto frames = testes::SplitAdts(testes::ReadFile(TEVALO_AAC_FRAMES));
  if (frames.empty()) {
    std::fprintf(stderr, "bsac_bench: no ADTS frames in %s\n", TEVALO_AAC_FRAMES);
    return 1;
  }
  bsac::StreamTables t;
  bsac::bsac_init_tables(t, 44100, 1024, 2);
  auto si = std::make_unique<bsac::SideInfo>();
  si->channels = 2;
  const auto silent = bsactest::WriteFrame(*si, t, nullptr);
  // Content: every other 32 lines carry small values up to band 40, M/S on every third band.
  si->header.max_scalefactor = {180, 180};
  si->header.frame_length = 1500;
  si->header.top_layer = 63;
  si->header.base_band = 3;
  si->max_sfb = 40;
  si->stereo_mode = 1;
  std::mt19937 rng(5);
  for (int ch = 0; ch < 2; ++ch)
    for (int x = 0; x < 672; ++x)
      if ((x / 32) % 2 == 0 && rng() % 6 == 0) si->quant[ch][x] = int32_t(rng() % 7) - 3;
  for (int b = 0; b < 40; ++b) {
    si->sf[0][0][b] = si->sf[1][0][b] = int16_t(150 + rng() % 20);
    si->ms_used[0][b] = b % 3 == 0;
  }
  const bsactest::TestModels tm;
  const auto content = bsactest::WriteFrame(*si, t, &tm.models);

  const double faad = Faad2FramesPerSecond(frames);
  const double quiet = UnitsPerSecond(bsac::StandardModels(), silent);
  const double full = UnitsPerSecond(tm.models, content);
  std::printf("units of 1024 stereo samples, %d each\n", kUnits);
  std::printf("  FAAD2, AAC LC frames           %9.0f /s\n", faad);
  std::printf("  BSAC, silent units             %9.0f /s   ratio to FAAD2 %.2f\n", quiet, quiet / faad);
  std::printf("  BSAC, units with content       %9.0f /s   ratio to FAAD2 %.2f\n", full, full / faad);
  std::printf("  real-time need at 44100 Hz: 43.1 /s; content headroom x%.0f\n", full / 43.07);
  return 0;
}
