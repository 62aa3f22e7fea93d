// Fuzz target: any folder gives a listing that keeps the builder's invariants and equals the literal walk's, on either side.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "plugin/folder.h"
#include "sequence/walk_model.h"
#include "sequence/case_map.h"

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

// Names from a small alphabet with digits, so successors, skips and stops all
// occur: bytes of the code page on the 8-bit side; on the wide side also
// Cyrillic in both cases, a CJK character, an emoji's two units and a lone surrogate.
template <typename C>
std::basic_string<C> name_from(byte_source& in) {
    static const char narrow[] = "aAbB._-0123456789\xC4\xE4";
    static const char16_t wide[] = u"aAbB._-0123456789\u0416\u0436\u5199\xD83C\xDF9E\xDC00";
    const size_t count = sizeof(C) == 1 ? sizeof narrow - 1 : sizeof wide / sizeof wide[0] - 1;
    size_t len = 1 + in.byte() % 9;
    std::basic_string<C> s;
    for (size_t i = 0; i < len; ++i) {
        const size_t k = in.byte() % count;
        s += sizeof(C) == 1 ? static_cast<C>(narrow[k]) : static_cast<C>(wide[k]);
    }
    return s;
}

[[maybe_unused]] std::string printable(const std::string& s) { return s; }
[[maybe_unused]] std::string printable(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) out += u < 128 ? static_cast<char>(u) : '?';
    return out;
}

template <typename C>
void check_folder(byte_source& in) {
    sequence_options options;
    options.seqpattern = patterns[in.byte() % 5];
    options.first = 1 + in.byte() % 4;
    options.last = in.byte() % 3 == 0 ? options.first + in.byte() % 6 : 0;

    std::vector<shown_file<C>> entries;
    std::set<std::basic_string<C>> seen;  // a Windows folder never holds two names equal ignoring case
    case_map<C> cases;
    size_t count = in.byte() % 40;
    for (size_t i = 0; i < count && in.n > 0; ++i) {
        shown_file<C> e;
        e.name = name_from<C>(in);
        std::basic_string<C> lowered = e.name;
        cases.lower(lowered.data(), lowered.size());
        if (!seen.insert(lowered).second) continue;
        uint8_t flags = in.byte();
        e.attributes = (flags & 0x37) | ((flags & 0x40) ? 16 : 0);
        e.time = (flags & 0x80) ? no_step : static_cast<local_step>(in.byte() % 3) * 1000000u;
        e.size = (e.attributes & 16) ? 0 : (uint64_t{in.byte()} << (in.byte() % 40));
        entries.push_back(e);
    }

    const shown_listing<C> got = shown(build_listing(folder_of(entries), options));
    const shown_listing<C> want = model_listing(entries, options);

    FUZZ_CHECK(got.real_entries.size() == entries.size(), "%zu real entries of %zu", got.real_entries.size(),
               entries.size());
    FUZZ_CHECK(got.entries.size() == want.entries.size(), "%zu entries, the walk gives %zu", got.entries.size(),
               want.entries.size());
    std::vector<int> owner(got.real_entries.size() + 1, 0);
    std::set<std::basic_string<C>> names;
    for (size_t k = 0; k < got.entries.size(); ++k) {
        const shown_entry<C>& g = got.entries[k];
        const shown_entry<C>& w = want.entries[k];
        const std::string name = printable(g.name);
        FUZZ_CHECK(g.name == w.name, "entry %zu is '%s', the walk gives '%s'", k, name.c_str(),
                   printable(w.name).c_str());
        FUZZ_CHECK(g.members == w.members && g.size == w.size && g.attributes == w.attributes && g.time == w.time,
                   "entry %zu '%s' differs from the walk's", k, name.c_str());
        std::basic_string<C> lowered = g.name;
        cases.lower(lowered.data(), lowered.size());
        FUZZ_CHECK(names.insert(lowered).second, "name '%s' twice", name.c_str());
        bool folder = (g.attributes & 16) != 0 && g.members.empty();
        FUZZ_CHECK(folder || !g.members.empty(), "file entry '%s' without members", name.c_str());
        uint64_t total = 0;
        for (size_t m = 0; m < g.members.size(); ++m) {
            size_t pos = g.members[m];
            FUZZ_CHECK(pos >= 1 && pos <= got.real_entries.size(), "member %zu out of range", pos);
            FUZZ_CHECK(m == 0 || pos > g.members[m - 1], "members of '%s' not ascending", name.c_str());
            const shown_file<C>& r = got.real_entries[pos - 1];
            FUZZ_CHECK(got.real_entries[pos - 1].name == want.real_entries[pos - 1].name, "member %zu differs", pos);
            FUZZ_CHECK(!(r.attributes & 16), "member %zu of '%s' is a folder", pos, name.c_str());
            FUZZ_CHECK(owner[pos]++ == 0, "file %zu in two entries", pos);
            total += r.size;
        }
        FUZZ_CHECK(g.members.empty() || static_cast<uint64_t>(g.size) == total, "'%s' has size %lld, its members total %llu",
                   name.c_str(), static_cast<long long>(g.size), static_cast<unsigned long long>(total));
    }
    for (size_t pos = 1; pos <= got.real_entries.size(); ++pos)
        if (!(got.real_entries[pos - 1].attributes & 16))
            FUZZ_CHECK(owner[pos] == 1, "file %zu in %d entries", pos, owner[pos]);
}

}  // namespace

// The bytes make the folder; the side is the build's (TALLYRUN_FUZZ_WIDE for the wide one).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    byte_source in{data, size};
#ifdef TALLYRUN_FUZZ_WIDE
    check_folder<char16_t>(in);
#else
    check_folder<char>(in);
#endif
    return 0;
}
