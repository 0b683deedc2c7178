#include "platform/kernel/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/kernel/error.h"
#include "platform/kernel/runtime.h"

namespace tvk {

SingleInstanceLock::SingleInstanceLock(std::string_view name) {
  const std::string dir = KernelLockDir();
  if (dir.empty()) {
    error_ = ERROR_ACCESS_DENIED;
    return;
  }
  const std::string path = dir + "/instance-" + SystemObjectName(name) + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = ERROR_ACCESS_DENIED;
    return;
  }
  int rc;
  while ((rc = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (rc != 0) {
    error_ = errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED;
    close(fd);
    return;
  }
  fd_ = fd;
}

SingleInstanceLock::~SingleInstanceLock() { Release(); }

void SingleInstanceLock::Release() {
  if (fd_ >= 0) {
    close(fd_);  // the lock goes with the last descriptor of the open file
    fd_ = -1;
  }
}

}  // namespace tvk
