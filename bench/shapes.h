// The folder shapes the benchmarks time: names a file manager meets, made in memory.
#pragma once

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tallyrun_bench {

// 20 runs of padded frames.
inline std::vector<std::string> frames(size_t n) {
    std::vector<std::string> v;
    char name[64];
    for (size_t r = 0; r < 20; ++r)
        for (size_t i = 1; i <= n / 20; ++i) {
            std::snprintf(name, sizeof name, "shot%02zu_%06zu.exr", r, i);
            v.push_back(name);
        }
    return v;
}

// shot_1.exr ... shot_<n>.exr, unpadded: one run per width.
inline std::vector<std::string> unpadded(size_t n) {
    std::vector<std::string> v;
    for (size_t i = 1; i <= n; ++i) v.push_back("shot_" + std::to_string(i) + ".exr");
    return v;
}

// plate_000001.dpx/.exr/.jpg/.png/.tif, ...
inline std::vector<std::string> five_formats(size_t n) {
    std::vector<std::string> v;
    char name[64];
    for (size_t i = 1; i <= n / 5; ++i)
        for (const char* ext : {".dpx", ".exr", ".jpg", ".png", ".tif"}) {
            std::snprintf(name, sizeof name, "plate_%06zu%s", i, ext);
            v.push_back(name);
        }
    return v;
}

inline std::string uuid(std::mt19937_64& rng) {
    char name[64];
    unsigned long long a = rng(), b = rng();
    std::snprintf(name, sizeof name, "%08llx-%04llx-4%03llx-%04llx-%012llx", a >> 32, (a >> 16) & 0xFFFF,
                  a & 0xFFF, (b >> 48) & 0xFFFF, b & 0xFFFFFFFFFFFFull);
    return name;
}

// Random version-4 UUIDs: every name 36 bytes long.
inline std::vector<std::string> uuids(size_t n) {
    std::mt19937_64 rng(42);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) v.push_back(uuid(rng));
    return v;
}

// UUIDs with one name in ten of the same length but without the dashes:
// no position is shared by every name of the length.
inline std::vector<std::string> uuids_mixed(size_t n) {
    std::mt19937_64 rng(43);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) {
        std::string s = uuid(rng);
        if (i % 10 == 0) std::replace(s.begin(), s.end(), '-', '_');
        v.push_back(s);
    }
    return v;
}

// Unique random names of 4 to 24 letters, digits and punctuation, half with an extension.
inline std::vector<std::string> random_names(size_t n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    std::mt19937 rng(7);
    std::vector<std::string> v;
    for (size_t i = 0; i < n; ++i) {
        std::string name;
        size_t len = 4 + rng() % 21;
        for (size_t k = 0; k < len; ++k) name += alphabet[rng() % (sizeof alphabet - 1)];
        if (rng() % 2) name += ".dat";
        v.push_back(name + "~" + std::to_string(i));  // unique
    }
    return v;
}

struct shape {
    const char* name;
    std::vector<std::string> (*make)(size_t);
};

// Keyed as the BENCH lines name them.
inline const shape shapes[] = {{"frames", frames}, {"unpadded", unpadded}, {"interleaved", five_formats},
                               {"uuid", uuids},     {"random", random_names}, {"uuid_mixed", uuids_mixed}};

}  // namespace tallyrun_bench
