// One comparison of two sides timed in rounds: medians of each side and of the rounds' own ratios.
#pragma once

#include <algorithm>
#include <vector>

namespace tallyrun_bench {

// The middle value (the upper one of an even count); v must not be empty.
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The times of a bare side and of ours, a pair per round. A round's two sides
// run back to back, so a busy spell of the machine falls on both: the ratio is
// the median of the rounds' own ratios, not a ratio of medians.
struct paired {
    std::vector<double> bare, ours;
    void add(double b, double o) {
        bare.push_back(b);
        ours.push_back(o);
    }
    double bare_ms() const { return median(bare) * 1000; }
    double ours_ms() const { return median(ours) * 1000; }
    double ratio() const {
        std::vector<double> r;
        for (size_t i = 0; i < bare.size(); ++i) r.push_back(ours[i] / bare[i]);
        return median(r);
    }
};

}  // namespace tallyrun_bench
