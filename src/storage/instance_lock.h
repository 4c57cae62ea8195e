#pragma once
// One program per working directory: an exclusive flock(2) on a lock file in
// the directory, held for the program's life. The kernel drops the lock when
// the process ends in any way (SIGKILL included), so a stale lock file never
// keeps the next start out.
#include <sys/types.h>

#include <string>

namespace tolvik {

class InstanceLock {
 public:
  static constexpr char kFileName[] = ".tolvik.lock";

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock of `dir`. False when another program holds it (Holder()
  // then names its pid, when known) or the lock file cannot be opened;
  // Message() says which, naming the directory.
  bool Acquire(const std::string& dir);
  void Release();

  bool Held() const { return fd_ >= 0; }
  pid_t Holder() const { return holder_; }
  const std::string& Message() const { return message_; }

 private:
  int fd_ = -1;
  pid_t holder_ = 0;
  std::string message_;
};

}  // namespace tolvik
