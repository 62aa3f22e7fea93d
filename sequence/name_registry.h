// The names of one folder listing: counts them and makes generated names unique among them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sequence/run_finder.h"
#include "sequence/case_map.h"

namespace tallyrun {

// The bucket of a token as stored (already lower-cased when case is ignored):
// 1..16384, decided by the first 20 units only. It seeds the registry's hash.
template <typename C>
size_t token_bucket(std::basic_string_view<C> token);

// The token registry of one listing. Every name of the folder counts as
// registered once from the start (real: the names lower-cased, alive as long
// as the registry); they are looked up only when a generated name of their
// length is asked about, so a folder without runs costs nothing here. Tokens
// ignore case: each is lower-cased by the side's Windows rules before it is
// matched and stored.
template <typename C>
class name_registry {
public:
    using view = std::basic_string_view<C>;
    using text = std::basic_string<C>;

    name_registry(const name_refs<C>& real, case_map<C>& cases) : real_(real), cases_(cases) {}

    // Registers one more occurrence of token and returns how many it now has
    // (1 at the first). token is never empty.
    int token_count(view token);
    // A name not registered before, registered once now: base + ext, or else
    // base + "[n]" + ext with the first free counter n, starting at the plain
    // name's count. base and ext keep the caller's case.
    text unique_token(view base, view ext);

private:
    struct token_hash {
        size_t operator()(view t) const;
    };
    int real_count(view token);

    const name_refs<C>& real_;
    case_map<C>& cases_;
    std::unordered_map<size_t, std::unordered_map<view, int, token_hash>> real_by_length_;
    std::unordered_map<text, int, token_hash> registered_;  // occurrences beyond the real names
};

}  // namespace tallyrun
