// Channel codes and the texts shown for a channel. Plain logic: no threads, no tuner calls.
#pragma once

#include <string>
#include <string_view>

#include "player/channels/channel_entry.h"

namespace tevalo::shell {

// Found channels and codes are shared with the channel panel.
using channels::BuildChannelEntries;
using channels::ChannelCodeOf;
using channels::ChannelEntry;
using channels::ChannelIndexOfCode;
using channels::ChooseChannelCode;
using channels::IsOneSegService;
using channels::kNoChannel;
using channels::MakeChannelCode;
using channels::NormalizeChannelCode;

inline constexpr char16_t kDmbScheme[] = u"x-dmb";
inline constexpr char16_t kDmbUrlPrefix[] = u"x-dmb://";

// The channel index a stored code marks: its first two characters as digits of an index 0..49, else -1.
int LockIndexOfCode(const std::u16string& code);

// Decimal digits only, at least the two of the index: a code that can name a channel ("No-Channel"
// and "ab141" do not).
bool IsDigitCode(std::u16string_view code);

bool StartsWith(const std::u16string& text, std::u16string_view prefix);
bool StartsWithNoCase(const std::u16string& text, std::u16string_view prefix);
std::u16string UpperAscii(std::u16string text);

// The channel-name strip's text: "x-dmb" text shows as "チャンネル : " and the text after its first
// eight characters in upper case; anything else unchanged.
std::u16string ChannelStripText(const std::u16string& text);
// The same strip for what a graph was built from: a channel URL as above, a file by its name alone
// (a whole path would show only its folders in the strip's width).
std::u16string OpenedStripText(const std::u16string& urlOrPath);

// The extension of a path's file part with its dot ("" when there is none).
std::u16string PathExtension(const std::u16string& path);

// The URL of an entry: "x-dmb://" and the entry's name in lower case.
std::u16string ChannelUrlOf(const ChannelEntry& entry);

}  // namespace tevalo::shell
