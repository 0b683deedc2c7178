#include "player/channels/channel_entry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::channels {
namespace {

TEST(ChannelEntry, EntriesOnlyForOneSegServicesAndTheListFlagsExclude) {
  CFICInformation fic[kChannelCount];
  ChannelInform inform[kChannelCount];
  auto fill = [&](int i, uint32_t word, const char16_t* name) {
    fic[i].m_dwServiceWord = word;
    std::u16string n(name);
    std::copy(n.begin(), n.end(), fic[i].m_szStationName);
    fic[i].m_nScanOrder = i;
    fic[i].m_bValid = 1;
    inform[i].m_nChannelIndex = i;
  };
  fill(12, 0xF1E00001u, u"A");
  fill(13, 0x0000E012u, u"B");
  fill(14, 0x12345678u, u"not 1seg");
  fill(20, 0xF1E00000u, u"C");
  int32_t mask[kChannelCount];
  std::fill(std::begin(mask), std::end(mask), 1);
  mask[20] = 0;
  auto found = [](int i) { return i == 13; };
  const auto entries = BuildChannelEntries(fic, inform, mask, found);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, u"A");
  EXPECT_EQ(entries[0].availability, 0);
  EXPECT_EQ(entries[1].availability, 1);
  EXPECT_EQ(entries[2].availability, -1);
  EXPECT_EQ(entries[1].serviceWord, 0x0000E012u);
  EXPECT_EQ(ChannelCodeOf(entries[2]), u"20201");
  EXPECT_EQ(MakeChannelCode(7, 0, 1), u"07001");
}

TEST(ChannelEntry, TheChannelToTuneAfterASearch) {
  auto entry = [](int index, int availability) {
    ChannelEntry e;
    e.index = e.tunerIndex = e.scanOrder = index;
    e.valid = 1;
    e.availability = availability;
    return e;
  };
  const std::vector<ChannelEntry> rows = {entry(3, -1), entry(12, 0), entry(13, 1), entry(14, 1)};
  auto found = [](int i) { return i == 13 || i == 14 || i == 3; };
  auto none = [](int) { return false; };
  struct Case {
    std::u16string stored;
    std::vector<ChannelEntry> entries;
    bool anyFound;
    std::u16string want;
  } cases[] = {
      {u"14141", rows, true, u"14141"},   // listed: kept as stored
      {u"14999", rows, true, u"14999"},   // compared on the channel index only
      {u"25251", rows, true, u"13131"},   // not listed: the first available row
      {u"03031", rows, true, u"13131"},   // excluded by the list flags counts as not listed
      {u"25251", rows, false, u"12121"},  // nothing available: the first row
      {kNoChannel, rows, true, u"13131"}, {kNoChannel, rows, false, u"12121"},
      {u"25251", {}, true, u"25251"},  // nothing listed: the stored code stays
      {kNoChannel, {}, true, u""},
  };
  for (const auto& c : cases) {
    std::function<bool(int)> available = c.anyFound ? std::function<bool(int)>(found) : none;
    EXPECT_EQ(ChooseChannelCode(c.stored, c.entries, available), c.want)
        << std::string(c.stored.begin(), c.stored.end());
  }
}

}  // namespace
}  // namespace tevalo::channels
