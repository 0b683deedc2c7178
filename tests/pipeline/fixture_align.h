// Aligns the units the engine wrote with a test broadcast's manifest (see fixture_engine_test.cpp
// for the differences allowed).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fixture_units.h"
#include "player/pipeline/stream_messages.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/nal_units.h"

namespace tevalo::test {

struct Expected {
  Bytes bytes;
  int64_t pts;
  bool intact;
  uint16_t pid;
};

inline std::vector<Expected> Load(const std::string& fixture, const nlohmann::json& kind) {
  const auto units = ReadUnits(FixturePath(fixture, kind["units_file"].get<std::string>()));
  const auto& list = kind["units"];
  EXPECT_EQ(units.size(), list.size());
  std::vector<Expected> out;
  for (size_t k = 0; k < units.size() && k < list.size(); ++k)
    out.push_back(
        {units[k].bytes, units[k].pts, list[k].value("intact", true), list[k]["pid"].get<uint16_t>()});
  return out;
}

struct Matched {
  size_t first = 0;   // manifest index of the first unit written
  size_t next = 0;    // manifest index after the last unit matched
  size_t extras = 0;  // written units that stand for damaged ones
  std::vector<uint16_t> pids;
};

// Aligns the written units with the manifest's; fails on anything the notes above do not allow.
inline Matched Align(const std::string& what, const std::vector<SentMessage>& written,
                     const std::vector<Expected>& expected, bool video) {
  auto same = [&](const SentMessage& w, const Expected& e) {
    if (w.stamp != e.pts * 300) return false;
    return video ? NalUnits(w.body) == NalUnits(e.bytes) : w.body == e.bytes;
  };
  Matched m;
  if (written.empty()) return m;
  size_t j = 0;
  while (j < expected.size() && !same(written[0], expected[j])) ++j;
  EXPECT_LT(j, expected.size()) << what << ": the first unit written is none of the manifest's";
  if (j == expected.size()) return m;
  m.first = j;
  for (size_t i = 0; i < written.size(); ++i) {
    if (j < expected.size() && same(written[i], expected[j])) {
      m.pids.push_back(expected[j].pid);
      ++j;
      continue;
    }
    // Skipped manifest units must all be damaged ones.
    size_t k = j;
    while (k < expected.size() && !same(written[i], expected[k])) ++k;
    if (k < expected.size()) {
      for (size_t s = j; s < k; ++s)
        EXPECT_FALSE(expected[s].intact)
            << what << ": unit " << s << " (pts " << expected[s].pts << ") is missing";
      m.pids.push_back(expected[k].pid);
      j = k + 1;
      continue;
    }
    EXPECT_TRUE(j < expected.size() && !expected[j].intact)
        << what << ": written unit " << i << " (stamp " << written[i].stamp << ", " << written[i].body.size()
        << " bytes) matches no unit of the manifest";
    ++m.extras;
  }
  m.next = j;
  return m;
}

}  // namespace tevalo::test
