// The token registry: counts the names seen in one folder listing and makes new names unique.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallyrun {

inline constexpr size_t token_buckets = 16384;

// Case flag: 0 ignores case (tokens are lower-cased with win_lower before
// hashing, matching and storing); any other value uses tokens unchanged.
inline constexpr int token_ignore_case = 0;
inline constexpr int token_exact_case = 1;

// A fresh, empty registry of 16384 buckets; any earlier one is discarded.
void token_init();
// Discards the registry: no buckets at all until the next token_init.
void token_free();
// Registers one more occurrence of token and returns how many it now has (1
// at the first). token is never empty. Without a registry (before token_init
// or after token_free) nothing is counted and 0 is returned.
int token_count(std::string_view token, int case_flag);
// A name not registered before, registered once now: base + ext, or else
// base + "[n]" + ext with the first free counter n, starting at the plain
// name's count. base and ext keep the caller's case.
std::string unique_token(std::string_view base, std::string_view ext, int case_flag);

// The bucket of a token as stored (already lower-cased when case is ignored):
// 1..16384, decided by the first 20 bytes only.
size_t token_bucket(std::string_view token);

}  // namespace tallyrun
