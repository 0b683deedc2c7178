#include "player/shell/recording_control.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/path/path.h"
#include "player/shell/core_types.h"
#include "player/shell/recording_name.h"

namespace tevalo::shell {
namespace {

constexpr uint64_t kMinFreeMegabytes = 200;
constexpr int kMaxNameCount = 100000;
constexpr int kDiskShortTicks = 200;

}  // namespace

std::optional<uint64_t> StatvfsFreeBytes(const std::string& nativeFolder) {
  struct statvfs st {};
  if (::statvfs(nativeFolder.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

std::string NearestExistingFolder(const std::string& nativeFolder) {
  namespace fs = std::filesystem;
  if (nativeFolder.empty()) return ".";
  fs::path p(nativeFolder);
  std::error_code ec;
  while (!p.empty() && !fs::is_directory(p, ec)) {
    const fs::path parent = p.parent_path();
    if (parent == p) break;
    p = parent;
  }
  return p.empty() ? "." : p.string();
}

SpaceCheck CheckDiskSpace(const std::u16string& folder, const FreeSpaceProbe& probe) {
  const auto bytes = probe ? probe(NearestExistingFolder(tevalo::path::NativeUtf8(folder))) : std::nullopt;
  if (!bytes) return SpaceCheck::kUnknown;
  return (*bytes >> 20) > kMinFreeMegabytes ? SpaceCheck::kEnough : SpaceCheck::kShort;
}

ReservedName ReserveRecordName(const std::u16string& folder, const std::u16string& channelName,
                               const std::tm& local) {
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(tevalo::path::NativeUtf8(folder), ec);
  for (int count = -1; count < kMaxNameCount; ++count) {
    const std::u16string path = RecordPathCandidate(folder, channelName, local, count);
    const int fd =
        ::open(tevalo::path::NativeUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return {path, 0};
    }
    if (errno != EEXIST) return {{}, errno};
  }
  return {{}, EEXIST};
}

CRecordingControl::CRecordingControl(IRecordingHost& host, FreeSpaceProbe probe)
    : m_host(host), m_probe(std::move(probe)) {}

RecordingStart CRecordingControl::Start(const RecordingRequest& r) {
  if (m_recording || r.notLiveMedia || r.levelBars == 0 || !r.formatsKnown) return RecordingStart::kRefused;
  if (r.timeshift) {
    m_host.Ask({kTextNoRecordingInTimeshift, u"1seg Message", Prompt::Buttons::kOk});
    return RecordingStart::kTimeshift;
  }
  if (!CheckSpace(r.folder)) return RecordingStart::kDiskShort;
  const ReservedName name = ReserveRecordName(r.folder, r.channelName, r.local);
  if (name.path.empty()) {
    m_host.ShowStatus(kTextFolderUnwritable, kStripUntilReplaced);
    return RecordingStart::kFolderUnwritable;
  }
  m_host.WriteFileNameSetting(name.path);
  if (!m_host.WriteRecordMessage(true)) {
    // Nobody will write into the name: leave no empty file behind.
    std::error_code ec;
    std::filesystem::remove(tevalo::path::NativeUtf8(name.path), ec);
    return RecordingStart::kNotSent;
  }
  m_path = name.path;
  m_recording = true;
  m_host.ShowRecording(true);
  return RecordingStart::kStarted;
}

bool CRecordingControl::CheckSpace(const std::u16string& folder) {
  // Unknown free space refuses too, without a message.
  const SpaceCheck space = CheckDiskSpace(folder, m_probe);
  if (space == SpaceCheck::kShort) {
    m_host.StopReservationTimer();
    m_host.ShowStatus(kTextDiskFull, kDiskShortTicks);
  }
  return space == SpaceCheck::kEnough;
}

bool CRecordingControl::Stop(bool ask, bool closing) {
  if (!m_recording) return true;
  if (ask && m_reserved && !closing &&
      !m_host.Ask({u"録画を中止しますが、よろしいですか", u"Ferrow メッセージ", Prompt::Buttons::kYesNo}))
    return false;
  if (!m_recording.exchange(false)) return true;  // another thread stopped it meanwhile
  m_host.WriteRecordMessage(false);
  m_host.ShowRecording(false);
  if (m_reserved.exchange(false)) m_host.ReservedRecordingEnded();
  return true;
}

void CRecordingClock::Start(uint64_t tickMs) {
  m_start = tickMs;
  m_lastSecond = 0;
}

std::optional<std::u16string> CRecordingClock::Tick(uint64_t tickMs, int levelBars) {
  if (levelBars == 0) m_start += 1000;  // no signal: the clock stands still
  const uint64_t elapsed = tickMs > m_start ? tickMs - m_start : 0;
  const int64_t second = static_cast<int64_t>(elapsed / 1000);
  if (second == m_lastSecond) return std::nullopt;
  m_lastSecond = second;
  return Format(elapsed);
}

std::u16string CRecordingClock::Format(uint64_t elapsedMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                static_cast<unsigned long long>(elapsedMs / 3600000),
                static_cast<unsigned long long>(elapsedMs / 60000 % 60),
                static_cast<unsigned long long>(elapsedMs / 1000 % 60));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace tevalo::shell
