// Statistics of timings for the tools and benchmarks: one percentile rule, and the median is its 50th.
#ifndef BRIMVALK_HARNESS_STATISTICS_H
#define BRIMVALK_HARNESS_STATISTICS_H

#include <vector>

// The nearest-rank percentile: the smallest value with at least `percent` of the values at or
// below it, i.e. sorted[ceil(percent / 100 * n) - 1] (the lowest value for percent 0). 0 for none.
double Percentile(const std::vector<double>& values, double percent);

// The 50th percentile by that rule: the lower middle for an even count. 0 for none.
double Median(const std::vector<double>& values);

#endif
