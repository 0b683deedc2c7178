// Access to the test broadcasts (tests/fixtures) for C++ tests: the folder, and the unit files
// (video.units, audio.units): records of {uint32 LE length, int64 LE PTS (90 kHz, -1 = none),
// length bytes}. Header only; throws std::runtime_error on a missing or malformed file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace tevalo::test {

struct FixtureUnit {
  std::int64_t pts = -1;
  std::vector<std::uint8_t> bytes;
};

// The fixtures folder: $TEVALO_FIXTURES (ctest sets it), else tests/fixtures under the source tree
// given at build time, else "tests/fixtures".
inline std::string FixturesDir() {
  if (const char* env = std::getenv("TEVALO_FIXTURES"); env && *env) return env;
#ifdef TEVALO_FIXTURES_DIR
  return TEVALO_FIXTURES_DIR;
#else
  return "tests/fixtures";
#endif
}

inline std::string FixturePath(const std::string& fixture, const std::string& file) {
  return FixturesDir() + "/" + fixture + "/" + file;
}

inline std::vector<std::uint8_t> ReadFixtureFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<FixtureUnit> ReadUnits(const std::string& path) {
  const std::vector<std::uint8_t> data = ReadFixtureFile(path);
  std::vector<FixtureUnit> units;
  std::size_t pos = 0;
  auto le = [&](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | data[at + i];
    return v;
  };
  while (pos < data.size()) {
    if (data.size() - pos < 12) throw std::runtime_error(path + ": truncated record head");
    const std::uint32_t length = static_cast<std::uint32_t>(le(pos, 4));
    FixtureUnit u;
    u.pts = static_cast<std::int64_t>(le(pos + 4, 8));
    pos += 12;
    if (data.size() - pos < length) throw std::runtime_error(path + ": truncated record");
    u.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                   data.begin() + static_cast<std::ptrdiff_t>(pos + length));
    pos += length;
    units.push_back(std::move(u));
  }
  return units;
}

}  // namespace tevalo::test
