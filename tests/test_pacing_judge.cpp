// brimvalk-pacing's judge over many generated series: flags on, off, mixed and absent, refresh
// counters or none, jitter, repeats, late and discarded frames, presentations missing. Each series
// is checked against what the stated definitions imply, not against a second copy of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/pacing/pacing_stats.h"

namespace {

enum Flags { kAbsent, kAllVsync, kNoVsync, kMixedVsync, kNoFlags };  // kAbsent: no presentation times at all

struct Series {
    std::string what;
    std::vector<FrameRecord> frames;
    std::vector<Presentation> shown;
    double hz;
    int interval;
};

template <typename T, size_t N>
T Pick(std::mt19937& rng, const T (&values)[N]) {
    return values[rng() % N];
}

Series Generate(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> noise(0, 1);
    const size_t sizes[] = {0, 1, 2, 3, 12, 150, 1100, 2500};
    const double rates[] = {0, 50, 59.94, 60, 144}, jitters[] = {0, 0.3, 2, 6}, chances[] = {0, 0, 0.02, 0.08};
    Series s;
    size_t n = Pick(rng, sizes);
    if (n >= 12) n += rng() % 60;
    s.hz = Pick(rng, rates);
    s.interval = static_cast<int>(rng() % 3);
    const Flags flags = static_cast<Flags>(rng() % 5);
    const bool counter = flags != kAbsent && rng() % 2 == 0;
    const double jitter = Pick(rng, jitters), repeat = Pick(rng, chances), late = Pick(rng, chances);
    const double discard = Pick(rng, chances), unreported = Pick(rng, chances);
    std::ostringstream what;
    what << n << " frames at " << s.hz << " Hz, interval " << s.interval << ", flags " << flags << ", counter "
         << counter << ", jitter " << jitter << " ms, repeat/late/discard/unreported " << repeat << "/" << late << "/"
         << discard << "/" << unreported;
    s.what = what.str();

    // The display's real period, whether the judge is told it or not.
    const double periodMs = 1000.0 / (s.hz > 0 ? s.hz : 60);
    double seconds = 1000 + unit(rng) * 10;
    uint64_t count = 5000;
    s.frames.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double u = unit(rng);
        const long refreshes = i == 0 ? 0 : u < repeat ? 0 : u < repeat + late ? 2 + static_cast<long>(rng() % 4) : 1;
        const double ms = refreshes == 0 ? 0.3 : static_cast<double>(refreshes) * periodMs;
        s.frames[i].frameMs = i == 0 ? 30 + 250 * unit(rng) : std::max(0.05, ms + jitter * noise(rng));
        if (flags == kAbsent) continue;
        Presentation p;
        if (i > 0 && unit(rng) < discard) {
            p.discarded = true;
            s.shown.push_back(p);
            continue;
        }
        count += static_cast<uint64_t>(refreshes);
        seconds += std::max(0.05, ms + jitter * noise(rng)) / 1000;
        p.known = unit(rng) >= unreported;
        p.seconds = seconds;
        p.counter = count;
        p.counterKnown = counter;
        p.flagsKnown = flags != kNoFlags;
        p.vsync = flags == kAllVsync || (flags == kMixedVsync && unit(rng) < 0.95);
        p.hardwareClock = unit(rng) < 0.5;
        p.swapSeconds = seconds - (1 + 20 * unit(rng)) / 1000;
        s.shown.push_back(p);
    }
    // Sometimes the last presentations never arrive.
    if (rng() % 5 == 0) s.shown.resize(s.shown.size() * 3 / 4);
    return s;
}

Presentation At(const Series& s, size_t i) {
    return i < s.shown.size() ? s.shown[i] : Presentation();
}

