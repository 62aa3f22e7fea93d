// The names of one folder listing: counts them and makes generated names unique among them.
#include "sequence/name_registry.h"

#include <type_traits>

#include "support/hash.h"

namespace tallyrun {

template <typename C>
size_t token_bucket(std::basic_string_view<C> token) {
    if (token.empty()) return 1;
    uint32_t h = static_cast<std::make_unsigned_t<C>>(token[0]);
    size_t n = token.size() < 20 ? token.size() : 20;
    for (size_t i = 1; i < n; ++i) h = (h * 2) ^ static_cast<std::make_unsigned_t<C>>(token[i]);
    return (h & 16383) + 1;
}

template <typename C>
size_t name_registry<C>::token_hash::operator()(view t) const {
    // The bucket function reads only 20 units and shifts the early ones out,
    // so the names of one run share a handful of buckets: the whole token is
    // hashed within its bucket.
    const uint64_t h = fnv1a(t, fnv1a_seed ^ token_bucket(t));
    return static_cast<size_t>(h ^ (h >> 29));
}

template <typename C>
int name_registry<C>::real_count(view token) {
    auto it = real_by_length_.find(token.size());
    if (it == real_by_length_.end()) {
        std::unordered_map<view, int, token_hash> names;
        for (size_t i = 0; i < real_.size(); ++i)
            if (real_[i].size() == token.size()) ++names[real_[i]];
        it = real_by_length_.emplace(token.size(), std::move(names)).first;
    }
    auto found = it->second.find(token);
    return found == it->second.end() ? 0 : found->second;
}

template <typename C>
int name_registry<C>::token_count(view token) {
    text key(token);
    cases_.lower(key.data(), key.size());
    return real_count(key) + ++registered_[key];
}

template <typename C>
std::basic_string<C> name_registry<C>::unique_token(view base, view ext) {
    text plain;
    plain.reserve(base.size() + ext.size());
    plain.append(base).append(ext);
    int c = token_count(plain);
    if (c <= 1) return plain;
    // Every candidate tried is registered, also one that proves taken.
    for (long long n = c;; ++n) {
        text candidate(base);
        candidate += C('[');
        for (char digit : std::to_string(n)) candidate += C(digit);
        candidate += C(']');
        candidate.append(ext);
        if (token_count(candidate) <= 1) return candidate;
    }
}

template size_t token_bucket<char>(std::string_view);
template size_t token_bucket<char16_t>(std::u16string_view);
template class name_registry<char>;
template class name_registry<char16_t>;

}  // namespace tallyrun
