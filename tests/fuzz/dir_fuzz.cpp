// Fuzz target: any folder gives a listing that keeps the builder's invariants and equals the literal walk's.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/text.h"
#include "fuzz_check.h"
#include "sequence/seq_dir.h"
#include "sequence/walk_model.h"

using namespace tallyrun;

namespace {

struct byte_source {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
};

const char* const patterns[] = {"%s-%s", "%s..%s", "%s%s", "%s to %s (100%%)", "%s_%%_%s"};

// Names from a small alphabet with digits, so successors, skips and stops all occur.
std::string name_from(byte_source& in) {
    static const char alphabet[] = "aAbB._-0123456789\xC4\xE4";
    size_t len = 1 + in.byte() % 9;
    std::string s;
    for (size_t i = 0; i < len; ++i) s += alphabet[in.byte() % (sizeof alphabet - 1)];
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    byte_source in{data, size};
    sequence_options options;
    options.seqpattern = patterns[in.byte() % 5];
    options.first = 1 + in.byte() % 4;
    options.last = in.byte() % 3 == 0 ? options.first + in.byte() % 6 : 0;

    std::vector<real_entry> entries;
    std::set<std::string> seen;  // a Windows folder never holds two names equal ignoring case
    size_t count = in.byte() % 40;
    for (size_t i = 0; i < count && in.n > 0; ++i) {
        real_entry e;
        e.name = name_from(in);
        if (!seen.insert(win_lower(e.name)).second) continue;
        uint8_t flags = in.byte();
        e.attributes = (flags & 0x37) | ((flags & 0x40) ? 16 : 0);
        e.has_time = (flags & 0x80) == 0;
        e.time = e.has_time ? date_time{2000 + in.byte() % 3, 1 + in.byte() % 2, 1, 0, 0, 0}
                            : date_time{0, 0, 0, 0, 0, 0};
        e.size = (e.attributes & 16) ? 0 : (uint64_t{in.byte()} << (in.byte() % 40));
        entries.push_back(e);
    }

    listing got = build_listing(entries, options);
    listing want = model_listing(entries, options);

    FUZZ_CHECK(got.real_entries.size() == entries.size(), "%zu real entries of %zu",
               got.real_entries.size(), entries.size());
    FUZZ_CHECK(got.entries.size() == want.entries.size(), "%zu entries, the walk gives %zu",
               got.entries.size(), want.entries.size());
    std::vector<int> owner(got.real_entries.size() + 1, 0);
    std::set<std::string> shown;
    for (size_t k = 0; k < got.entries.size(); ++k) {
        const virtual_entry& g = got.entries[k];
        const virtual_entry& w = want.entries[k];
        FUZZ_CHECK(g.name == w.name, "entry %zu is '%s', the walk gives '%s'", k, g.name.c_str(),
                   w.name.c_str());
        FUZZ_CHECK(g.members == w.members && g.size == w.size && g.attributes == w.attributes &&
                       g.time == w.time,
                   "entry %zu '%s' differs from the walk's", k, g.name.c_str());
        FUZZ_CHECK(shown.insert(win_lower(g.name)).second, "name '%s' twice", g.name.c_str());
        bool folder = (g.attributes & 16) != 0 && g.members.empty();
        FUZZ_CHECK(folder || !g.members.empty(), "file entry '%s' without members", g.name.c_str());
        uint64_t total = 0;
        for (size_t m = 0; m < g.members.size(); ++m) {
            size_t pos = g.members[m];
            FUZZ_CHECK(pos >= 1 && pos <= got.real_entries.size(), "member %zu out of range", pos);
            FUZZ_CHECK(m == 0 || pos > g.members[m - 1], "members of '%s' not ascending", g.name.c_str());
            const real_entry& r = got.real_entries[pos - 1];
            FUZZ_CHECK(!(r.attributes & 16), "member %zu of '%s' is a folder", pos, g.name.c_str());
            FUZZ_CHECK(owner[pos]++ == 0, "file %zu in two entries", pos);
            total += r.size;
        }
        FUZZ_CHECK(g.members.empty() || static_cast<uint64_t>(g.size) == total,
                   "'%s' has size %lld, its members total %llu", g.name.c_str(),
                   static_cast<long long>(g.size), static_cast<unsigned long long>(total));
    }
    for (size_t pos = 1; pos <= got.real_entries.size(); ++pos)
        if (!(got.real_entries[pos - 1].attributes & 16))
            FUZZ_CHECK(owner[pos] == 1, "file %zu in %d entries", pos, owner[pos]);
    return 0;
}
