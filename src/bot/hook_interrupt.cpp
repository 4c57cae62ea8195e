#include "bot/hook_interrupt.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tolvik {
namespace {

std::atomic<int> g_fd{-1};
std::atomic<unsigned> g_count{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free,
              "used from signal handlers");

}  // namespace

void InterruptScriptHooks() noexcept {
  g_count.fetch_add(1);
  const int fd = g_fd.load();
  if (fd < 0) return;  // no bridge yet, so no hook to stop
  const uint64_t one = 1;
  (void)!::write(fd, &one, sizeof one);
}

unsigned ScriptHookInterrupts() noexcept { return g_count.load(); }

int ScriptHookInterruptFd() {
  static std::once_flag once;
  std::call_once(once, [] { g_fd.store(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)); });
  return g_fd.load();
}

}  // namespace tolvik
