// Times the directory builder on in-memory folders of the shapes a file manager meets (no disk).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "sequence/seq_dir.h"
#include "support/bindings.h"

using namespace tallyrun;

namespace {

real_entry file(const std::string& name) {
    return real_entry{name, date_time{2024, 3, 1, 12, 0, 0}, true, 32, 12u << 20};
}

// 20 runs of padded frames.
std::vector<real_entry> runs_of_frames(size_t n) {
    std::vector<real_entry> v;
    char name[64];
    for (size_t r = 0; r < 20; ++r)
        for (size_t i = 1; i <= n / 20; ++i) {
            std::snprintf(name, sizeof name, "shot%02zu_%06zu.exr", r, i);
            v.push_back(file(name));
        }
    return v;
}

// shot_1.exr ... shot_<n>.exr, unpadded: one run per width.
std::vector<real_entry> unpadded(size_t n) {
    std::vector<real_entry> v;
    for (size_t i = 1; i <= n; ++i) v.push_back(file("shot_" + std::to_string(i) + ".exr"));
    return v;
}

// plate_00001.dpx/.exr/.jpg/.png/.tif, ...
std::vector<real_entry> five_formats(size_t n) {
    std::vector<real_entry> v;
    char name[64];
    for (size_t i = 1; i <= n / 5; ++i)
        for (const char* ext : {".dpx", ".exr", ".jpg", ".png", ".tif"}) {
            std::snprintf(name, sizeof name, "plate_%05zu%s", i, ext);
            v.push_back(file(name));
        }
    return v;
}

// Random version-4 UUIDs: every name 36 bytes long.
std::vector<real_entry> uuids(size_t n) {
    std::mt19937_64 rng(42);
    std::vector<real_entry> v;
    char name[64];
    for (size_t i = 0; i < n; ++i) {
        unsigned long long a = rng(), b = rng();
        std::snprintf(name, sizeof name, "%08llx-%04llx-4%03llx-%04llx-%012llx", a >> 32,
                      (a >> 16) & 0xFFFF, a & 0xFFF, (b >> 48) & 0xFFFF, b & 0xFFFFFFFFFFFFull);
        v.push_back(file(name));
    }
    return v;
}

// Unique random names of 4 to 24 letters, digits and punctuation, half with an extension.
std::vector<real_entry> random_names(size_t n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    std::mt19937 rng(7);
    std::vector<real_entry> v;
    for (size_t i = 0; i < n; ++i) {
        std::string name;
        size_t len = 4 + rng() % 21;
        for (size_t k = 0; k < len; ++k) name += alphabet[rng() % (sizeof alphabet - 1)];
        if (rng() % 2) name += ".dat";
        name += "~" + std::to_string(i);  // unique
        v.push_back(file(name));
    }
    return v;
}

template <std::vector<real_entry> (*Shape)(size_t)>
void bm_listing(benchmark::State& state) {
    const std::vector<real_entry> folder = Shape(static_cast<size_t>(state.range(0)));
    size_t entries = 0;
    for (auto _ : state) {
        listing l = build_listing(folder, sequence_options{});
        entries = l.entries.size();
        benchmark::DoNotOptimize(l);
    }
    state.counters["names"] = static_cast<double>(folder.size());
    state.counters["entries"] = static_cast<double>(entries);
    // Seconds per name, printed with an SI prefix ("390ns").
    state.counters["per_name"] = benchmark::Counter(
        static_cast<double>(folder.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * folder.size()));
}

}  // namespace

BENCHMARK(bm_listing<runs_of_frames>)->Name("runs_20x5000")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_listing<unpadded>)->Name("unpadded_shot_n")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_listing<five_formats>)->Name("five_formats")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// Every UUID is compared with every later one (all skips), so the walk is
// quadratic here: 100k names would take minutes, so the sizes stop short of it.
BENCHMARK(bm_listing<uuids>)->Name("uuid_names")->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_listing<random_names>)->Name("random_unique")->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    bind_windows();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
