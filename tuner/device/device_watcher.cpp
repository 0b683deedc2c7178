#include "tuner/device/device_watcher.h"

#include <cerrno>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tuner/device/device_paths.h"

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                        IN_MOVE_SELF | IN_ATTRIB | IN_ONLYDIR;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Parent(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

CTunerDeviceWatcher::CTunerDeviceWatcher(Callback callback, std::string classFolder)
    : m_callback(std::move(callback)),
      m_classFolder(classFolder.empty() ? quonda::InterfaceClassFolder() : std::move(classFolder)) {
  while (m_classFolder.size() > 1 && m_classFolder.back() == '/') m_classFolder.pop_back();
}

CTunerDeviceWatcher::~CTunerDeviceWatcher() { Stop(); }

bool CTunerDeviceWatcher::Start() {
  if (m_thread.joinable()) return true;
  if (m_classFolder.empty()) return false;
  m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotify < 0) return false;
  m_wake.Clear();
  Rearm();
  Rescan(false);
  m_thread = std::thread([this] { Run(); });
  return true;
}

void CTunerDeviceWatcher::Stop() {
  if (m_thread.joinable()) {
    m_wake.Set();
    m_thread.join();
  }
  if (m_inotify >= 0) ::close(m_inotify);
  m_inotify = -1;
  m_watches.clear();
  m_present.clear();
}

// Watches the class folder and each stick folder in it; without the class folder, the nearest
// existing parent, so that its creation (at any depth) is noticed.
void CTunerDeviceWatcher::Rearm() {
  auto wantedNow = [this] {
    std::vector<std::string> wanted;
    if (IsFolder(m_classFolder)) {
      wanted.push_back(m_classFolder);
      // The class folder itself going away is seen through IN_DELETE_SELF; its parent tells about
      // a re-creation after that.
      wanted.push_back(Parent(m_classFolder));
      for (const std::string& stick : quonda::ListInterfacePaths(m_classFolder)) wanted.push_back(stick);
    } else {
      std::string folder = Parent(m_classFolder);
      while (!IsFolder(folder) && folder != "/" && folder != ".") folder = Parent(folder);
      wanted.push_back(folder);
    }
    return wanted;
  };

  // A folder made inside one after it was looked at and before its watch was placed raises no
  // event: look again once the watches are placed, until nothing new is wanted.
  std::map<std::string, int> next;
  std::vector<std::string> wanted = wantedNow(), placed;
  for (int round = 0; round < 16 && wanted != placed; ++round) {
    for (const std::string& folder : wanted) {
      if (next.count(folder)) continue;
      int wd = ::inotify_add_watch(m_inotify, folder.c_str(), kFolderEvents);
      if (wd >= 0) next[folder] = wd;
    }
    placed = std::move(wanted);
    wanted = wantedNow();
  }
  for (const auto& [folder, wd] : m_watches) {
    auto kept = next.find(folder);
    if (kept == next.end() || kept->second != wd) {
      bool shared = false;
      for (const auto& entry : next) shared = shared || entry.second == wd;
      if (!shared) ::inotify_rm_watch(m_inotify, wd);
    }
  }
  m_watches = std::move(next);
}

void CTunerDeviceWatcher::Rescan(bool report) {
  std::set<std::string> now;
  for (const std::string& stick : quonda::ListInterfacePaths(m_classFolder))
    if (quonda::HasPipes(stick)) now.insert(stick);
  if (report && m_callback) {
    for (const std::string& gone : m_present)
      if (!now.count(gone)) m_callback(Change::Removed, gone);
    for (const std::string& added : now)
      if (!m_present.count(added)) m_callback(Change::Arrived, added);
  }
  m_present = std::move(now);
}

void CTunerDeviceWatcher::Run() {
  alignas(inotify_event) char events[4096];
  for (;;) {
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake.Fd(), POLLIN, 0}};
    int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    // The events only say that something changed; the folders themselves say what.
    while (::read(m_inotify, events, sizeof events) > 0) {
    }
    Rearm();
    Rescan(true);
  }
}
