// Found-channel entries as the tuner's scan tables leave them, for the channel panel's tests.
#pragma once

#include <string>
#include <vector>

#include "player/channels/channel_entry.h"
#include "player/channels/channel_list.h"
#include "tuner/wrapper/station_table.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::panels::testing {

struct FoundChannel {
  int index;
  bool found = true;
  uint32_t serviceWord = 0xF1E00000u;
  int valid = 1;
  int tunerIndex = kOwnIndex;  // the tuner table's channel index (-1: a record no scan filled)
  static constexpr int kOwnIndex = -2;
};

// The scan tables of an area search with these channels in it (names from the station table), and the
// entries the player builds from them; mask (may be empty) excludes channel indices.
inline std::vector<channels::ChannelEntry> ScanEntries(int area, const std::vector<FoundChannel>& channels,
                                                       const std::vector<int>& excluded = {}) {
  CFICInformation fic[kChannelCount];
  ChannelInform inform[kChannelCount];
  bool found[kChannelCount] = {};
  int order = 0;
  for (const auto& c : channels) {
    const int entry = StationTable::FindEntry(area, c.index);
    const std::u16string name =
        entry >= 0 ? std::u16string(StationTable::kStationName[entry]) : channels::UhfName(c.index);
    CFICInformation& f = fic[c.index];
    f.m_dwServiceWord = c.serviceWord;
    for (size_t i = 0; i < name.size() && i + 1 < static_cast<size_t>(kNameLength); ++i)
      f.m_szStationName[i] = name[i];
    f.m_nScanOrder = order++;
    f.m_bValid = c.valid;
    inform[c.index].m_nChannelIndex = c.tunerIndex == FoundChannel::kOwnIndex ? c.index : c.tunerIndex;
    found[c.index] = c.found;
  }
  int32_t mask[kChannelCount];
  for (int i = 0; i < kChannelCount; ++i) mask[i] = 1;
  for (int i : excluded) mask[i] = 0;
  return channels::BuildChannelEntries(fic, inform, excluded.empty() ? nullptr : mask,
                                       [&](int i) { return found[i]; });
}

// Tokyo's eight stations (channel indices 14, 13, 12, 9, 8, 11, 10, 7 in scan order).
inline std::vector<FoundChannel> Tokyo() { return {{14}, {13}, {12}, {9}, {8}, {11}, {10}, {7}}; }

}  // namespace tevalo::panels::testing
