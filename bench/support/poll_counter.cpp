// Preloaded into a program under measurement (LD_PRELOAD): counts every
// poll() call into a shared counter file named by TOLVIK_POLL_COUNTER, which
// the benchmark maps as well and reads while the program runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace {

using PollFn = int (*)(pollfd*, nfds_t, int);
PollFn real_poll = nullptr;
std::atomic<uint64_t>* counter = nullptr;

__attribute__((constructor)) void AttachCounter() {
  real_poll = reinterpret_cast<PollFn>(dlsym(RTLD_NEXT, "poll"));
  const char* path = getenv("TOLVIK_POLL_COUNTER");
  if (path == nullptr) return;
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  void* shared = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (shared != MAP_FAILED) counter = static_cast<std::atomic<uint64_t>*>(shared);
}

}  // namespace

extern "C" int poll(pollfd* fds, nfds_t nfds, int timeout) {
  if (counter != nullptr) counter->fetch_add(1, std::memory_order_relaxed);
  return real_poll(fds, nfds, timeout);
}
