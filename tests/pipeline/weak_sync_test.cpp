// The A/V sync broadcast looped to 60 s and damaged as at the edge of reception by the committed
// generator (seed 18), through the whole stream engine beside the clean one: no sound frame or
// picture that comes out is stamped with another one's time. Each is found in the clean output at
// its own stamp (a few flipped bytes aside), or is damage that matches no clean unit at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/pipeline/delivered_pictures.h"
#include "tests/support/fixture_units.h"
#include "ts_loop.h"

using namespace tevalo::test;

namespace {

// Bytes that differ, over the shorter of the two (a picture cut by a loss is the start of one).
size_t Differing(const Bytes& a, const Bytes& b, bool prefix) {
  if (!prefix && a.size() != b.size()) return SIZE_MAX;
  size_t d = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) d += a[i] != b[i];
  return d;
}

}  // namespace

TEST(WeakSync, NoFrameOrPictureComesOutAtAnothersTime) {
  const char* work = std::getenv("XDG_RUNTIME_DIR");
  const std::filesystem::path dir = std::filesystem::path(work && *work ? work : "/tmp") / "weak-sync";
  std::filesystem::create_directories(dir);
  const std::string clean = (dir / "avsync-60.ts").string();
  {
    const auto loop = tunersim::TsLoop::load(FixturePath("avsync", "stream.ts"));
    const double loopSeconds = double(loop.period_ticks()) / tunersim::kPcrHz;
    const uint64_t packets = uint64_t(std::ceil(60 / loopSeconds)) * loop.packet_count();
    std::ofstream out(clean, std::ios::binary);
    uint8_t packet[tunersim::kPacketSize];
    for (uint64_t i = 0; i < packets; ++i) {
      loop.packet(i, packet);
      out.write(reinterpret_cast<const char*>(packet), sizeof packet);
    }
  }
  const std::string generate = std::string(TEVALO_PYTHON3) + " '" + TEVALO_SOURCE_ROOT +
                               "/tools/fixturegen/weak_signal.py' '" + clean + "' '" +
                               (dir / "weak").string() + "' --seed 18";
  ASSERT_EQ(std::system(generate.c_str()), 0);
  bool cleanThrough = false, weakThrough = false;
  const auto c = ThroughEngine(ReadFixtureFile(clean), &cleanThrough);
  const auto w = ThroughEngine(ReadFixtureFile((dir / "weak" / "stream.ts").string()), &weakThrough);
  ASSERT_TRUE(cleanThrough && weakThrough);
  for (const int32_t type : {IPC_AUDIO_FRAME, IPC_VIDEO_FRAME}) {
    const bool video = type == IPC_VIDEO_FRAME;
    SCOPED_TRACE(video ? "pictures" : "sound");
    std::map<int64_t, const Bytes*> byStamp;
    for (const auto& m : c)
      if (m.type == type) byStamp[m.stamp] = &m.body;
    size_t written = 0, inPlace = 0;
    for (const auto& m : w) {
      if (m.type != type) continue;
      ++written;
      const auto own = byStamp.find(m.stamp);
      if (own != byStamp.end() && Differing(*own->second, m.body, video) <= 4) {
        ++inPlace;
        continue;
      }
      if (video && m.body.size() < 64) continue;  // too short to tell whose it is
      // Damage matches no clean unit; another unit's bytes at this stamp would be a misplaced one.
      for (auto it = byStamp.lower_bound(m.stamp - 3 * 27'000'000LL);
           it != byStamp.end() && it->first <= m.stamp + 3 * 27'000'000LL; ++it) {
        // A stamp whose lowest bits flipped stays within the rounding of a PTS: its own.
        if (std::llabs(it->first - m.stamp) <= 600) continue;
        EXPECT_GT(Differing(*it->second, m.body, video), 4u)
            << "the unit stamped " << m.stamp << " (" << m.body.size() << " bytes) is the one of "
            << it->first;
      }
    }
    std::printf("%s: %zu written, %zu at their own stamp\n", video ? "pictures" : "sound", written, inPlace);
    EXPECT_GT(inPlace, written * 9 / 10);
  }
}
