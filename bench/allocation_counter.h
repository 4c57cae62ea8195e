#pragma once
// Counts heap allocations by replacing the global operator new. Include it in
// exactly one file of a benchmark program and read g_allocations around the
// code being measured.

// GCC sees through the replaced operators and warns about free() on new'd memory;
// both sides of the pair below use malloc/free, so the warning does not apply.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> g_allocations{0};

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
