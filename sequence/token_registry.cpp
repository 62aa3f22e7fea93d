// The token registry: counts the names seen in one folder listing and makes new names unique.
#include "sequence/token_registry.h"

#include <cstdint>
#include <vector>

#include "config/text.h"

namespace tallyrun {
namespace {

// The tokens in order of first registration, each with its bucket and count.
// A bucket's tokens are found through one open-addressing table keyed by the
// bucket and a hash of the whole token: the bucket function reads only 20
// bytes and shifts the early ones out, so the names of one run share a handful
// of buckets, and a scan of the bucket would make a listing quadratic.
struct token_entry {
    size_t start, length;  // the token's bytes in `text`
    uint32_t key;
    int count;
};
std::string text;  // every token, end to end: one allocation for a folder, not one per name
std::vector<token_entry> entries;
std::vector<int32_t> slots;  // entry index, or -1 for a free slot
bool live = false;

uint32_t key_of(std::string_view token) {
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(token_bucket(token));  // FNV-1a in the bucket
    for (unsigned char c : token) h = (h ^ c) * 16777619u;
    return h ^ (h >> 15);
}

void grow() {
    std::vector<int32_t>(slots.size() * 2, -1).swap(slots);
    size_t mask = slots.size() - 1;
    for (size_t k = 0; k < entries.size(); ++k) {
        size_t i = entries[k].key & mask;
        while (slots[i] >= 0) i = (i + 1) & mask;
        slots[i] = static_cast<int32_t>(k);
    }
}

}  // namespace

size_t token_bucket(std::string_view token) {
    if (token.empty()) return 1;
    uint32_t h = static_cast<unsigned char>(token[0]);
    size_t n = token.size() < 20 ? token.size() : 20;
    for (size_t i = 1; i < n; ++i) h = (h * 2) ^ static_cast<unsigned char>(token[i]);
    return (h & 16383) + 1;
}

void token_init() {
    text.clear();
    entries.clear();
    slots.assign(64, -1);
    live = true;
}

void token_free() {
    std::string().swap(text);
    std::vector<token_entry>().swap(entries);
    std::vector<int32_t>().swap(slots);
    live = false;
}

int token_count(std::string_view token, int case_flag) {
    if (!live) return 0;
    std::string lowered;
    if (case_flag == token_ignore_case) {
        lowered = win_lower(token);
        token = lowered;
    }
    uint32_t key = key_of(token);
    size_t mask = slots.size() - 1;
    size_t i = key & mask;
    for (; slots[i] >= 0; i = (i + 1) & mask) {
        token_entry& e = entries[static_cast<size_t>(slots[i])];
        if (e.key == key && std::string_view(text).substr(e.start, e.length) == token) return ++e.count;
    }
    entries.push_back({text.size(), token.size(), key, 1});
    text.append(token);
    slots[i] = static_cast<int32_t>(entries.size() - 1);
    if (entries.size() * 2 > slots.size()) grow();
    return 1;
}

std::string unique_token(std::string_view base, std::string_view ext, int case_flag) {
    std::string plain;
    plain.reserve(base.size() + ext.size());
    plain.append(base).append(ext);
    int c = token_count(plain, case_flag);
    if (c <= 1) return plain;
    // Every candidate tried is registered, also one that proves taken.
    for (long long n = c;; ++n) {
        std::string candidate(base);
        candidate.append("[").append(std::to_string(n)).append("]").append(ext);
        if (token_count(candidate, case_flag) <= 1) return candidate;
    }
}

}  // namespace tallyrun
