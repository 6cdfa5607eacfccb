// brimvalk-pacing on fixed series with known answers: its arithmetic, its judge of the display (verdict, missed
// refreshes, lows), its lines and CSV, the refresh choice and the plot.
#include <gtest/gtest.h>

#include <cairo.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
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

// The verdict as the vsync line words it, then each later frame's refreshes/on_refresh/missed, "-" if unknown.
std::string Judged(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown, double hz, int interval) {
    const std::string line = VsyncLine(JudgePacing(frames, shown, hz, interval));
    std::string text = line.substr(7, line.find_first_of(",;") - 7) + ":";
    auto field = [](const auto& value) { return value ? std::to_string(static_cast<long>(*value)) : std::string("-"); };
    for (size_t i = 1; i < frames->size(); ++i) {
        const FrameRecord& f = (*frames)[i];
        text += " " + field(f.refreshes) + "/" + field(f.onRefresh) + "/" + field(f.missed);
    }
    return text;
}

// At 50 Hz (20 ms a refresh), a swap interval of 1 and frames of 20 ms unless given. The display's word
// first; tolerances only where it says nothing; without presentations after frame 0, the swap times.
TEST(PacingDisplay, VerdictAndMissedRefreshes) {
    const std::vector<Presentation> even = Shown({20, 20, 20});
    std::vector<Presentation> discarded = Shown({40, 60, 40, 40});
    discarded[3] = Presentation();
    discarded[3].discarded = true;
    const struct { const char* what; std::vector<Presentation> shown; const char* judged; int interval = 1; double hz = 50;
                   std::vector<double> frameMs = {}; } cases[] = {
        {"a counter and no flags: on a refresh, by whole refreshes, the times not consulted; a swap interval of 0 is 1",
         Shown({13, 27, 20}, {5, 6, 8, 9}, false, false), "held: 1/1/0 2/1/1 1/1/0", 0},
        {"the same counter twice: two frames in one refresh", Shown({20, 1, 20}, {5, 6, 6, 7}), "not held: 1/1/0 0/1/0 1/1/0"},
        {"VSYNC clear on whole refreshes: the flags say no, whatever the counter", Shown({20, 40, 20}, {5, 6, 8, 9}, false),
         "not held: 1/0/0 2/0/1 1/0/0"},
        {"no flags, no counter: within a quarter period of a whole, non-zero number of refreshes",
         Shown({26, 40, 4, 20}, {}, false, false), "not held (judged from presentation intervals): 1/0/0 2/1/1 0/0/0 1/1/0"},
        {"a swap interval of 2: two refreshes on time, three late; a frame discarded, never shown: missed, and nothing "
         "after it known", discarded, "not held: 2/1/0 3/1/1 -/0/1 -/1/-", 2},
        {"only discards after the first: still the display's word", {even[0], discarded[3], discarded[3]}, "not held: -/0/1 -/0/1"},
        {"frame 0 alone reported shown: the rest judged from their swaps; at a swap interval of 2, 2.5 periods is 3 "
         "refreshes", {even[0]}, "not held (judged from swap times): -/1/0 -/1/0 -/1/1 -/0/1", 2, 50, {90, 40, 40, 60, 50}},
        {"fewer than 2 frames", {even[0]}, "unknown:", 1, 50, {90}},
        {"no presentation times and no refresh rate", {}, "unknown: -/-/- -/-/- -/-/-", 1, 0, {90, 20, 30, 20}},
        {"presentations with neither a counter nor a refresh rate", even, "unknown: -/1/- -/1/- -/1/-", 1, 0},
    };
    for (const auto& c : cases) {
        std::vector<FrameRecord> frames = Frames(c.frameMs.empty() ? std::vector<double>(c.shown.size(), 20.0) : c.frameMs);
        JudgePacing(&frames, Shown(std::vector<double>(frames.size(), 60)), 50, 1);  // a verdict before, replaced whole
        EXPECT_EQ(Judged(&frames, c.shown, c.hz, c.interval), c.judged) << c.what;
    }
}

