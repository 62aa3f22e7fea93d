// Heap bytes in use and their peak, counted by the benchmarks' own operator new and delete.
#pragma once

#include <cstddef>

namespace tallyrun_bench {
extern size_t heap_now, heap_peak;
}  // namespace tallyrun_bench
