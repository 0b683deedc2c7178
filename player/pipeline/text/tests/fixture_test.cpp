// The test broadcasts' station names, programmes and captions, read straight from their packets.
#include "fixture_check.h"

namespace {

TEST(Fixtures, TextsAsTheManifestSays) {
  const bool any = fixture_check::ForEachFixture(
      [](const auto& dir) { fixture_check::CheckFixture(dir, fixture_check::Walk, true); });
  if (!any) GTEST_SKIP() << "no fixtures";
}

}  // namespace
