// Times the run finder alone on lower-cased, sorted name lists of each folder shape, with its peak extra memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/heap_count.h"
#include "bench/shapes.h"
#include "config/text.h"
#include "sequence/run_finder.h"
#include "support/bindings.h"

using namespace tallyrun;
using tallyrun_bench::heap_now;
using tallyrun_bench::heap_peak;


namespace {

std::vector<std::string> walk_order(std::vector<std::string> v) {
    std::vector<std::string> upper(v.size());
    for (size_t i = 0; i < v.size(); ++i) upper[i] = win_upper(v[i]);
    std::vector<size_t> order(v.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return upper[a] < upper[b]; });
    std::vector<std::string> out;
    out.reserve(v.size());
    for (size_t i : order) out.push_back(win_lower(v[i]));
    return out;
}

}  // namespace

// run_finder_bench [max names]: each shape at 125k, 250k, 500k and 1M names (or up to max).
int main(int argc, char** argv) {
    bind_windows();
    size_t top = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    std::printf("%-24s %9s %9s %10s %9s %8s %10s\n", "shape", "names", "entries", "ms", "ns/name",
                "x/doubl", "bytes/name");
    for (const tallyrun_bench::shape& s : tallyrun_bench::shapes) {
        double previous = 0;
        for (size_t count = top / 8; count <= top; count *= 2) {
            std::vector<std::string> names = walk_order(s.make(count));
            std::string buffer;
            name_refs<char> refs;
            for (const std::string& n : names) {
                refs.add(0, buffer.size(), n.size());
                buffer += n;
            }
            refs.buffers[0] = buffer.data();
            size_t base = heap_now;
            heap_peak = heap_now;
            // The best of three rounds: the machine may be busy with other work.
            double ms = 0;
            size_t entries = 0, peak = 0;
            for (int round = 0; round < 3; ++round) {
                auto t0 = std::chrono::steady_clock::now();
                found_runs runs = find_runs(refs, seq_range{1, 0});
                auto t1 = std::chrono::steady_clock::now();
                double t = std::chrono::duration<double, std::milli>(t1 - t0).count();
                if (round == 0 || t < ms) ms = t;
                entries = runs.entries.size();
                if (round == 0) peak = heap_peak;
            }
            std::printf("%-24s %9zu %9zu %10.1f %9.0f %8.2f %10.0f\n", s.name, names.size(), entries, ms,
                        ms * 1e6 / static_cast<double>(names.size()), previous > 0 ? ms / previous : 0.0,
                        static_cast<double>(peak - base) / static_cast<double>(names.size()));
            std::fflush(stdout);
            previous = ms;
        }
    }
    return 0;
}