// The display's word first; refreshes rounded to nearest, halves up; missed by the swap interval;
// not held for any frame off a refresh, discarded or in its predecessor's refresh; missed <= judged.
void CheckVerdict(const Series& s, const std::vector<FrameRecord>& frames, const DisplayPacing& pacing) {
    const long step = std::max(1, s.interval);
    const double periodMs = s.hz > 0 ? 1000.0 / s.hz : 0;
    bool off = false, judgedByInterval = false, allWithWord = true;
    long judged = 0;
    if (!frames.empty()) {
        const FrameRecord& first = frames[0];
        EXPECT_FALSE(first.presentMs || first.refreshes || first.onRefresh || first.missed) << "frame 0 was judged";
    }
    for (size_t i = 1; i < frames.size(); ++i) {
        const Presentation p = At(s, i), before = At(s, i - 1);
        const FrameRecord& f = frames[i];
        if (p.known && p.flagsKnown) {
            EXPECT_EQ(f.onRefresh, p.vsync) << "frame " << i << ": the flags overridden";
        } else if (p.known && p.counterKnown) {
            EXPECT_EQ(f.onRefresh, true) << "frame " << i << ": the counter overridden";
        }
        if (p.known && !p.flagsKnown && !p.counterKnown && f.onRefresh) judgedByInterval = true;
        if (p.known && !p.flagsKnown && !p.counterKnown) allWithWord = false;
        EXPECT_TRUE(!p.discarded || (f.missed == true && f.onRefresh == false)) << "frame " << i << " discarded";
        if (f.refreshes && !(p.counterKnown && before.counterKnown)) {
            const double periods = *f.presentMs / periodMs;
            EXPECT_TRUE(*f.refreshes - 0.5 <= periods && periods < *f.refreshes + 0.5)
                << "frame " << i << ": " << periods << " periods counted as " << *f.refreshes;
        }
        if (f.refreshes && f.refreshes == 0L && f.onRefresh == true && !p.flagsKnown && !p.counterKnown)
            ADD_FAILURE() << "frame " << i << ": an interval of zero refreshes taken as on a refresh";
        EXPECT_TRUE(!f.refreshes || f.missed == (*f.refreshes > step)) << "frame " << i << ": missed by the interval";
        if (f.missed && !f.refreshes && !p.discarded) {
            // Judged from its swap: missed exactly when its frame time rounds past the swap interval.
            EXPECT_EQ(*f.missed, f.frameMs / periodMs >= static_cast<double>(step) + 0.5) << "frame " << i;
        }
        off = off || f.onRefresh == false || f.refreshes == 0L;
        judged += f.missed.has_value();
    }
    EXPECT_EQ(pacing.judged, judged);
    EXPECT_LE(pacing.missedCount, pacing.judged);
    EXPECT_TRUE(!off || pacing.verdict == DisplayPacing::kNotHeld) << "a frame off a refresh, yet " << VsyncLine(pacing);
    EXPECT_TRUE(pacing.verdict != DisplayPacing::kHeld || pacing.judged > 0);
    EXPECT_TRUE(pacing.basis != DisplayPacing::kPresentationIntervals || judgedByInterval);
    EXPECT_TRUE(!allWithWord || pacing.basis != DisplayPacing::kPresentationIntervals) << "the display's word overridden";

    const std::string display = DisplayLine(s.hz, "test", "test", s.shown.empty() ? "" : "test", "none", s.shown);
    EXPECT_TRUE(display.find("(no vsync") == std::string::npos || pacing.verdict != DisplayPacing::kHeld) << display;
}

// The intervals the lows are over, by frame: presentation intervals where any, else frame times.
std::vector<std::pair<double, size_t>> LowIntervals(const std::vector<FrameRecord>& frames) {
    std::vector<std::pair<double, size_t>> presented, swapped;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].presentMs) presented.push_back({*frames[i].presentMs, i});
        swapped.push_back({frames[i].frameMs, i});
    }
    return presented.empty() ? swapped : presented;
}

// `frame`'s interval lowered below every other, the rest unchanged.
Series Lowered(const Series& s, const std::vector<FrameRecord>& frames, size_t frame, bool presented) {
    double least = 1e9;
    for (const auto& [ms, i] : LowIntervals(frames)) least = std::min(least, ms);
    Series t = s;
    if (!presented) {
        t.frames[frame].frameMs = least / 2;
        return t;
    }
    const double by = (*frames[frame].presentMs - least / 2) / 1000;
    for (size_t i = frame; i < t.shown.size(); ++i) t.shown[i].seconds -= by;
    return t;
}

