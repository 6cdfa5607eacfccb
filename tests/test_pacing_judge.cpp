// brimvalk-pacing's judge over many generated series: flags on, off, mixed and absent, refresh
// counters or none, jitter, repeats, late and discarded frames. Each series is held to invariants of
// the stated definitions, not to a second copy of them; the fixed cases in test_pacing.cpp pin the
// exact counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/pacing/pacing_stats.h"

namespace {

struct Series {
    std::vector<FrameRecord> frames;
    std::vector<Presentation> shown;  // empty: no presentation times at all
    double hz;
    int interval;
};

Series Generate(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0, 1);
    const size_t sizes[] = {0, 1, 2, 3, 12, 150, 1100};
    const double rates[] = {0, 59.94, 60, 144};
    Series s{{}, {}, rates[rng() % 4], static_cast<int>(rng() % 3)};
    const size_t n = sizes[rng() % 7];
    const int flags = static_cast<int>(rng() % 5);  // 0 no presentations, 1 all VSYNC, 2 none, 3 mixed, 4 no flags
    const bool counter = rng() % 2 == 0;
    const double jitter = unit(rng) * 6, odd = unit(rng) * 0.1;  // repeats, late and discarded frames
    const double periodMs = 1000.0 / (s.hz > 0 ? s.hz : 60);
    double seconds = 1000;
    uint64_t count = 5000;
    s.frames.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double u = unit(rng);
        const long refreshes = i == 0 ? 0 : u < odd / 3 ? 0 : u < odd ? 2 + static_cast<long>(rng() % 4) : 1;
        const double ms = refreshes == 0 ? 0.3 : static_cast<double>(refreshes) * periodMs;
        s.frames[i].frameMs = i == 0 ? 30 + 250 * unit(rng) : std::max(0.05, ms + jitter * (unit(rng) - 0.5));
        if (flags == 0) continue;
        Presentation p;
        p.discarded = i > 0 && unit(rng) < odd / 3;
        if (!p.discarded) {
            count += static_cast<uint64_t>(refreshes);
            seconds += std::max(0.05, ms + jitter * (unit(rng) - 0.5)) / 1000;
            p.known = unit(rng) > odd;
            p.seconds = seconds;
            p.counter = count;
            p.counterKnown = counter;
            p.flagsKnown = flags != 4;
            p.vsync = flags == 1 || (flags == 3 && unit(rng) < 0.95);
            p.swapSeconds = seconds - (1 + 20 * unit(rng)) / 1000;
        }
        s.shown.push_back(p);
    }
    return s;
}

TEST(PacingJudge, InvariantsOverGeneratedSeries) {
    std::mt19937 rng(20240528);
    long verdicts[3] = {0, 0, 0};
    for (int index = 0; index < 400 && !HasFailure(); ++index) {
        const Series s = Generate(rng);
        SCOPED_TRACE("series " + std::to_string(index) + ": " + std::to_string(s.frames.size()) + " frames at " +
                     std::to_string(s.hz) + " Hz, interval " + std::to_string(s.interval));
        std::vector<FrameRecord> frames = s.frames;
        const DisplayPacing pacing = JudgePacing(&frames, s.shown, s.hz, s.interval);
        ++verdicts[pacing.verdict];
        bool off = false;
        for (size_t i = 1; i < frames.size(); ++i) {
            const Presentation p = i < s.shown.size() ? s.shown[i] : Presentation();
            const FrameRecord& f = frames[i];
            // The display's word first: flags decide where given, a refresh counter where not.
            const std::optional<bool> word = !p.known ? std::nullopt : p.flagsKnown ? std::optional<bool>(p.vsync)
                                           : p.counterKnown ? std::optional<bool>(true) : std::nullopt;
            EXPECT_TRUE(!word || f.onRefresh == word) << "frame " << i << ": the display's word overridden";
            EXPECT_TRUE(!p.discarded || (f.missed == true && f.onRefresh == false)) << "frame " << i << " discarded";
            EXPECT_TRUE(!f.refreshes || f.missed == (*f.refreshes > std::max(1, s.interval))) << "frame " << i;
            off = off || f.onRefresh == false || f.refreshes == 0L;
        }
        EXPECT_TRUE(frames.empty() || !(frames[0].onRefresh || frames[0].missed || frames[0].presentMs)) << "frame 0 judged";
        EXPECT_LE(pacing.missedCount, pacing.judged);
        EXPECT_TRUE(!off || pacing.verdict == DisplayPacing::kNotHeld) << "a frame off a refresh, yet " << VsyncLine(pacing);
        const std::string display = DisplayLine(s.hz, "t", "t", s.shown.empty() ? "" : "t", "none", s.shown);
        EXPECT_TRUE(display.find("(no vsync") == std::string::npos || pacing.verdict != DisplayPacing::kHeld) << display;

        // The first frame apart: its time and flags changed, nothing reported after it changes.
        if (frames.empty()) continue;
        Series t = s;
        t.frames[0].frameMs = s.frames[0].frameMs * 7 + 13;
        if (!t.shown.empty()) t.shown[0].vsync = !t.shown[0].vsync, t.shown[0].flagsKnown = !t.shown[0].flagsKnown;
        const DisplayPacing again = JudgePacing(&t.frames, t.shown, t.hz, t.interval);
        const std::string before = SummaryLine(Summarise(frames)), after = SummaryLine(Summarise(t.frames));
        EXPECT_EQ(after.substr(after.find(", then: ")), before.substr(before.find(", then: ")));
        EXPECT_EQ(VsyncLine(again), VsyncLine(pacing));
    }
    // The generator reaches every verdict.
    for (long count : verdicts) EXPECT_GT(count, 20);
}

}  // namespace
