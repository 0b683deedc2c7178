#include "player/shell/recording_name.h"

#include <cstdio>

namespace tevalo::shell {
namespace {

std::u16string Ascii(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

constexpr int kMaxCount = 100000;

}  // namespace

std::u16string FileNamePart(std::u16string channelName) {
  for (char16_t& c : channelName)
    if (c == u'/' || c == u'\\' || c == u'\0') c = u'_';
  return channelName;
}

std::u16string RecordPathCandidate(const std::u16string& folder, const std::u16string& channelName,
                                   const std::tm& local, int count) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d_%02d%02d", local.tm_year % 100, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min);
  std::u16string path = folder;
  if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += u'/';
  path += FileNamePart(channelName) + u"_" + Ascii(stamp);
  // The count goes before the extension only: a folder such as "my.rec.d" is never cut.
  if (count >= 0) path += u"_" + Ascii(std::to_string(count).c_str());
  return path + u".rec";
}

std::u16string MakeRecordPath(const std::u16string& folder, const std::u16string& channelName,
                              const std::tm& local,
                              const std::function<bool(const std::u16string&)>& exists) {
  std::u16string path = RecordPathCandidate(folder, channelName, local, -1);
  for (int count = 0; exists && exists(path) && count < kMaxCount; ++count)
    path = RecordPathCandidate(folder, channelName, local, count);
  return path;
}

}  // namespace tevalo::shell
