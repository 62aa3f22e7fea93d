// Replaces operator new and delete to count the heap bytes a benchmark holds.
#include "bench/heap_count.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace tallyrun_bench {
size_t heap_now = 0, heap_peak = 0;
}  // namespace tallyrun_bench

using tallyrun_bench::heap_now;
using tallyrun_bench::heap_peak;

void* operator new(size_t n) {
    void* p = std::malloc(n + sizeof(size_t) * 2);
    if (!p) throw std::bad_alloc();
    *static_cast<size_t*>(p) = n;
    heap_now += n;
    heap_peak = std::max(heap_peak, heap_now);
    return static_cast<char*>(p) + sizeof(size_t) * 2;
}
// GCC sees free() on what operator new returned, and an index before the
// pointer, and warns; here that block did come from malloc, a header's width
// before the pointer.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
void operator delete(void* p) noexcept {
    if (!p) return;
    char* base = static_cast<char*>(p) - sizeof(size_t) * 2;
    heap_now -= *reinterpret_cast<size_t*>(base);
    std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void* operator new[](size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
