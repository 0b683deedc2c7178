#include "tuner/device/device_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quonda {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsFifo(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

std::string DeviceRoot() {
  std::string root = Env("TEVALO_DEVICE_ROOT");
  if (!root.empty()) return root;
  std::string runtime = Env("XDG_RUNTIME_DIR");
  if (runtime.empty()) {
    std::string tmp = Env("TMPDIR");
    if (tmp.empty()) tmp = "/tmp";
    runtime = tmp + "/tevalo-" + std::to_string(::getuid());
    // A folder in a shared temporary directory counts only when it is our own: anyone else could
    // plant a fake stick there.
    struct stat st {};
    if (::lstat(runtime.c_str(), &st) == 0 && (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())) return {};
  }
  return runtime + "/tevalo/devices";
}

std::string InterfaceClassFolder() {
  std::string root = DeviceRoot();
  return root.empty() ? std::string() : root + "/" + kInterfaceClass;
}

std::vector<std::string> ListInterfacePaths(const std::string& classFolder) {
  std::vector<std::string> paths;
  if (classFolder.empty()) return paths;
  DIR* dir = ::opendir(classFolder.c_str());
  if (!dir) return paths;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    std::string path = classFolder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) paths.push_back(path);
  }
  ::closedir(dir);
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool HasPipes(const std::string& interfacePath) {
  return IsFifo(interfacePath + "/" + kReplyPipe) && IsFifo(interfacePath + "/" + kCommandPipe);
}

bool InterfaceAnswers(const std::string& interfacePath) {
  if (!HasPipes(interfacePath)) return false;
  // A non-blocking open for writing succeeds only while the driver side holds the read end.
  int fd = ::open((interfacePath + "/" + kCommandPipe).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace quonda