// 104 frames, frame 60 discarded: the lows over the other 101 presentation intervals where any are known,
// else over the 103 frame times: the slowest 2 for the 1% low, the slowest 1 for the 0.1%. With --stall 3,
// frames 2, 5, ... 101 wait: of them, frame 41 (75 ms) missed a refresh.
TEST(PacingDisplay, LowsOverTheStatedIntervals) {
    std::vector<double> ms(103, 20.0);
    ms[0] = 900;
    ms[40] = 75;
    std::vector<FrameRecord> frames = Frames(std::vector<double>(104, 20.0));
    for (size_t i = 0; i < frames.size(); ++i) frames[i].stalled = IsPlantedStall(static_cast<long>(i), 3);
    std::vector<Presentation> shown = Shown(ms);
    shown[60] = Presentation();
    shown[60].discarded = true;
    const DisplayPacing pacing = JudgePacing(&frames, shown, 50, 1);
    EXPECT_EQ(VsyncLine(pacing), "vsync: not held, 3 of 102 frames missed a refresh (2.9%); 1% low 2.1 fps, 0.1% low "
                                 "1.1 fps (of 101 presentation intervals)");
    EXPECT_EQ(StallLine(frames, pacing), "stalls: 34 planted, 1 seen as missed refreshes");
    for (size_t i = 1; i < frames.size(); ++i) frames[i].frameMs = ms[i - 1];
    EXPECT_EQ(VsyncLine(JudgePacing(&frames, {}, 50, 1)), "vsync: held (judged from swap times), 2 of 103 frames missed "
                                                          "a refresh (1.9%); 1% low 2.1 fps, 0.1% low 1.1 fps (of 103 "
                                                          "frame times)");
}

