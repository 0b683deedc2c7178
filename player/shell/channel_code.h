// Channel codes, the texts shown for a channel and the found-channel entries built from a scan.
// Plain logic: no threads, no tuner calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CFICInformation;
struct ChannelInform;

namespace tevalo::shell {

inline constexpr char16_t kNoChannel[] = u"No-Channel";
inline constexpr char16_t kDmbScheme[] = u"x-dmb";
inline constexpr char16_t kDmbUrlPrefix[] = u"x-dmb://";

// One found channel (built after each search, owned by the controller).
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

// "%02d%02d%d" of index, scan order and valid flag.
std::u16string ChannelCodeOf(const ChannelEntry& entry);

// A code of another length than five characters gets "00" in front (once); empty stays empty.
std::u16string NormalizeChannelCode(std::u16string code);

// The channel index from the first two characters (decimal conversion, text that is not a number
// reads as 0); -1 for a code shorter than two characters.
int ChannelIndexOfCode(const std::u16string& code);

// Decimal digits only, at least the two of the index: a code that can name a channel ("No-Channel"
// and "ab141" do not).
bool IsDigitCode(std::u16string_view code);

bool StartsWith(const std::u16string& text, std::u16string_view prefix);
bool StartsWithNoCase(const std::u16string& text, std::u16string_view prefix);
std::u16string UpperAscii(std::u16string text);

// The channel-name strip's text: "x-dmb" text shows as "チャンネル : " and the text after its first
// eight characters in upper case; anything else unchanged.
std::u16string ChannelStripText(const std::u16string& text);

// The extension of a path's file part with its dot ("" when there is none).
std::u16string PathExtension(const std::u16string& path);

// The URL of an entry: "x-dmb://" and the entry's name in lower case.
std::u16string ChannelUrlOf(const ChannelEntry& entry);

// Only service words of 1seg services make entries.
bool IsOneSegService(uint32_t serviceWord);

// The found-channel entries of a scan, in channel-index order. mask (50 flags) may be null;
// available(i) tells whether the tuner found channel index i.
std::vector<ChannelEntry> BuildChannelEntries(const CFICInformation* fic, const ChannelInform* inform,
                                              const int32_t* mask, const std::function<bool(int)>& available);

// The code to tune after a search: the stored code unless it is "No-Channel"; else the first listed
// entry whose channel is available, else the first listed entry ("%02d%02d1" with its index twice);
// "" when nothing is listed.
std::u16string ChooseChannelCode(const std::u16string& stored, const std::vector<ChannelEntry>& entries,
                                 const std::function<bool(int)>& available);

}  // namespace tevalo::shell
