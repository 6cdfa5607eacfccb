// brimvalk-pacing's judge of the display on fixed series: verdict, missed refreshes, lows, display line and CSV.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "tools/pacing/pacing_csv.h"
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

}  // namespace