// What the display said of the frames after the first, counted as "NAME on K of N frames shown".
TEST(PacingLines, DisplayLine) {
    std::vector<Presentation> mixed = Shown({20, 20, 20, 20});
    mixed[0].vsync = false;  // the first frame's flags are not counted
    mixed[2].vsync = false;
    mixed[4].hardwareClock = true;
    const struct { const char* what; std::vector<Presentation> shown; const char* present; } cases[] = {
        {"one of four clear", mixed, "wp_presentation (vsync on 3 of 4, hardware clock on 1 of 4)"},
        {"all VSYNC, a counter", Shown({20, 20}, {4, 5, 6}), "wp_presentation (vsync, no hardware clock, refresh counter)"},
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

// The CSV's columns from the judged frames, row 0 the start-up; swap to present only where the frame was shown.
TEST(PacingCsv, ColumnsFromTheRecords) {
    std::vector<FrameRecord> frames = Frames({150, 18, 22, 41});
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
    WritePacingCsv(frames, out);
    fclose(out);
    EXPECT_STREQ(text,
                 "frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms\n"
                 "0,1,150.000,0.000,,,,,10.000,0,\n"
                 "1,0,18.000,0.000,20.000,1,1,0,11.000,0,33.250\n"
                 "2,0,22.000,3.500,40.000,2,1,1,12.000,1,\n"
                 "3,0,41.000,0.000,,,0,1,,0,\n");
    free(text);
}

// Of 100..1, pP is P itself: sorted, and the rank must not pick up rounding (0.07 * 100 > 7).
TEST(PacingStats, NearestRankPercentiles) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    for (double percent : {1, 7, 14, 28, 50, 57, 95, 99}) EXPECT_EQ(Percentile(hundred, percent), percent);
}

// The first frame apart, in none of the figures after it; each later frame's time from the swap before. A
// stutter is strictly longer than 1.5 times the median: 24 ms against a 16 ms median is not one.
TEST(PacingStats, FirstFrameApartThenTheSummary) {
    const struct { std::vector<double> frameMs; const char* line; } cases[] = {
        {{}, "first frame none, then: frames 0, mean 0.0 fps, p50 0.00 ms, p95 0.00 ms, p99 0.00 ms, max 0.00 ms, stutters 0"},
        {{5, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 24, 33, 50},
         "first frame 5.0 ms (start-up), then: frames 20, mean 52.8 fps, p50 16.00 ms, p95 33.00 ms, p99 50.00 ms, "
         "max 50.00 ms, stutters 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(SummaryLine(Summarise(Frames(c.frameMs))), c.line);
    EXPECT_EQ(SummaryLine(Summarise(FramesFromSwaps(100.0, {100.010, 100.030, 100.045}))),
              "first frame 10.0 ms (start-up), then: frames 2, mean 57.1 fps, p50 15.00 ms, p95 20.00 ms, p99 20.00 ms, "
              "max 20.00 ms, stutters 0");
}

// p50 and p99 by nearest rank over the frames after the first; or why not.
TEST(PacingLines, LatencyLine) {
    std::vector<FrameRecord> frames = Frames(std::vector<double>(102, 16));
    frames[0].swapToPresentMs = 500;  // the start-up frame's: left out
    for (size_t i = 1; i < frames.size(); ++i) frames[i].swapToPresentMs = static_cast<double>(i);
    frames[50].swapToPresentMs.reset();
    EXPECT_EQ(LatencyLine(frames, "CLOCK_MONOTONIC", ""), "latency: swap to present p50 51.00 ms, p99 100.00 ms (CLOCK_MONOTONIC)");
    EXPECT_EQ(LatencyLine(frames, "", "no presentation times: none"), "latency: swap to present unknown (no presentation times: none)");
    EXPECT_EQ(LatencyLine(Frames({16, 16}), "CLOCK_MONOTONIC", ""),
              "latency: swap to present unknown (no frame after the first reported shown)");
}

// The output's current mode, not its preferred one; to the mHz; of several outputs, the one nearest
// the presentations' period; else that period.
TEST(PacingRefresh, ChosenFromTheOutputsGiven) {
    const OutputMode preferred60 = {60000, false, true}, current5994 = {59940, true, false};
    const OutputMode current144 = {144000, true, false}, current60 = {60000, true, true};
    const struct { const char* what; std::vector<std::vector<OutputMode>> outputs; uint32_t periodNs; double hz;
                   const char* source; } cases[] = {
        {"current, not preferred", {{preferred60, current5994}}, 0, 59.94, "wl_output"},
        {"the current mode announced last", {{current60, {75000, true, false}}}, 0, 75, "wl_output"},
        {"nearest a 60 Hz period", {{current144}, {current60}}, 16666667, 60, "wl_output"},
        {"no period: the first output", {{current144}, {current60}}, 0, 144, "wl_output"},
        {"no current mode: the period", {{preferred60}}, 16683350, 1e9 / 16683350, "wp_presentation"},
    };
    for (const auto& c : cases) {
        const RefreshChoice choice = ChooseRefresh(c.outputs, c.periodNs);
        EXPECT_DOUBLE_EQ(choice.hz, c.hz) << c.what;
        EXPECT_EQ(choice.source, c.source) << c.what;
    }
    EXPECT_EQ(ChooseRefresh({}, 0).whyUnknown, "the compositor offers no wl_output");
}

cairo_status_t ReadFromFile(void* file, unsigned char* data, unsigned int length) {
    return fread(data, 1, length, static_cast<FILE*>(file)) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

// By hue, so that a thin line's antialiased pixels, lightened towards the white ground, still count.
enum Hue { kOther, kBlue, kGreen, kRed, kOrange, kGrey, kHues };
Hue HueOf(int r, int g, int b) {
    if (b - r > 50 && b - g > 30) return kBlue;
    if (g - r > 40 && g - b > 30) return kGreen;
    if (r - g > 60 && std::abs(g - b) < 25) return kRed;
    if (r - b > 80 && g - b > 40 && r > g) return kOrange;
    return std::abs(r - g) < 6 && std::abs(g - b) < 6 && r >= 70 && r < 200 ? kGrey : kOther;
}

// Where one hue's pixels lie below the legend (row 150 on): by row, their count and columns' sum; their extent.
struct Ink {
    std::map<int, std::pair<long, double>> rows;
    int left = 1 << 30, right = -1;
    int Top() const { return rows.begin()->first; }
    double TopX() const { return rows.begin()->second.second / static_cast<double>(rows.begin()->second.first); }
    int CommonRow() const {
        return std::max_element(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.second.first < b.second.first; })->first;
    }
};
std::vector<Ink> Find(cairo_surface_t* image) {
    std::vector<Ink> inks(kHues);
    for (int y = 150; y < cairo_image_surface_get_height(image); ++y) {
        for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
            uint32_t pixel;
            memcpy(&pixel, cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image) + x * 4, 4);
            Ink& ink = inks[HueOf((pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255)];
            ++ink.rows[y].first;
            ink.rows[y].second += x;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
        }
    }
    return inks;
}

// Frames of 18 ms shown 20 ms apart on 50 Hz; frame 60 takes 60 ms (a stutter, p99 and max) and is shown
// 80 ms after frame 59 (a missed refresh); the first frame's 300 ms start-up and key change are not drawn.
TEST(PacingPlot, CurvesAndMarksWhereTheSeriesPutsThem) {
    std::vector<FrameRecord> frames = Frames(std::vector<double>(100, 18.0));
    frames[0].frameMs = 300;
    frames[60].frameMs = 60;
    for (size_t i = 1; i < frames.size(); ++i) frames[i].presentMs = i == 60 ? 80 : 20;
    frames[60].missed = true;
    frames[0].inputMs = 9;
    frames[30].inputMs = 9;
    DisplayPacing display;
    display.judged = 99;
    display.missedCount = 1;
    std::vector<std::string> legend;
    for (const LegendEntry& entry : PlotLegend(frames, Summarise(frames), display)) legend.push_back(entry.text);
    EXPECT_EQ(legend, (std::vector<std::string>{"frame time (swap to swap)", "presentation interval", "p50 18.00 ms",
                                                "p95 18.00 ms", "p99 60.00 ms", "max 60.00 ms",
                                                "stutters 1 (> 1.5 x p50 = 27.0 ms)", "missed a refresh 1",
                                                "key change shown 1 (event to screen)"}));
    // Without presentation times (the swaps alone), no presentation line and no missed refresh are claimed.
    std::vector<FrameRecord> swapsAlone = Frames(std::vector<double>(100, 18.0));
    std::vector<std::string> swapsLegend;
    for (const LegendEntry& entry : PlotLegend(swapsAlone, Summarise(swapsAlone), {})) swapsLegend.push_back(entry.text);
    EXPECT_EQ(swapsLegend, (std::vector<std::string>{"frame time (swap to swap)", "p50 18.00 ms", "p95 18.00 ms",
                                                     "p99 18.00 ms", "max 18.00 ms", "stutters 0 (> 1.5 x p50 = 27.0 ms)"}));
    FILE* file = tmpfile();
    std::string error;
    ASSERT_TRUE(WritePacingPlot(frames, Summarise(frames), display, 50, "caption", 1200, 900, file, &error)) << error;
    rewind(file);
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadFromFile, file);
    fclose(file);
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const std::vector<Ink> all = Find(image);
    cairo_surface_destroy(image);
    const Ink &swaps = all[kBlue], &presented = all[kGreen], &circle = all[kRed], &missed = all[kOrange];
    ASSERT_TRUE(!swaps.rows.empty() && !presented.rows.empty() && !circle.rows.empty() && !missed.rows.empty());

    // Longer times higher; the top refresh line at 40 ms, a third of the way from 20 ms to the 80 ms peak.
    EXPECT_LT(swaps.Top(), swaps.CommonRow() - 200);
    EXPECT_NEAR(all[kGrey].CommonRow(), presented.CommonRow() - (presented.CommonRow() - presented.Top()) / 3.0, 3);
    // Frame 60 of 1..99; frames are 11 pixels apart. The circle on the frame time, the triangle over the presentation.
    EXPECT_NEAR(swaps.TopX(), swaps.left + (swaps.right - swaps.left) * 59.0 / 98.0, 3);
    EXPECT_NEAR(circle.TopX(), swaps.TopX(), 3);
    EXPECT_NEAR(missed.TopX(), presented.TopX(), 3);
    EXPECT_LT(missed.rows.rbegin()->first, presented.Top() + 2);
}

}  // namespace
