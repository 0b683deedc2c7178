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
    lock_path_ = root / (name + ".lock");
    lock_ = open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ < 0) fail(lock_path_.string());
    if (flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        close(lock_);
        if (e == EWOULDBLOCK)
            throw std::runtime_error("another tuner-sim already serves " + path_.string());
        errno = e;
        fail(lock_path_.string());
    }
    remove_leftovers();
}

StickFolder::~StickFolder() {
    unplug();
    // The class folder stays while other sticks live in it.
    rmdir(path_.parent_path().c_str());
    close(lock_);
}

void StickFolder::remove_leftovers() {
    unlink((path_ / "PIPE00").c_str());
    unlink((path_ / "PIPE01").c_str());
    if (rmdir(path_.c_str()) != 0 && errno != ENOENT)
        fail("cannot clear the old stick folder " + path_.string());
}

void StickFolder::plug_in() {
    if (present()) return;
    if (mkdir(path_.c_str(), 0755) != 0) fail(path_.string());
    for (const char* p : {"PIPE00", "PIPE01"})
        if (mkfifo((path_ / p).c_str(), 0600) != 0) fail((path_ / p).string());
    // Read and write ends at once: opens never block, and the host's opens and closes go unnoticed.
    pipe00_ = open((path_ / "PIPE00").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (pipe00_ < 0) fail((path_ / "PIPE00").string());
    int p01 = open((path_ / "PIPE01").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (p01 < 0) fail((path_ / "PIPE01").string());
    pipe01_ = p01;  // present from here on
}

void StickFolder::unplug() {
    // Gone from the folder first, so a host that sees its pipes fail already finds no stick.
    unlink((path_ / "PIPE00").c_str());
    unlink((path_ / "PIPE01").c_str());
    rmdir(path_.c_str());
    if (pipe01_ >= 0) close(pipe01_);
    if (pipe00_ >= 0) close(pipe00_);
    pipe00_ = pipe01_ = -1;
}

}  // namespace tunersim
