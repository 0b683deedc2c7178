#include "player/shell/channel_code.h"

#include <cstdio>

#include "platform/path/utf.h"
#include "platform/profile/profile.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::shell {
namespace {

std::u16string Ascii(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
  return out;
}

std::u16string Code(int a, int b, int c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%02d%d", a, b, c);
  return Ascii(buf);
}

}  // namespace

std::u16string ChannelCodeOf(const ChannelEntry& entry) {
  return Code(entry.index, entry.scanOrder, entry.valid);
}

std::u16string NormalizeChannelCode(std::u16string code) {
  if (code.empty() || code.size() == 5) return code;
  return u"00" + code;
}

int ChannelIndexOfCode(const std::u16string& code) {
  if (code.size() < 2) return -1;
  return tevalo::profile::Wtoi(std::u16string_view(code).substr(0, 2));
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
  if (stored != kNoChannel) return stored;
  const ChannelEntry* first = nullptr;
  for (const auto& e : entries) {
    if (e.availability == -1) continue;
    if (!first) first = &e;
    if (e.tunerIndex >= 0 && available(e.tunerIndex)) return Code(e.tunerIndex, e.tunerIndex, 1);
  }
  if (!first) return {};
  return Code(first->tunerIndex, first->tunerIndex, 1);
}

}  // namespace tevalo::shell
