// brimvalk-pacing's arithmetic, lines, CSV, legend, refresh choice and plot on fixed series with known answers.
#include <gtest/gtest.h>

#include <cairo.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/pacing/output_refresh.h"
#include "tools/pacing/pacing_csv.h"
#include "tools/pacing/pacing_plot.h"
#include "tools/pacing/pacing_stats.h"

namespace {

std::vector<FrameRecord> Frames(const std::vector<double>& frameMs) {
    std::vector<FrameRecord> frames(frameMs.size());
    for (size_t i = 0; i < frameMs.size(); ++i) frames[i].frameMs = frameMs[i];
    return frames;
}

// Frame 0 shown at 0.5 s, each later frame `ms[i - 1]` after the one before; VSYNC as given (flags
// known unless `flags` is false), counters where given.
std::vector<Presentation> Shown(const std::vector<double>& ms, const std::vector<uint64_t>& counters = {},
                                bool vsync = true, bool flags = true) {
    std::vector<Presentation> shown(ms.size() + 1);
    for (size_t i = 0; i < shown.size(); ++i) {
        shown[i].known = true;
        shown[i].seconds = i == 0 ? 0.5 : shown[i - 1].seconds + ms[i - 1] / 1000;
        shown[i].counterKnown = !counters.empty();
        shown[i].counter = counters.empty() ? 0 : counters[i];
        shown[i].flagsKnown = flags;
        shown[i].vsync = flags && vsync;
    }
    return shown;
}

std::vector<long> Refreshes(const std::vector<FrameRecord>& frames) {
    std::vector<long> refreshes;
    for (const FrameRecord& frame : frames) refreshes.push_back(frame.refreshes.value_or(-1));
    return refreshes;
}

// Each frame's time runs from the previous swap's return (the loop's start for the first).
TEST(PacingStats, FrameTimesFromSwapReturns) {
    const std::vector<FrameRecord> frames = FramesFromSwaps(100.0, {100.010, 100.030, 100.045});
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(frames[i].frameMs, (std::vector<double>{10, 20, 15})[i], 1e-6) << i;
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

// The first frame apart, in none of the figures after it. A stutter is strictly longer than 1.5
// times the median: 15 ms against a 10 ms median is not one.
TEST(PacingStats, FirstFrameApartThenTheSummary) {
    const struct { std::vector<double> frameMs; const char* line; } cases[] = {
        {{}, "first frame none, then: frames 0, mean 0.0 fps, p50 0.00 ms, p95 0.00 ms, p99 0.00 ms, max 0.00 ms, stutters 0"},
        {{182.44}, "first frame 182.4 ms (start-up), then: frames 0, mean 0.0 fps, p50 0.00 ms, p95 0.00 ms, p99 0.00 ms, "
                   "max 0.00 ms, stutters 0"},
        {{300, 20}, "first frame 300.0 ms (start-up), then: frames 1, mean 50.0 fps, p50 20.00 ms, p95 20.00 ms, "
                    "p99 20.00 ms, max 20.00 ms, stutters 0"},
        {{90, 10, 30, 10, 15, 10, 15.01, 10}, "first frame 90.0 ms (start-up), then: frames 7, mean 70.0 fps, p50 10.00 ms, "
                                              "p95 30.00 ms, p99 30.00 ms, max 30.00 ms, stutters 2"},
        {{5, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 33, 50},
         "first frame 5.0 ms (start-up), then: frames 20, mean 53.9 fps, p50 16.00 ms, p95 33.00 ms, p99 50.00 ms, "
         "max 50.00 ms, stutters 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(SummaryLine(Summarise(Frames(c.frameMs))), c.line);
    EXPECT_NEAR(Summarise(Frames({90, 10, 30, 10, 15, 10, 15.01, 10})).elapsedMs, 100.01, 1e-9);
}

// At 50 Hz (20 ms a refresh). Frame 0 is never judged: -1.
TEST(PacingDisplay, VerdictAndMissedRefreshes) {
    std::vector<Presentation> discarded = Shown({20, 20, 20});
    discarded[2] = Presentation();
    discarded[2].discarded = true;
    std::vector<Presentation> lateFlagOff = Shown({20, 20, 20});
    lateFlagOff[3].vsync = false;
    std::vector<Presentation> firstOff = Shown({20, 20, 20});
    firstOff[0].vsync = false;
    const struct {
        const char* what;
        std::vector<Presentation> shown;
        int interval;
        DisplayPacing::Verdict verdict;
        DisplayPacing::Basis basis;
        std::vector<long> refreshes;
        long judged, missed;
    } cases[] = {
        {"VSYNC, one refresh each, then two and three", Shown({20, 20, 40, 60}), 1, DisplayPacing::kHeld,
         DisplayPacing::kDisplay, {-1, 1, 1, 2, 3}, 4, 2},
        {"counters step by whole refreshes; the times are not consulted", Shown({13, 27, 20}, {5, 6, 8, 9}), 1,
         DisplayPacing::kHeld, DisplayPacing::kDisplay, {-1, 1, 2, 1}, 3, 1},
        {"the same counter twice: two frames in one refresh", Shown({20, 1, 20}, {5, 6, 6, 7}), 1,
         DisplayPacing::kNotHeld, DisplayPacing::kDisplay, {-1, 1, 0, 1}, 3, 0},
        {"a swap interval of 2: two refreshes are on time", Shown({40, 40, 60}), 2, DisplayPacing::kHeld,
         DisplayPacing::kDisplay, {-1, 2, 2, 3}, 3, 1},
        {"VSYNC clear on whole refreshes: the flags say no", Shown({20, 40, 20}, {}, false), 1,
         DisplayPacing::kNotHeld, DisplayPacing::kDisplay, {-1, 1, 2, 1}, 3, 1},
        {"VSYNC clear on one frame", lateFlagOff, 1, DisplayPacing::kNotHeld, DisplayPacing::kDisplay, {-1, 1, 1, 1}, 3, 0},
        {"VSYNC clear on the first frame only: it is not judged", firstOff, 1, DisplayPacing::kHeld,
         DisplayPacing::kDisplay, {-1, 1, 1, 1}, 3, 0},
        {"no flags, no counter, between refreshes", Shown({26, 26, 20}, {}, false, false), 1, DisplayPacing::kNotHeld,
         DisplayPacing::kPresentationIntervals, {-1, 1, 1, 1}, 3, 0},
        {"no flags, no counter, on whole refreshes", Shown({20, 40, 20}, {}, false, false), 1, DisplayPacing::kHeld,
         DisplayPacing::kPresentationIntervals, {-1, 1, 2, 1}, 3, 1},
        {"no flags, an interval of zero refreshes", Shown({20, 4, 20}, {}, false, false), 1, DisplayPacing::kNotHeld,
         DisplayPacing::kPresentationIntervals, {-1, 1, 0, 1}, 3, 0},
        {"a frame discarded, never shown: missed, and nothing after it known", discarded, 1, DisplayPacing::kNotHeld,
         DisplayPacing::kDisplay, {-1, 1, -1, -1}, 2, 1},
        {"a counter two ahead", Shown({20, 20, 20}, {7, 8, 9, 11}), 1, DisplayPacing::kHeld, DisplayPacing::kDisplay,
         {-1, 1, 1, 2}, 3, 1},
    };
    for (const auto& c : cases) {
        std::vector<FrameRecord> frames = Frames(std::vector<double>(c.shown.size(), 20.0));
        const DisplayPacing pacing = JudgePacing(&frames, c.shown, 50, c.interval);
        EXPECT_EQ(pacing.verdict, c.verdict) << c.what;
        EXPECT_EQ(pacing.basis, c.basis) << c.what;
        EXPECT_EQ(Refreshes(frames), c.refreshes) << c.what;
        EXPECT_EQ(pacing.judged, c.judged) << c.what;
        EXPECT_EQ(pacing.missedCount, c.missed) << c.what;
    }
    // Halves round up: at 64 Hz (15.625 ms, exact in binary), 1.5 periods is 2 refreshes, 1.4 is 1.
    std::vector<FrameRecord> halves = Frames({16, 16, 16, 16});
    JudgePacing(&halves, Shown({15.625, 23.4375, 21.875}, {}, true, false), 64, 1);
    EXPECT_EQ(Refreshes(halves), (std::vector<long>{-1, 1, 2, 1}));
}

// The swap times are judged only with a refresh rate and no presentation after the first frame.
TEST(PacingDisplay, SwapTimesAndTheUnknownCases) {
    std::vector<FrameRecord> onRefresh = Frames({90, 20, 21, 39, 20, 60});
    DisplayPacing pacing = JudgePacing(&onRefresh, {}, 50, 1);
    EXPECT_EQ(VsyncLine(pacing), "vsync: held (judged from swap times), 2 of 5 frames missed a refresh (40.0%); "
                                 "1% low 16.7 fps, 0.1% low 16.7 fps (of 5 frame times)");
    std::vector<FrameRecord> offRefresh = Frames({90, 20, 30, 20});
    EXPECT_EQ(JudgePacing(&offRefresh, {}, 50, 1).verdict, DisplayPacing::kNotHeld);
    // Frame 0 alone reported shown: the rest are judged from their swaps.
    EXPECT_EQ(JudgePacing(&offRefresh, {Shown({})[0]}, 50, 1).basis, DisplayPacing::kSwapTimes);

    std::vector<FrameRecord> one = Frames({90});
    const std::vector<Presentation> flagsOnly = Shown({20, 20, 20});
    const struct { const char* what; std::vector<FrameRecord>* frames; std::vector<Presentation> shown; double hz; } cases[] = {
        {"fewer than 2 frames", &one, Shown({}), 50},
        {"no presentation times and no refresh rate", &offRefresh, {}, 0},
        {"presentations with neither a counter nor a refresh rate", &offRefresh, flagsOnly, 0},
    };
    for (const auto& c : cases) {
        pacing = JudgePacing(c.frames, c.shown, c.hz, 1);
        EXPECT_EQ(pacing.verdict, DisplayPacing::kUnknown) << c.what;
        EXPECT_EQ(pacing.judged, 0) << c.what;
        EXPECT_EQ(VsyncLine(pacing).substr(0, 15), "vsync: unknown;") << c.what << ": " << VsyncLine(pacing);
    }
}

// 101 frames: the first apart, the lows over the other 100's 100 presentation intervals.
TEST(PacingDisplay, LowsOverTheStatedIntervals) {
    std::vector<double> ms(100, 10.0);
    ms[17] = 50;
    EXPECT_DOUBLE_EQ(LowFps(ms, 100), 20.0);   // 1 of 100: the 50 ms one alone
    EXPECT_DOUBLE_EQ(LowFps(ms, 1000), 20.0);  // never fewer than one
    ms.push_back(30);                          // 101: the slowest 2, 40 ms on average
    EXPECT_DOUBLE_EQ(LowFps(ms, 100), 25.0);
    EXPECT_DOUBLE_EQ(LowFps(ms, 1000), 20.0);
    EXPECT_EQ(LowFps({}, 100), 0.0);

    std::vector<double> present(100, 20.0);
    present[40] = 75;
    present[0] = 900;  // frame 1's: after the first frame, so it counts
    std::vector<FrameRecord> frames = Frames(std::vector<double>(101, 20.0));
    frames[0].frameMs = 5000;
    const DisplayPacing pacing = JudgePacing(&frames, Shown(present), 50, 1);
    EXPECT_EQ(pacing.lowIntervals, 100);
    EXPECT_TRUE(pacing.lowsFromPresentations);
    EXPECT_NEAR(pacing.low1Fps, 1000.0 / 900, 1e-9);
    EXPECT_EQ(VsyncLine(pacing), "vsync: held, 2 of 100 frames missed a refresh (2.0%); 1% low 1.1 fps, 0.1% low "
                                 "1.1 fps (of 100 presentation intervals)");

    // --stall 3: frames 2 and 5 of 0..6; frame 5 seen late, frame 2 not.
    std::vector<FrameRecord> stalled = Frames(std::vector<double>(7, 20));
    for (size_t i = 0; i < stalled.size(); ++i) stalled[i].stalled = IsPlantedStall(static_cast<long>(i), 3);
    EXPECT_EQ(StallLine(stalled, JudgePacing(&stalled, Shown({20, 20, 20, 20, 60, 20}), 50, 1)),
              "stalls: 2 planted, 1 seen as missed refreshes");
    EXPECT_TRUE(IsPlantedStall(2, 3) && IsPlantedStall(5, 3) && !IsPlantedStall(3, 3) && !IsPlantedStall(0, 3));
}

// What the display said of the frames after the first, counted as "NAME on K of N frames shown".
TEST(PacingLines, DisplayLine) {
    std::vector<Presentation> mixed = Shown({20, 20, 20, 20});
    mixed[0].vsync = false;  // the first frame's flags are not counted
    mixed[2].vsync = false;
    mixed[4].hardwareClock = true;
    std::vector<Presentation> counted = Shown({20, 20}, {4, 5, 6}, false, false);
    const struct { const char* what; std::vector<Presentation> shown; const char* present; } cases[] = {
        {"all VSYNC", Shown({20, 20}), "wp_presentation (vsync, no hardware clock)"},
        {"one of four clear", mixed, "wp_presentation (vsync on 3 of 4, hardware clock on 1 of 4)"},
        {"none set", Shown({20}, {}, false), "wp_presentation (no vsync, no hardware clock)"},
        {"a counter, no flags", counted, "wp_presentation (refresh counter)"},
        {"no flags, no counter", Shown({20}, {}, false, false), "wp_presentation (no flags, no refresh counter)"},
        {"only the first shown", {Shown({})[0]}, "wp_presentation (no frame after the first reported shown)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayLine(59.94, "wl_output", "", "wp_presentation", "", c.shown),
                  std::string("display: 59.94 Hz (wl_output); presentation times: ") + c.present) << c.what;
    }
    EXPECT_EQ(DisplayLine(0, "", "no mode", "", "none offered", {}),
              "display: refresh rate unknown (no mode); presentation times: not offered (none offered)");
}

// p50 and p99 by nearest rank over the frames after the first; or why not.
TEST(PacingLines, LatencyLine) {
    std::vector<FrameRecord> frames = Frames(std::vector<double>(102, 16));
    frames[0].swapToPresentMs = 500;  // the start-up frame's: left out
    for (size_t i = 1; i < frames.size(); ++i) frames[i].swapToPresentMs = static_cast<double>(i);
    frames[50].swapToPresentMs.reset();
    EXPECT_EQ(LatencyLine(frames, "CLOCK_MONOTONIC", ""),
              "latency: swap to present p50 51.00 ms, p99 100.00 ms (CLOCK_MONOTONIC)");
    EXPECT_EQ(LatencyLine(frames, "", "no presentation times: none"), "latency: swap to present unknown (no presentation times: none)");
    EXPECT_EQ(LatencyLine(Frames({16, 16}), "CLOCK_MONOTONIC", ""),
              "latency: swap to present unknown (no frame after the first reported shown)");
}

// The CSV's columns from the judged frames, row 0 marked as the start-up; presentation intervals
// from the presentations, not the swaps; swap to present only where the frame was shown.
TEST(PacingCsv, ColumnsFromTheRecords) {
    std::vector<FrameRecord> frames = Frames({150, 18, 22, 41});
    for (FrameRecord& frame : frames) frame.swapMs = 0.25;
    frames[2].swapMs = 3.5;
    frames[2].stalled = true;
    frames[1].inputMs = 33.25;
    std::vector<Presentation> shown = Shown({20, 40, 20}, {}, true);
    shown[3] = Presentation();
    shown[3].discarded = true;
    for (size_t i = 0; i < 4; ++i) shown[i].swapSeconds = shown[i].seconds - 0.010 - 0.001 * static_cast<double>(i);
    SetSwapToPresent(&frames, shown);
    JudgePacing(&frames, shown, 50, 1);
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    WritePacingCsv(frames, out);
    fclose(out);
    EXPECT_STREQ(text,
                 "frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms\n"
                 "0,1,150.000,0.250,,,,,10.000,0,\n"
                 "1,0,18.000,0.250,20.000,1,1,0,11.000,0,33.250\n"
                 "2,0,22.000,3.500,40.000,2,1,1,12.000,1,\n"
                 "3,0,41.000,0.250,,,0,1,,0,\n");
    free(text);
}

// The legend says what each figure is, from the summary it is given.
TEST(PacingPlot, LegendNamesEachFigure) {
    std::vector<FrameRecord> frames = Frames({400, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                                              28, 29, 30, 31});
    const PacingSummary summary = Summarise(frames);
    ASSERT_TRUE(summary.p95Ms != summary.p99Ms && summary.p99Ms == summary.maxMs);
    std::vector<std::string> texts;
    for (const LegendEntry& entry : PlotLegend(frames, summary, JudgePacing(&frames, {}, 50, 1))) texts.push_back(entry.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"frame time (swap to swap)", "p50 20.00 ms", "p95 30.00 ms",
                                               "p99 31.00 ms", "max 31.00 ms", "stutters 1 (> 1.5 x p50 = 30.0 ms)",
                                               "missed a refresh 2"}));
}

// The output's current mode, not its preferred one; to the mHz; of several outputs, the one nearest
// the presentations' period; else that period.
TEST(PacingRefresh, ChosenFromTheOutputsGiven) {
    const OutputMode preferred60 = {60000, false, true}, current5994 = {59940, true, false};
    const OutputMode current144 = {144000, true, false}, current60 = {60000, true, true};
    const struct {
        const char* what;
        std::vector<std::vector<OutputMode>> outputs;
        uint32_t periodNs;
        double hz;
        const char* source;
    } cases[] = {
        {"current, not preferred", {{preferred60, current5994}}, 0, 59.94, "wl_output"},
        {"the current mode announced last", {{current60, {75000, true, false}}}, 0, 75, "wl_output"},
        {"nearest a 144 Hz period", {{current60}, {current144}}, 6944444, 144, "wl_output"},
        {"nearest a 60 Hz period", {{current144}, {current60}}, 16666667, 60, "wl_output"},
        {"no period: the first output", {{current144}, {current60}}, 0, 144, "wl_output"},
        {"no current mode: the period", {{preferred60}}, 16683350, 1e9 / 16683350, "wp_presentation"},
        {"a current mode without a rate", {{{0, true, false}}}, 8333333, 1e9 / 8333333, "wp_presentation"},
    };
    for (const auto& c : cases) {
        const RefreshChoice choice = ChooseRefresh(c.outputs, c.periodNs);
        EXPECT_DOUBLE_EQ(choice.hz, c.hz) << c.what;
        EXPECT_EQ(choice.source, c.source) << c.what;
    }
    EXPECT_EQ(ChooseRefresh({}, 0).whyUnknown, "the compositor offers no wl_output");
    EXPECT_EQ(ChooseRefresh({{preferred60}}, 0).hz, 0);
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

// Swaps at 18 ms, presentations at 20 ms on 50 Hz; frame 60 takes 60 ms and is shown 80 ms after
// frame 59; the first frame's 300 ms start-up is not drawn.
TEST(PacingPlot, CurvesAndMarksWhereTheSeriesPutsThem) {
    const int kFrames = 100, kSpike = 60;
    std::vector<double> frameMs(kFrames, 18.0), presentMs(kFrames - 1, 20.0);
    frameMs[0] = 300;
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

    // Longer times higher, the 60 ms swap below the 80 ms presentation; the top refresh line at 40 ms, a
    // third of the way from 20 ms to the 80 ms peak.
    EXPECT_LT(swaps.top, swaps.commonRow - 200);
    EXPECT_GT(swaps.top, presented.top + 50);
    EXPECT_LT(presented.commonRow, swaps.commonRow);
    EXPECT_LT(presented.top, presented.commonRow - 200);
    EXPECT_NEAR(refresh.commonRow, presented.commonRow - (presented.commonRow - presented.top) / 3.0, 3);
    // Frame 60 of 1..99; frames are 11 pixels apart.
    EXPECT_NEAR(spike.x, swaps.left + (swaps.right - swaps.left) * 59.0 / 98.0, 3);
    EXPECT_NEAR(circle.x, spike.x, 3);
    EXPECT_NEAR(missed.x, presentedSpike.x, 3);
    EXPECT_LT(missed.y, presented.top + 2);
}

}  // namespace
