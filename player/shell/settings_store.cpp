#include "player/shell/settings_store.h"

#include <algorithm>
#include <string>

#include "platform/path/path.h"
#include "platform/profile/profile.h"
#include "platform/registry/registry.h"

namespace tevalo::shell {
namespace {

constexpr char16_t kSetup[] = u"SETUP";
constexpr char16_t kLocks[] = u"CHANNEL_LOCK";

std::u16string Decimal(int value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

std::u16string LockKey(int index) { return Decimal(index) + u"_LOCK"; }

int ReadSetupInt(const std::u16string& file, const char16_t* key, const char16_t* def) {
  return profile::Wtoi(profile::ReadString(file, kSetup, key, def));
}

}  // namespace

InstallPaths LoadPaths() {
  InstallPaths paths;
  paths.installDir = registry::ReadString(registry::kTevaloKey, u"install_Dir").value_or(u"");
  paths.userDir = registry::ReadString(registry::kTevaloKey, u"User_Dir").value_or(u"");
  paths.configPath = path::Join(std::u16string_view(paths.userDir), std::u16string_view(kConfigFileName));
  return paths;
}

PlayerSettings ReadSettings(const std::u16string& file, bool readUserPass) {
  PlayerSettings s;
  s.always = ReadSetupInt(file, u"ALWAYS", u"0");
  s.volume = std::clamp(ReadSetupInt(file, u"VOLUME_POS", u"900"), 0, kVolumeMax);
  s.defaultView = ReadSetupInt(file, u"DEFAULT_VIEW", u"0");
  s.lastView = ReadSetupInt(file, u"LAST_VIEW", u"0");
  s.startViewLast = ReadSetupInt(file, u"START_VIEW_LAST", u"0");
  s.useTrayMode = ReadSetupInt(file, u"USE_TRAYMODE", u"0");
  s.areaIndex = ReadSetupInt(file, u"AREA_NUM", u"-1");
  if (s.areaIndex < 0 || s.areaIndex >= kAreaCount) s.areaIndex = -1;
  s.muted = ReadSetupInt(file, u"MUTE", u"0");
  s.taskId = ReadSetupInt(file, u"TASKID", u"0");
  if (readUserPass) {
    const std::u16string marked = profile::ReadString(file, kSetup, u"USERPASS", u"");
    // Stored between two marker characters; shorter text holds no password.
    if (marked.size() >= 2) s.userPass = marked.substr(1, marked.size() - 2);
  }
  return s;
}

bool WriteSettings(const std::u16string& file, const PlayerSettings& s, int savedVolume) {
  const std::pair<const char16_t*, int> values[] = {
      {u"ALWAYS", s.always},
      {u"VOLUME_POS", s.muted ? savedVolume : s.volume},
      {u"MUTE", s.muted},
      {u"DEFAULT_VIEW", s.defaultView},
      {u"LAST_VIEW", s.lastView},
      {u"START_VIEW_LAST", s.startViewLast},
      {u"USE_TRAYMODE", s.useTrayMode},
      {u"AREA_NUM", s.areaIndex},
      {u"TASKID", s.taskId},
  };
  bool ok = true;
  for (const auto& [key, value] : values) ok = profile::WriteString(file, kSetup, key, Decimal(value)) && ok;
  return ok;
}

StartSearch DecideStartSearch(int storedArea, const std::function<std::optional<int>(int)>& askArea,
                              const std::function<bool(int)>& loadChannelList) {
  StartSearch search;
  if (storedArea < 0 || storedArea >= kAreaCount) {
    std::optional<int> chosen = askArea ? askArea(kFirstStartArea) : std::nullopt;
    search.areaIndex = chosen && *chosen >= 0 && *chosen < kAreaCount ? *chosen : kFirstStartArea;
    search.areaChosen = true;
  } else {
    search.areaIndex = storedArea;
  }
  // The kind follows the loaded list: a stored list is searched only when it has a channel to offer.
  const bool hasEnabled = loadChannelList && loadChannelList(search.areaIndex);
  search.kind = !search.areaChosen && hasEnabled ? SearchKind::kStoredList : SearchKind::kArea;
  return search;
}

std::array<int, kChannelCount> ReadChannelLocks(const std::u16string& file) {
  std::array<int, kChannelCount> locks{};
  for (int n = 0; n < kChannelCount; ++n)
    locks[n] = profile::Wtoi(profile::ReadString(file, kLocks, LockKey(n), u"0")) != 0 ? 1 : 0;
  return locks;
}

bool WriteChannelLocks(const std::u16string& file, const std::function<std::optional<int>(int)>& lockOf) {
  bool ok = true;
  for (int n = 0; n < kChannelCount; ++n)
    if (auto value = lockOf(n))
      ok = profile::WriteString(file, kLocks, LockKey(n), Decimal(*value ? 1 : 0)) && ok;
  return ok;
}

}  // namespace tevalo::shell
