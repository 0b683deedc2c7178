#include "player/shell/channel_code.h"

#include "platform/path/utf.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::shell {

int LockIndexOfCode(const std::u16string& code) {
  if (code.size() < 2 || code[0] < u'0' || code[0] > u'9' || code[1] < u'0' || code[1] > u'9') return -1;
  const int index = (code[0] - u'0') * 10 + (code[1] - u'0');
  return index < kChannelCount ? index : -1;
}

bool IsDigitCode(std::u16string_view code) {
  if (code.size() < 2) return false;
  for (char16_t c : code)
    if (c < u'0' || c > u'9') return false;
  return true;
}

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

namespace {
// Where a path's file part starts (after its last "/" or "\\").
size_t FileStart(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? 0 : slash + 1;
}
}  // namespace

std::u16string OpenedStripText(const std::u16string& urlOrPath) {
  if (StartsWith(urlOrPath, kDmbScheme)) return ChannelStripText(urlOrPath);
  return urlOrPath.substr(FileStart(urlOrPath));
}

std::u16string PathExtension(const std::u16string& path) {
  const size_t start = FileStart(path);
  const size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot < start) return {};
  return path.substr(dot);
}

std::u16string ChannelUrlOf(const ChannelEntry& entry) {
  return kDmbUrlPrefix + tevalo::text::LowerAscii(entry.name);
}

}  // namespace tevalo::shell