// Each low is over exactly ceil(K / 100) (or / 1000) of the K intervals: lowering one just outside
// the slowest that many leaves it; lowering the slowest of them (when it stands apart) changes it.
void CheckLowsCount(const Series& s, const std::vector<FrameRecord>& frames, const DisplayPacing& pacing) {
    std::vector<std::pair<double, size_t>> intervals = LowIntervals(frames);
    EXPECT_EQ(pacing.lowIntervals, static_cast<long>(intervals.size()));
    if (intervals.size() < 2) return;
    std::sort(intervals.begin(), intervals.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (double divisor : {100.0, 1000.0}) {
        const size_t count = std::max<size_t>(1, static_cast<size_t>(std::ceil(intervals.size() / divisor)));
        const double low = divisor == 100 ? pacing.low1Fps : pacing.low01Fps;
        auto lowAfter = [&](size_t rank) {
            Series t = Lowered(s, frames, intervals[rank].second, pacing.lowsFromPresentations);
            const DisplayPacing again = JudgePacing(&t.frames, t.shown, t.hz, t.interval);
            return divisor == 100 ? again.low1Fps : again.low01Fps;
        };
        // Moving presentations leaves the other intervals equal to within rounding: 1e-9 of the low.
        const double within = 1e-9 * low;
        if (count < intervals.size()) {
            EXPECT_NEAR(lowAfter(count), low, within) << "1/" << divisor << " low changed by the interval ranked " << count + 1;
        }
        if (count == intervals.size() || intervals[count - 1].first > intervals[count].first + 1e-6) {
            EXPECT_GT(std::fabs(lowAfter(count - 1) - low), within)
                << "1/" << divisor << " low not changed by the interval ranked " << count;
        }
    }
}

// The first frame's time and flags changed: nothing reported after it changes.
void CheckFirstFrameApart(const Series& s, const std::vector<FrameRecord>& frames, const DisplayPacing& pacing) {
    if (s.frames.empty()) return;
    Series t = s;
    t.frames[0].frameMs = s.frames[0].frameMs * 7 + 13;
    if (!t.shown.empty()) {
        t.shown[0].flagsKnown = !t.shown[0].flagsKnown;
        t.shown[0].vsync = !t.shown[0].vsync;
        t.shown[0].hardwareClock = !t.shown[0].hardwareClock;
        t.shown[0].swapSeconds = t.shown[0].seconds - 0.5;
    }
    SetSwapToPresent(&t.frames, t.shown);
    const DisplayPacing again = JudgePacing(&t.frames, t.shown, t.hz, t.interval);
    const PacingSummary before = Summarise(frames), after = Summarise(t.frames);
    const std::string tail = ", then: ";
    EXPECT_EQ(SummaryLine(after).substr(SummaryLine(after).find(tail)), SummaryLine(before).substr(SummaryLine(before).find(tail)));
    EXPECT_EQ(VsyncLine(again), VsyncLine(pacing));
    EXPECT_EQ(StallLine(t.frames, again), StallLine(frames, pacing));
    EXPECT_EQ(LatencyLine(t.frames, "clock", ""), LatencyLine(frames, "clock", ""));
    EXPECT_EQ(DisplayLine(t.hz, "a", "b", "c", "d", t.shown), DisplayLine(s.hz, "a", "b", "c", "d", s.shown));
}

TEST(PacingJudge, InvariantsOverGeneratedSeries) {
    std::mt19937 rng(20240528);
    long held = 0, notHeld = 0, unknown = 0;
    for (int index = 0; index < 400 && !HasFailure(); ++index) {
        const Series s = Generate(rng);
        SCOPED_TRACE("series " + std::to_string(index) + ": " + s.what);
        std::vector<FrameRecord> frames = s.frames;
        SetSwapToPresent(&frames, s.shown);
        const DisplayPacing pacing = JudgePacing(&frames, s.shown, s.hz, s.interval);
        CheckVerdict(s, frames, pacing);
        CheckLowsCount(s, frames, pacing);
        CheckFirstFrameApart(s, frames, pacing);
        held += pacing.verdict == DisplayPacing::kHeld;
        notHeld += pacing.verdict == DisplayPacing::kNotHeld;
        unknown += pacing.verdict == DisplayPacing::kUnknown;
    }
    // The generator reaches every verdict.
    EXPECT_GT(held, 20);
    EXPECT_GT(notHeld, 20);
    EXPECT_GT(unknown, 20);
}

}  // namespace
