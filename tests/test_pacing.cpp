// brimvalk-pacing's arithmetic and plot on fixed series with known answers.
#include <gtest/gtest.h>

#include <cairo.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/pacing/pacing_plot.h"
#include "tools/pacing/pacing_stats.h"

// Each frame's time runs from the previous swap's return (the loop's start for the first).
TEST(PacingStats, FrameTimesFromSwapReturns) {
    const std::vector<double> ms = FrameTimesMs(FramesFromSwaps(100.0, {100.010, 100.030, 100.045}));
    ASSERT_EQ(ms.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(ms[i], (std::vector<double>{10, 20, 15})[i], 1e-6) << "frame " << i;
    EXPECT_TRUE(FramesFromSwaps(100.0, {}).empty());
}

TEST(PacingStats, NearestRankPercentiles) {
    const std::vector<double> ten = {20, 3, 16, 6, 15, 7, 13, 8, 10, 8};
    for (const auto& [percent, value] : std::vector<std::pair<double, double>>{{0, 3}, {25, 7}, {50, 8}, {75, 15}, {100, 20}})
        EXPECT_EQ(Percentile(ten, percent), value) << "p" << percent;
    // Of 1..100, pP is P itself: the rank must not pick up rounding (0.07 * 100 > 7).
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    for (double percent : {1, 7, 14, 28, 50, 57, 95, 99}) EXPECT_EQ(Percentile(hundred, percent), percent);
}

std::vector<FrameRecord> Frames(const std::vector<double>& frameMs) {
    std::vector<FrameRecord> frames(frameMs.size());
    for (size_t i = 0; i < frameMs.size(); ++i) frames[i].frameMs = frameMs[i];
    return frames;
}

// A stutter is strictly longer than 1.5 times the median: 15 ms against a 10 ms median is not one.
TEST(PacingStats, SummaryAndStutters) {
    const struct { std::vector<double> frameMs; const char* line; } cases[] = {
        {{}, "frames 0, mean 0.0 fps, p50 0.00 ms, p95 0.00 ms, p99 0.00 ms, max 0.00 ms, stutters 0"},
        {{20}, "frames 1, mean 50.0 fps, p50 20.00 ms, p95 20.00 ms, p99 20.00 ms, max 20.00 ms, stutters 0"},
        {{10, 30, 10, 15, 10, 15.01, 10},
         "frames 7, mean 70.0 fps, p50 10.00 ms, p95 30.00 ms, p99 30.00 ms, max 30.00 ms, stutters 2"},
        {{16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 33, 50},
         "frames 20, mean 53.9 fps, p50 16.00 ms, p95 33.00 ms, p99 50.00 ms, max 50.00 ms, stutters 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(SummaryLine(Summarise(Frames(c.frameMs))), c.line);
    EXPECT_NEAR(Summarise(Frames({10, 30, 10, 15, 10, 15.01, 10})).elapsedMs, 100.01, 1e-9);
}

namespace {

std::vector<Presentation> Shown(const std::vector<double>& ms, const std::vector<uint64_t>& counters = {},
                                bool vsync = true) {
    std::vector<Presentation> shown;
    for (size_t i = 0; i <= ms.size(); ++i) {
        const double seconds = i == 0 ? 100 : shown.back().seconds + ms[i - 1] / 1000;
        shown.push_back({true, seconds, counters.empty() ? 0 : counters[i], !counters.empty(), vsync});
    }
    return shown;
}

std::vector<long> Refreshes(const std::vector<FrameRecord>& frames) {
    std::vector<long> refreshes;
    for (const FrameRecord& frame : frames) refreshes.push_back(frame.refreshes.value_or(-1));
    return refreshes;
}

// At 50 Hz (20 ms a refresh).
TEST(PacingDisplay, VerdictAndMissedRefreshes) {
    std::vector<Presentation> discarded = Shown({20, 20, 20});
    discarded[2] = Presentation();
    discarded[2].discarded = true;
    const struct {
        const char* what;
        std::vector<Presentation> shown;
        int interval;
        DisplayPacing::Verdict verdict;
        std::vector<long> refreshes;  // frame 0 has no previous presentation: -1
        long missed;
    } cases[] = {
        {"VSYNC, exactly one refresh each, then two and three", Shown({20, 20, 40, 60}), 1, DisplayPacing::kHeld,
         {-1, 1, 1, 2, 3}, 2},
        {"a frame a hair over one refresh is still one", Shown({20.4, 19.6, 20}), 1, DisplayPacing::kHeld, {-1, 1, 1, 1}, 0},
        {"counters step by whole refreshes; the times are not consulted", Shown({13, 27, 20}, {5, 6, 8, 9}), 1,
         DisplayPacing::kHeld, {-1, 1, 2, 1}, 1},
        {"the same counter twice: two frames in one refresh", Shown({20, 1, 20}, {5, 6, 6, 7}), 1,
         DisplayPacing::kNotHeld, {-1, 1, 0, 1}, 0},
        {"a swap interval of 2: two refreshes are on time", Shown({40, 40, 60}), 2, DisplayPacing::kHeld,
         {-1, 2, 2, 3}, 1},
        {"no VSYNC and no counter, between refreshes", Shown({26, 26, 20}, {}, false), 1, DisplayPacing::kNotHeld,
         {-1, 1, 1, 1}, 0},
        {"no VSYNC and no counter, on whole refreshes", Shown({20, 40, 20}, {}, false), 1, DisplayPacing::kHeld,
         {-1, 1, 2, 1}, 1},
        {"a frame discarded, never shown", discarded, 1, DisplayPacing::kNotHeld, {-1, 1, -1, -1}, 0},
        {"a counter two ahead", Shown({20, 20, 20}, {7, 8, 9, 11}), 1, DisplayPacing::kHeld, {-1, 1, 1, 2}, 1},
    };
    for (const auto& c : cases) {
        std::vector<FrameRecord> frames = Frames(std::vector<double>(c.shown.size(), 20.0));
        const DisplayPacing pacing = JudgePacing(&frames, c.shown, 50, c.interval);
        EXPECT_EQ(pacing.verdict, c.verdict) << c.what;
        EXPECT_EQ(Refreshes(frames), c.refreshes) << c.what;
        EXPECT_EQ(pacing.missedCount, c.missed) << c.what;
        EXPECT_FALSE(pacing.fromSwapTimes) << c.what;
    }
}

TEST(PacingDisplay, SwapTimesAndNothingKnown) {
    std::vector<FrameRecord> onRefresh = Frames({90, 20, 21, 39, 20, 60});  // the first frame carries the start-up
    DisplayPacing pacing = JudgePacing(&onRefresh, {}, 50, 1);
    EXPECT_EQ(pacing.verdict, DisplayPacing::kHeld);
    EXPECT_TRUE(pacing.fromSwapTimes);
    EXPECT_EQ(pacing.judged, 5);
    EXPECT_EQ(pacing.missedCount, 2);
    std::vector<bool> missed;
    for (const FrameRecord& frame : onRefresh) missed.push_back(frame.missed);
    EXPECT_EQ(missed, (std::vector<bool>{false, false, false, true, false, true}));
    EXPECT_EQ(VsyncLine(pacing),
              "vsync: held (judged from swap times), 2 of 5 frames missed a refresh (40.0%); 1% low 11.1 fps, 0.1% low "
              "11.1 fps");
    std::vector<FrameRecord> offRefresh = Frames({90, 20, 30, 20});
    EXPECT_EQ(JudgePacing(&offRefresh, {}, 50, 1).verdict, DisplayPacing::kNotHeld);

    pacing = JudgePacing(&offRefresh, {}, 0, 1);
    EXPECT_EQ(pacing.verdict, DisplayPacing::kUnknown);
    EXPECT_EQ(pacing.judged, 0);
}

TEST(PacingDisplay, LowsAndStalls) {
    std::vector<double> ms(100, 10.0);
    ms[17] = 50;
    EXPECT_DOUBLE_EQ(LowFps(ms, 100), 20.0);   // 1 of 100: the 50 ms frame alone
    EXPECT_DOUBLE_EQ(LowFps(ms, 1000), 20.0);  // never fewer than one frame
    ms.push_back(30);                          // 101 frames: the slowest 2, 40 ms on average
    EXPECT_DOUBLE_EQ(LowFps(ms, 100), 25.0);
    EXPECT_DOUBLE_EQ(LowFps(ms, 1000), 20.0);
    EXPECT_EQ(LowFps({}, 100), 0.0);

    std::vector<FrameRecord> fast = Frames({5, 5, 5, 5});
    const DisplayPacing shown = JudgePacing(&fast, Shown({20, 20, 40}), 50, 1);
    EXPECT_NEAR(shown.low1Fps, 25.0, 1e-6);

    // --stall 3: frames 2 and 5 of 0..6; frame 5 seen late, frame 2 not.
    std::vector<FrameRecord> frames = Frames(std::vector<double>(7, 20));
    for (size_t i = 0; i < frames.size(); ++i) frames[i].stalled = IsPlantedStall(static_cast<long>(i), 3);
    const DisplayPacing stalled = JudgePacing(&frames, Shown({20, 20, 20, 20, 60, 20}), 50, 1);
    EXPECT_EQ(StallLine(frames, stalled), "stalls: 2 planted, 1 seen as missed refreshes");
    EXPECT_TRUE(IsPlantedStall(2, 3) && IsPlantedStall(5, 3) && !IsPlantedStall(3, 3) && !IsPlantedStall(0, 3));
}

cairo_status_t ReadFromFile(void* file, unsigned char* data, unsigned int length) {
    return fread(data, 1, length, static_cast<FILE*>(file)) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

// By hue, so that a thin line's antialiased pixels, lightened towards the white ground, still count.
enum Hue { kOther, kBlue, kGreen, kRed, kOrange, kGrey };
Hue HueOf(int r, int g, int b) {
    if (b - r > 50 && b - g > 30) return kBlue;
    if (g - r > 40 && g - b > 30) return kGreen;
    if (r - g > 60 && std::abs(g - b) < 25) return kRed;
    if (r - b > 80 && g - b > 40 && r > g) return kOrange;
    return std::abs(r - g) < 6 && std::abs(g - b) < 6 && r >= 70 && r < 200 ? kGrey : kOther;
}

// Where pixels of `hue` lie between two rows: their count, mean, extent and most common row.
struct Ink {
    long count = 0;
    double x = 0, y = 0;
    int top = 1 << 30, commonRow = -1, left = 1 << 30, right = -1;
};
Ink Find(cairo_surface_t* image, int fromRow, int toRow, Hue hue) {
    const int width = cairo_image_surface_get_width(image), stride = cairo_image_surface_get_stride(image);
    std::vector<long> rows(static_cast<size_t>(cairo_image_surface_get_height(image)), 0);
    Ink ink;
    for (int y = fromRow; y < std::min(toRow, static_cast<int>(rows.size())); ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel;
            memcpy(&pixel, cairo_image_surface_get_data(image) + y * stride + x * 4, sizeof pixel);
            if (HueOf((pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255) != hue) continue;
            ++ink.count;
            ink.x += x;
            ink.y += y;
            ink.top = std::min(ink.top, y);
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ++rows[static_cast<size_t>(y)];
        }
    }
    if (ink.count > 0) {
        ink.x /= static_cast<double>(ink.count);
        ink.y /= static_cast<double>(ink.count);
        ink.commonRow = static_cast<int>(std::max_element(rows.begin(), rows.end()) - rows.begin());
    }
    return ink;
}

// Swaps at 18 ms, presentations at 20 ms on 50 Hz; frame 60 takes 60 ms and is shown 80 ms after frame 59.
TEST(PacingPlot, CurvesAndMarksWhereTheSeriesPutsThem) {
    const int kFrames = 100, kSpike = 60;
    std::vector<double> frameMs(kFrames, 18.0), presentMs(kFrames - 1, 20.0);
    frameMs[kSpike] = 60;
    presentMs[kSpike - 1] = 80;
    std::vector<FrameRecord> frames = Frames(frameMs);
    const PacingSummary summary = Summarise(frames);
    const DisplayPacing display = JudgePacing(&frames, Shown(presentMs), 50, 1);
    ASSERT_EQ(display.missedCount, 1);
    ASSERT_EQ(summary.stutters, 1);

    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    std::string error;
    ASSERT_TRUE(WritePacingPlot(frames, summary, display, 50, "caption", 1200, 900, file, &error)) << error;
    rewind(file);
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadFromFile, file);
    fclose(file);
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    // Below the legend's 150 rows.
    const int kAll = 1 << 30;
    const Ink swaps = Find(image, 150, kAll, kBlue), presented = Find(image, 150, kAll, kGreen);
    const Ink refresh = Find(image, 150, kAll, kGrey), circle = Find(image, 150, kAll, kRed);
    const Ink missed = Find(image, 150, kAll, kOrange);
    const Ink spike = Find(image, 150, swaps.commonRow - 100, kBlue);
    const Ink presentedSpike = Find(image, 150, presented.commonRow - 100, kGreen);
    cairo_surface_destroy(image);
    ASSERT_TRUE(swaps.count > 0 && presented.count > 0 && circle.count > 0 && missed.count > 0);

    // Longer times higher; the top refresh line at 40 ms, a third of the way from 20 ms to the 80 ms peak.
    EXPECT_LT(swaps.top, swaps.commonRow - 200);
    EXPECT_LT(presented.commonRow, swaps.commonRow);
    EXPECT_LT(presented.top, presented.commonRow - 200);
    EXPECT_NEAR(refresh.commonRow, presented.commonRow - (presented.commonRow - presented.top) / 3.0, 3);
    // Frame 60 of 0..99; frames are 11 pixels apart.
    EXPECT_NEAR(spike.x, swaps.left + (swaps.right - swaps.left) * 60.0 / 99.0, 3);
    EXPECT_NEAR(circle.x, spike.x, 3);
    EXPECT_NEAR(missed.x, presentedSpike.x, 3);
    EXPECT_LT(missed.y, presented.top + 2);
}

}  // namespace
