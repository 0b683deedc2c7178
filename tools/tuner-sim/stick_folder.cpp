#include "stick_folder.h"

#include "config.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tunersim {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

StickFolder::StickFolder(const std::filesystem::path& root, const std::string& name) {
  std::error_code ec;
  std::filesystem::path cls = root / kInterfaceClass;
  std::filesystem::create_directories(cls, ec);
  if (ec) throw std::runtime_error(cls.string() + ": " + ec.message());
  path_ = cls / name;
  staging_ = root / ("." + name + ".staging");
  lock_path_ = root / (name + ".lock");
  lock_ = open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock_ < 0) fail(lock_path_.string());
  if (flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    int e = errno;
    close(lock_);
    if (e == EWOULDBLOCK) throw std::runtime_error("another tuner-sim already serves " + path_.string());
    errno = e;
    fail(lock_path_.string());
  }
  if (!remove_leftovers()) fail("cannot clear the old stick folder " + path_.string());
}

StickFolder::~StickFolder() {
  unplug();
  // The class folder stays while other sticks live in it.
  rmdir(path_.parent_path().c_str());
  close(lock_);
}

bool StickFolder::remove_leftovers() noexcept {
  bool ok = true;
  for (const auto& dir : {path_, staging_}) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    ok = ok && !ec;
  }
  return ok;
}

void StickFolder::plug_in() {
  if (present()) return;
  // Built aside and moved in whole, so whoever sees the folder appear finds both pipes served.
  if (!remove_leftovers()) fail("cannot clear " + path_.string());
  if (mkdir(staging_.c_str(), 0755) != 0) fail(staging_.string());
  for (const char* p : {"PIPE00", "PIPE01"})
    if (mkfifo((staging_ / p).c_str(), 0600) != 0) fail((staging_ / p).string());
  // Read and write ends at once: opens never block, and the host's opens and closes go unnoticed.
  int p00 = open((staging_ / "PIPE00").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  int p01 = open((staging_ / "PIPE01").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (p00 < 0 || p01 < 0 || rename(staging_.c_str(), path_.c_str()) != 0) {
    int e = errno;
    if (p00 >= 0) close(p00);
    if (p01 >= 0) close(p01);
    remove_leftovers();
    errno = e;
    fail("cannot publish " + path_.string());
  }
  pipe00_ = p00;
  pipe01_ = p01;
}

void StickFolder::unplug() {
  // Out of the class folder in one step, so a host that sees its pipes fail already finds no stick.
  // Cleared before the pipes close, so nothing is left over by the time the host sees them end.
  if (present()) rename(path_.c_str(), staging_.c_str());
  remove_leftovers();
  if (pipe01_ >= 0) close(pipe01_);
  if (pipe00_ >= 0) close(pipe00_);
  pipe00_ = pipe01_ = -1;
}

}  // namespace tunersim
