// Times the whole listing engine on in-memory folders of each shape at 10k to 1M names, on both sides.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/heap_count.h"
#include "bench/shapes.h"
#include "sequence/seq_dir.h"
#include "support/bindings.h"

using namespace tallyrun;
using tallyrun_bench::heap_now;
using tallyrun_bench::heap_peak;

namespace {

template <typename C>
folder_read<C> folder_of(const std::vector<std::string>& names) {
    folder_read<C> read;
    read.files.reserve(names.size());
    const local_step time = 1000000;
    for (const std::string& n : names) read.add(std::basic_string<C>(n.begin(), n.end()), 32, 12u << 20, time);
    return read;
}

// One side: each shape at four sizes; the time of build_listing, its growth per
// doubling, the heap it holds at its peak per name (the folder read included:
// the listing keeps those names) and what the listing it returns keeps per name.
template <typename C>
void bench_side(const char* side, size_t top) {
    std::printf("\n%s side\n%-12s %9s %9s %9s %8s %8s %10s %10s\n", side, "shape", "names", "entries", "ms",
                "ns/name", "x/doubl", "peak B/nm", "kept B/nm");
    for (const tallyrun_bench::shape& s : tallyrun_bench::shapes) {
        double previous_ms = 0, previous_n = 0, growth = 0, peak_per = 0, kept_per = 0, first_ms = 0, first_n = 0;
        for (size_t count : {top / 100, top / 10, top / 2, top}) {
            const folder_read<C> folder = folder_of<C>(s.make(count));
            double ms = 0;
            size_t entries = 0, peak = 0, kept = 0;
            // The best of three rounds: the machine may be busy with other work.
            for (int round = 0; round < 3; ++round) {
                const size_t base = heap_now;
                heap_peak = heap_now;
                folder_read<C> given = folder;  // counted: the listing keeps these names
                auto t0 = std::chrono::steady_clock::now();
                listing<C> l = build_listing(std::move(given), sequence_options{});
                auto t1 = std::chrono::steady_clock::now();
                double t = std::chrono::duration<double, std::milli>(t1 - t0).count();
                if (round == 0 || t < ms) ms = t;
                entries = l.entry_count();
                if (round == 0) {
                    peak = heap_peak - base;
                    kept = heap_now - base;
                }
            }
            const double n = static_cast<double>(folder.files.size());
            growth = previous_ms > 0 ? std::pow(ms / previous_ms, std::log(2.0) / std::log(n / previous_n)) : 0;
            peak_per = static_cast<double>(peak) / n;
            kept_per = static_cast<double>(kept) / n;
            std::printf("%-12s %9zu %9zu %9.1f %8.0f %8.2f %10.0f %10.0f\n", s.name, folder.files.size(), entries, ms,
                        ms * 1e6 / n, growth, peak_per, kept_per);
            std::fflush(stdout);
            if (first_n == 0) {
                first_ms = ms;
                first_n = n;
            }
            previous_ms = ms;
            previous_n = n;
        }
        // Per doubling over the whole span, and over the last doubling alone (where the names
        // outgrow the caches; also the figure most shaken by a busy machine).
        const double span = std::pow(previous_ms / first_ms, std::log(2.0) / std::log(previous_n / first_n));
        std::printf("BENCH engine.%s.%s.growth %.2f\n", side, s.name, span);
        std::printf("BENCH engine.%s.%s.growth_top %.2f\n", side, s.name, growth);
        std::printf("BENCH engine.%s.%s.kept_bytes_per_file %.0f\n", side, s.name, kept_per);
        std::printf("BENCH engine.%s.%s.peak_bytes_per_file %.0f\n", side, s.name, peak_per);
    }
}

}  // namespace

// engine_bench [max names]: both sides, every shape, up to max names (1M by default).
int main(int argc, char** argv) {
    bind_windows();
    size_t top = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    bench_side<char>("char", top);
    bench_side<char16_t>("char16", top);
    return 0;
}
