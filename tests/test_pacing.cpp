// The frame-pacing arithmetic of brimvalk-pacing on fixed series: frame times from swap times,
// nearest-rank percentiles, stutters and the summary line.
#include <gtest/gtest.h>

#include <vector>

#include "tools/pacing_stats.h"

// Each frame's time runs from the previous swap's return (the loop's start for the first), so
// N swaps give N times adding up to the elapsed time.
TEST(PacingStats, FrameTimesFromSwapReturns) {
    const std::vector<double> ms = FrameTimesMs(100.0, {100.010, 100.030, 100.045});
    ASSERT_EQ(ms.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(ms[i], (std::vector<double>{10, 20, 15})[i], 1e-6) << "frame " << i;
    EXPECT_TRUE(FrameTimesMs(100.0, {}).empty());
}

// The worked examples of the nearest-rank method (percentile, value) on sets given out of order.
TEST(PacingStats, NearestRankPercentiles) {
    struct Case {
        std::vector<double> values;
        std::vector<std::pair<double, double>> expected;
    };
    const Case cases[] = {
        {{50, 15, 40, 20, 35}, {{5, 15}, {30, 20}, {40, 20}, {50, 35}, {100, 50}}},
        {{20, 3, 16, 6, 15, 7, 13, 8, 10, 8}, {{0, 3}, {25, 7}, {50, 8}, {75, 15}, {100, 20}}},
        {{}, {{50, 0}, {99, 0}}},
    };
    for (const Case& c : cases) {
        for (const auto& [percent, value] : c.expected) {
            EXPECT_EQ(Percentile(c.values, percent), value) << "p" << percent << " of " << c.values.size() << " values";
        }
    }
    // Of 1..100, pP is P itself: the rank must not pick up rounding (0.07 * 100 > 7).
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    for (double percent : {1, 7, 14, 28, 50, 57, 95, 99}) EXPECT_EQ(Percentile(hundred, percent), percent);
}

// A stutter is strictly longer than 1.5 times the median: 15 ms against a 10 ms median is not one.
TEST(PacingStats, SummaryAndStutters) {
    struct Case {
        std::vector<double> frameMs;
        const char* line;
    };
    const Case cases[] = {
        {{}, "frames 0, mean 0.0 fps, p50 0.00 ms, p95 0.00 ms, p99 0.00 ms, max 0.00 ms, stutters 0"},
        {{20}, "frames 1, mean 50.0 fps, p50 20.00 ms, p95 20.00 ms, p99 20.00 ms, max 20.00 ms, stutters 0"},
        {{10, 30, 10, 15, 10, 15.01, 10},
         "frames 7, mean 70.0 fps, p50 10.00 ms, p95 30.00 ms, p99 30.00 ms, max 30.00 ms, stutters 2"},
        {{16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 33, 50},
         "frames 20, mean 53.9 fps, p50 16.00 ms, p95 33.00 ms, p99 50.00 ms, max 50.00 ms, stutters 2"},
    };
    for (const Case& c : cases) EXPECT_EQ(SummaryLine(Summarise(c.frameMs)), c.line);
    EXPECT_NEAR(Summarise({10, 30, 10, 15, 10, 15.01, 10}).elapsedMs, 100.01, 1e-9);
}
