// Found channels and their codes: the records a search leaves, shared by the player core and the
// channel panel. Plain logic: no threads, no tuner calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CFICInformation;
struct ChannelInform;

namespace tevalo::channels {

inline constexpr char16_t kNoChannel[] = u"No-Channel";

// One found channel (built after each search, owned by the core).
struct ChannelEntry {
  int32_t index = 0;  // 0..49, the scan slot it came from
  std::u16string name;
  int32_t scanOrder = 0;
  int32_t valid = 0;
  int32_t constant = 1;
  uint32_t serviceWord = 0;
  int32_t availability = 0;  // -1 excluded by the list flags, 1 found, 0 not found
  int32_t tunerIndex = -1;
};

// "%02d%02d%d".
std::u16string MakeChannelCode(int index, int scanOrder, int valid);
// The code of an entry: its index, scan order and valid flag.
std::u16string ChannelCodeOf(const ChannelEntry& entry);

// A code of another length than five characters gets "00" in front (once); empty stays empty.
std::u16string NormalizeChannelCode(std::u16string code);

// The channel index from the first two characters (decimal conversion, text that is not a number
// reads as 0); -1 for a code shorter than two characters.
int ChannelIndexOfCode(const std::u16string& code);

// Only service words of 1seg services make entries.
bool IsOneSegService(uint32_t serviceWord);

// The found-channel entries of a scan, in channel-index order. mask (50 flags) may be null;
// available(i) tells whether the tuner found channel index i.
std::vector<ChannelEntry> BuildChannelEntries(const CFICInformation* fic, const ChannelInform* inform,
                                              const int32_t* mask, const std::function<bool(int)>& available);

// Entries the channel panel lists (not excluded by the list flags).
inline bool IsListed(const ChannelEntry& entry) { return entry.availability != -1; }

// The code to tune after a search: the stored code when its channel is listed; else the first listed
// entry whose channel is available, else the first listed entry ("%02d%02d1" with its index twice).
// With nothing listed: the stored code, or "" for "No-Channel".
std::u16string ChooseChannelCode(const std::u16string& stored, const std::vector<ChannelEntry>& entries,
                                 const std::function<bool(int)>& available);

}  // namespace tevalo::channels
