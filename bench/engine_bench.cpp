// Times the whole listing engine on in-memory folders of each shape at 10k, 100k, 500k and 1M names.
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

std::vector<real_entry> folder_of(const std::vector<std::string>& names) {
    std::vector<real_entry> v;
    v.reserve(names.size());
    for (const std::string& n : names) v.push_back(real_entry{n, date_time{2024, 3, 1, 12, 0, 0}, true, 32, 12u << 20});
    return v;
}

}  // namespace

// engine_bench [max names]: the time of build_listing, its growth per doubling
// of the folder, the heap it holds at its peak per name (the folder it was
// given included: the listing keeps those names), and what the listing it
// returns keeps per name.
int main(int argc, char** argv) {
    bind_windows();
    size_t top = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    std::printf("%-24s %9s %9s %9s %8s %8s %10s %10s\n", "shape", "names", "entries", "ms", "ns/name",
                "x/doubl", "peak B/nm", "kept B/nm");
    for (const tallyrun_bench::shape& s : tallyrun_bench::shapes) {
        double previous_ms = 0, previous_n = 0;
        for (size_t count : {top / 100, top / 10, top / 2, top}) {
            const std::vector<real_entry> folder = folder_of(s.make(count));
            double ms = 0;
            size_t entries = 0, peak = 0, kept = 0;
            // The best of three rounds: the machine may be busy with other work.
            for (int round = 0; round < 3; ++round) {
                const size_t base = heap_now;
                heap_peak = heap_now;
                std::vector<real_entry> given = folder;  // counted: the listing keeps these names
                auto t0 = std::chrono::steady_clock::now();
                listing l = build_listing(std::move(given), sequence_options{});
                auto t1 = std::chrono::steady_clock::now();
                double t = std::chrono::duration<double, std::milli>(t1 - t0).count();
                if (round == 0 || t < ms) ms = t;
                entries = l.entries.size();
                if (round == 0) {
                    peak = heap_peak - base;
                    kept = heap_now - base;
                }
            }
            double n = static_cast<double>(folder.size());
            double growth = previous_ms > 0 ? std::pow(ms / previous_ms, std::log(2.0) / std::log(n / previous_n)) : 0;
            std::printf("%-24s %9zu %9zu %9.1f %8.0f %8.2f %10.0f %10.0f\n", s.name, folder.size(), entries,
                        ms, ms * 1e6 / n, growth, static_cast<double>(peak) / n, static_cast<double>(kept) / n);
            std::fflush(stdout);
            previous_ms = ms;
            previous_n = n;
        }
    }
    return 0;
}
