#include "player/shell/recording_name.h"

#include <cstdio>

namespace tevalo::shell {
namespace {

std::u16string Ascii(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

}  // namespace

std::u16string MakeRecordPath(const std::u16string& folder, const std::u16string& channelName,
                              const std::tm& local,
                              const std::function<bool(const std::u16string&)>& exists) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d", local.tm_year % 100, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min);
  std::u16string base = folder;
  if (!base.empty() && base.back() != u'/' && base.back() != u'\\') base += u'/';
  base += channelName + u"_" + Ascii(stamp);
  std::u16string path = base + u".rec";
  for (int count = 0; exists && exists(path) && count < 100000; ++count)
    path = base + u"_" + Ascii(std::to_string(count).c_str()) + u".rec";
  return path;
}

}  // namespace tevalo::shell
