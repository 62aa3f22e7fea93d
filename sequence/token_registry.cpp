// The token registry: counts the names seen in one folder listing and makes new names unique.
#include "sequence/token_registry.h"

#include <vector>

#include "config/text.h"

namespace tallyrun {
namespace {

// Two parallel tables: bucket b of `tokens` holds its distinct tokens in the
// order of first registration, bucket b of `counts` their counts.
std::vector<std::vector<std::string>> tokens;
std::vector<std::vector<int>> counts;

}  // namespace

size_t token_bucket(std::string_view token) {
    if (token.empty()) return 1;
    uint32_t h = static_cast<unsigned char>(token[0]);
    size_t n = token.size() < 20 ? token.size() : 20;
    for (size_t i = 1; i < n; ++i) h = (h * 2) ^ static_cast<unsigned char>(token[i]);
    return (h & 16383) + 1;
}

void token_init() {
    tokens.assign(token_buckets, {});
    counts.assign(token_buckets, {});
}

void token_free() {
    std::vector<std::vector<std::string>>().swap(tokens);
    std::vector<std::vector<int>>().swap(counts);
}

int token_count(std::string_view token, int case_flag) {
    if (tokens.empty()) return 0;
    std::string lowered;
    if (case_flag == token_ignore_case) {
        lowered = win_lower(token);
        token = lowered;
    }
    size_t b = token_bucket(token) - 1;
    std::vector<std::string>& names = tokens[b];
    for (size_t k = 0; k < names.size(); ++k)
        if (names[k] == token) return ++counts[b][k];
    names.emplace_back(token);
    counts[b].push_back(1);
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
