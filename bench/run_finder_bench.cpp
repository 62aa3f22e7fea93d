// Times the run finder alone on lower-cased, sorted name lists of each folder shape, with its peak extra memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "config/text.h"
#include "sequence/run_finder.h"
#include "support/bindings.h"

using namespace tallyrun;

namespace {

// Heap bytes in use and their peak, counted by the replaced operators below.
size_t heap_now = 0, heap_peak = 0;

}  // namespace

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

namespace {

std::vector<std::string> frames(size_t n) {
    std::vector<std::string> v;
    char name[64];
    for (size_t r = 0; r < 20; ++r)
        for (size_t i = 1; i <= n / 20; ++i) {
            std::snprintf(name, sizeof name, "shot%02zu_%06zu.exr", r, i);
            v.push_back(name);
        }
    return v;
}

std::vector<std::string> unpadded(size_t n) {
    std::vector<std::string> v;
    for (size_t i = 1; i <= n; ++i) v.push_back("shot_" + std::to_string(i) + ".exr");
    return v;
}

std::vector<std::string> five_formats(size_t n) {
    std::vector<std::string> v;
    char name[64];
    for (size_t i = 1; i <= n / 5; ++i)
        for (const char* ext : {".dpx", ".exr", ".jpg", ".png", ".tif"}) {
            std::snprintf(name, sizeof name, "plate_%06zu%s", i, ext);
            v.push_back(name);
        }
    return v;
}

std::string uuid(std::mt19937_64& rng) {
    char name[64];
    unsigned long long a = rng(), b = rng();
    std::snprintf(name, sizeof name, "%08llx-%04llx-4%03llx-%04llx-%012llx", a >> 32, (a >> 16) & 0xFFFF,
                  a & 0xFFF, (b >> 48) & 0xFFFF, b & 0xFFFFFFFFFFFFull);
    return name;
}

std::vector<std::string> uuids(size_t n) {
    std::mt19937_64 rng(42);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) v.push_back(uuid(rng));
    return v;
}

std::vector<std::string> random_names(size_t n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    std::mt19937 rng(7);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) {
        std::string name;
        size_t len = 4 + rng() % 21;
        for (size_t k = 0; k < len; ++k) name += alphabet[rng() % (sizeof alphabet - 1)];
        if (rng() % 2) name += ".dat";
        v.push_back(name + "~" + std::to_string(i));
    }
    return v;
}

// UUIDs with one name in ten of the same length but without the dashes:
// no position is shared by every name of the length.
std::vector<std::string> uuids_mixed(size_t n) {
    std::mt19937_64 rng(43);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) {
        std::string s = uuid(rng);
        if (i % 10 == 0) std::replace(s.begin(), s.end(), '-', '_');
        v.push_back(s);
    }
    return v;
}

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

struct shape {
    const char* name;
    std::vector<std::string> (*make)(size_t);
};

}  // namespace

// run_finder_bench [max names]: each shape at 125k, 250k, 500k and 1M names (or up to max).
int main(int argc, char** argv) {
    bind_windows();
    size_t top = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    const shape shapes[] = {{"frames_20_runs", frames}, {"unpadded_shot_n", unpadded},
                            {"five_formats", five_formats}, {"uuid_names", uuids},
                            {"random_mixed_len", random_names}, {"uuid_1_in_10_undashed", uuids_mixed}};
    std::printf("%-24s %9s %9s %10s %9s %8s %10s\n", "shape", "names", "entries", "ms", "ns/name",
                "x/doubl", "bytes/name");
    for (const shape& s : shapes) {
        double previous = 0;
        for (size_t count = top / 8; count <= top; count *= 2) {
            std::vector<std::string> names = walk_order(s.make(count));
            size_t base = heap_now;
            heap_peak = heap_now;
            // The best of three rounds: the machine may be busy with other work.
            double ms = 0;
            size_t entries = 0, peak = 0;
            for (int round = 0; round < 3; ++round) {
                auto t0 = std::chrono::steady_clock::now();
                std::vector<found_run> runs = find_runs(names, seq_range{1, 0});
                auto t1 = std::chrono::steady_clock::now();
                double t = std::chrono::duration<double, std::milli>(t1 - t0).count();
                if (round == 0 || t < ms) ms = t;
                entries = runs.size();
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
