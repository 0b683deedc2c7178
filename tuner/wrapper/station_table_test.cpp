#include "tuner/wrapper/station_table.h"

#include <set>

#include <gtest/gtest.h>

namespace st = StationTable;

TEST(StationTable, ShapeAndInvariants) {
  int total = 0;
  std::set<std::u16string_view> areaNames;
  for (int area = 0; area < st::kAreaCount; ++area) {
    EXPECT_FALSE(st::kAreaName[area].empty()) << area;
    areaNames.insert(st::kAreaName[area]);
    EXPECT_GT(st::StationCount(area), 0) << area;
    EXPECT_EQ(st::FirstEntry(area), total) << area;
    std::set<int> channels;
    for (int i = 0; i < st::StationCount(area); ++i) {
      const int entry = st::Entry(area, i);
      EXPECT_EQ(entry, total + i);
      const int c = st::kChannelIndex[entry];
      EXPECT_GE(c, 0) << entry;
      EXPECT_LE(c, 49) << entry;
      channels.insert(c);
      const auto name = st::kStationName[entry];
      EXPECT_FALSE(name.empty()) << entry;
      EXPECT_LT(name.size(), 16u) << entry;  // fits the 16-character field with its terminator
      EXPECT_EQ(name.find(u'\0'), std::u16string_view::npos);
    }
    // One station per channel within an area, or the name lookup by channel would be ambiguous.
    EXPECT_EQ(channels.size(), std::size_t(st::StationCount(area))) << area;
    total += st::StationCount(area);
  }
  EXPECT_EQ(st::kAreaCount, 47);
  EXPECT_EQ(total, 295);
  EXPECT_EQ(st::kEntryCount, 295);
  EXPECT_EQ(areaNames.size(), 47u);
}

TEST(StationTable, LookupsAtBothEndsAndOutside) {
  EXPECT_EQ(st::kAreaName[0], u"北海道");
  EXPECT_EQ(st::kAreaName[46], u"沖縄");
  EXPECT_EQ(st::FirstEntry(0), 0);
  EXPECT_EQ(st::FirstEntry(1), 7);
  EXPECT_EQ(st::FirstEntry(7), 41);
  EXPECT_EQ(st::FirstEntry(46), 290);

  EXPECT_EQ(st::kStationName[st::Entry(0, 0)], u"ＮＨＫ総合");
  EXPECT_EQ(st::kChannelIndex[st::Entry(0, 0)], 15 - 13);
  EXPECT_EQ(st::kStationName[st::Entry(0, 6)], u"ＴＶＨテレビ");
  EXPECT_EQ(st::Entry(46, 4), 294);
  EXPECT_EQ(st::kStationName[294], u"ＱＡＢ");
  EXPECT_EQ(st::kChannelIndex[294], 16 - 13);

  // Area 7 in table order: UHF 27, 26, 25, 22, 21, 24, 23, 20.
  const int tokyo[] = {14, 13, 12, 9, 8, 11, 10, 7};
  ASSERT_EQ(st::StationCount(7), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(st::kChannelIndex[st::Entry(7, i)], tokyo[i]) << i;

  EXPECT_EQ(st::FindEntry(0, 0), 1);   // UHF 13 in area 0 is "ＮＨＫ教育"
  EXPECT_EQ(st::FindEntry(7, 0), -1);  // no station of area 7 uses UHF 13
  EXPECT_EQ(st::FindEntry(46, 3), 294);

  for (int area : {-1, 47, 1000}) {
    EXPECT_FALSE(st::IsArea(area));
    EXPECT_EQ(st::FirstEntry(area), 295);
    EXPECT_EQ(st::StationCount(area), 0);
    EXPECT_EQ(st::Entry(area, 0), -1);
    EXPECT_EQ(st::FindEntry(area, 2), -1);
  }
  EXPECT_EQ(st::Entry(46, 5), -1);
  EXPECT_EQ(st::Entry(0, -1), -1);
}

// The table is constant data: usable at compile time by whoever includes it.
static_assert(StationTable::FirstEntry(46) + StationTable::kStationCount[46] == StationTable::kEntryCount);
