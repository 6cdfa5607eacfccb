#include "statistics.h"

#include <algorithm>
#include <cmath>

double Percentile(const std::vector<double>& values, double percent) {
    if (values.empty()) return 0.0;
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    // percent * n first, exact for whole percents: 7 / 100 * 100 would round up to rank 8.
    const double rank = std::ceil(percent * static_cast<double>(sorted.size()) / 100.0);
    const size_t index = rank < 1.0 ? 0 : std::min(sorted.size(), static_cast<size_t>(rank)) - 1;
    return sorted[index];
}

double Median(const std::vector<double>& values) {
    return Percentile(values, 50);
}
