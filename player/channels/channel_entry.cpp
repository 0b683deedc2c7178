#include "player/channels/channel_entry.h"

#include <cstdio>

#include "platform/profile/profile.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::channels {

std::u16string MakeChannelCode(int index, int scanOrder, int valid) {
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%02d%02d%d", index, scanOrder, valid);
  return std::u16string(buf, buf + (n > 0 ? n : 0));
}

std::u16string ChannelCodeOf(const ChannelEntry& entry) {
  return MakeChannelCode(entry.index, entry.scanOrder, entry.valid);
}

std::u16string NormalizeChannelCode(std::u16string code) {
  if (code.empty() || code.size() == 5) return code;
  return u"00" + code;
}

int ChannelIndexOfCode(const std::u16string& code) {
  if (code.size() < 2) return -1;
  return tevalo::profile::Wtoi(std::u16string_view(code).substr(0, 2));
}

bool IsOneSegService(uint32_t w) { return (w & 0xFFF00000u) == 0xF1E00000u || (w & 0xFF00u) == 0xE000u; }

std::vector<ChannelEntry> BuildChannelEntries(const CFICInformation* fic, const ChannelInform* inform,
                                              const int32_t* mask,
                                              const std::function<bool(int)>& available) {
  std::vector<ChannelEntry> entries;
  for (int i = 0; i < kChannelCount; ++i) {
    const CFICInformation& f = fic[i];
    if (!IsOneSegService(f.m_dwServiceWord)) continue;
    ChannelEntry e;
    e.index = i;
    size_t n = 0;
    while (n < static_cast<size_t>(kNameLength) && f.m_szStationName[n]) ++n;
    e.name.assign(f.m_szStationName, n);
    e.scanOrder = f.m_nScanOrder;
    e.valid = f.m_bValid;
    e.serviceWord = f.m_dwServiceWord;
    e.availability = mask && mask[i] == 0 ? -1 : (available(i) ? 1 : 0);
    e.tunerIndex = inform[i].m_nChannelIndex;
    entries.push_back(std::move(e));
  }
  return entries;
}

std::u16string ChooseChannelCode(const std::u16string& stored, const std::vector<ChannelEntry>& entries,
                                 const std::function<bool(int)>& available) {
  const ChannelEntry* first = nullptr;
  const ChannelEntry* firstAvailable = nullptr;
  const int storedIndex = stored == kNoChannel ? -1 : ChannelIndexOfCode(stored);
  for (const auto& e : entries) {
    if (!IsListed(e)) continue;
    // A stored channel that the search no longer lists would leave the player with nothing tuned.
    if (storedIndex >= 0 && e.index == storedIndex) return stored;
    if (!first) first = &e;
    if (!firstAvailable && e.tunerIndex >= 0 && available(e.tunerIndex)) firstAvailable = &e;
  }
  if (firstAvailable) return MakeChannelCode(firstAvailable->tunerIndex, firstAvailable->tunerIndex, 1);
  if (!first) return storedIndex >= 0 ? stored : std::u16string();
  return MakeChannelCode(first->tunerIndex, first->tunerIndex, 1);
}

}  // namespace tevalo::channels
