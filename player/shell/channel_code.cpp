#include "player/shell/channel_code.h"

#include "platform/path/utf.h"

namespace tevalo::shell {

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

bool StartsWithNoCase(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         tevalo::text::EqualsNoCase(std::u16string_view(text).substr(0, prefix.size()), prefix);
}

std::u16string UpperAscii(std::u16string text) {
  for (auto& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

std::u16string ChannelStripText(const std::u16string& text) {
  if (!StartsWith(text, kDmbScheme)) return text;
  return u"チャンネル : " + UpperAscii(text.size() > 8 ? text.substr(8) : std::u16string());
}

std::u16string PathExtension(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  const size_t start = slash == std::u16string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot < start) return {};
  return path.substr(dot);
}

std::u16string ChannelUrlOf(const ChannelEntry& entry) {
  return kDmbUrlPrefix + tevalo::text::LowerAscii(entry.name);
}

}  // namespace tevalo::shell
