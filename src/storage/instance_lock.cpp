#include "storage/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tolvik {

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the only descriptor drops the flock
  fd_ = -1;
}

bool InstanceLock::Acquire(const std::string& dir) {
  Release();
  holder_ = 0;
  message_.clear();
  const std::string path = dir + "/" + kFileName;
  // O_CLOEXEC: a child started by a script must not keep the lock alive after we end.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    message_ = "cannot open the lock file " + path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    char buf[32] = {};
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    ::close(fd);
    if (err != EWOULDBLOCK) {
      message_ = "cannot lock " + path + ": " + std::strerror(err);
      return false;
    }
    if (n > 0) holder_ = static_cast<pid_t>(std::strtol(buf, nullptr, 10));
    message_ = "another Tolvik program is already running in " + dir;
    if (holder_ > 0) message_ += " (pid " + std::to_string(holder_) + ")";
    return false;
  }
  // Ours now: record our pid for the next program that finds the lock taken.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds all the same; only the pid in the message of a second program is lost.
  }
  fd_ = fd;
  return true;
}

}  // namespace tolvik
