#include "platform/kernel/runtime.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tvk {
namespace {

// Makes a folder of mode 0700 owned by us, or accepts an existing one that is.
bool EnsurePrivateDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) return false;
  return true;
}

// EnsurePrivateDir with the missing folders above it made private too.
bool EnsurePrivateDirs(const std::string& dir) {
  for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
    if (mkdir(dir.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  return EnsurePrivateDir(dir);
}

bool IsPrivateDir(const std::string& dir) {
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

// The runtime folder when the one in the shared temporary directory is taken by another user: in
// our own home, where nobody else can make it first; one per host, as homes may be shared.
std::string HomeRuntimeDir() {
  std::string base;
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
    base = cache;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = std::string(home) + "/.cache";
  } else {
    return {};
  }
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !*host) std::snprintf(host, sizeof host, "localhost");
  for (char* c = host; *c; ++c)
    if (*c == '/') *c = '_';
  return base + "/tevalo/run-" + host;
}

void AppendEscaped(std::string& out, std::string_view text, bool escapeDot) {
  static const char hex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' || (escapeDot && c == '.')) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::string RuntimeDir() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg) {
    std::string dir = xdg;
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return dir;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp && *tmp) ? tmp : "/tmp";
  dir += "/tevalo-" + std::to_string(geteuid());
  // Anyone can make a folder of that name first in a shared temporary directory: then, and from
  // then on (so that every process of the user keeps agreeing), the folder in the home serves.
  const std::string home = HomeRuntimeDir();
  if (!home.empty() && IsPrivateDir(home)) return home;
  if (EnsurePrivateDir(dir)) return dir;
  return !home.empty() && EnsurePrivateDirs(home) ? home : std::string();
}

std::string KernelLockDir() {
  std::string base = RuntimeDir();
  if (base.empty()) return {};
  std::string dir = base + "/tevalo-kernel";
  return EnsurePrivateDir(dir) ? dir : std::string();
}

std::string SystemObjectName(std::string_view name) {
  // The runtime folder holds the objects' lock files, so it is part of their identity: processes
  // with different runtime folders (another session, another build's tests) never share objects.
  char tag[16];
  std::snprintf(tag, sizeof tag, "%08x.", static_cast<uint32_t>(Fnv1a(RuntimeDir())));
  std::string out = "tevalo." + std::to_string(geteuid()) + "." + tag;
  if (const char* ns = std::getenv("TEVALO_NAMESPACE")) AppendEscaped(out, ns, true);
  out += '.';
  const size_t prefix = out.size();
  AppendEscaped(out, name, false);
  // Room for ".lock" and friends within NAME_MAX.
  constexpr size_t kMax = 200;
  if (out.size() > kMax) {
    char tail[24];
    std::snprintf(tail, sizeof tail, "#%016llx", static_cast<unsigned long long>(Fnv1a(out.substr(prefix))));
    out.resize(kMax - 17);
    // Never leave half an escape behind.
    for (size_t i = out.size() > 2 ? out.size() - 2 : 0; i < out.size(); ++i)
      if (out[i] == '%') out.resize(i);
    out += tail;
  }
  return out;
}

}  // namespace tvk
