#include "pacing_stats.h"

#include <stdio.h>

#include <algorithm>
#include <cmath>

std::vector<FrameRecord> FramesFromSwaps(double loopStartSeconds, const std::vector<double>& swapReturnSeconds) {
    std::vector<FrameRecord> frames(swapReturnSeconds.size());
    double previous = loopStartSeconds;
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].frameMs = (swapReturnSeconds[i] - previous) * 1000.0;
        previous = swapReturnSeconds[i];
    }
    return frames;
}

std::vector<double> FrameTimesAfterFirst(const std::vector<FrameRecord>& frames) {
    std::vector<double> frameMs;
    for (size_t i = 1; i < frames.size(); ++i) frameMs.push_back(frames[i].frameMs);
    return frameMs;
}

bool IsStutter(double frameMs, double medianMs) {
    return frameMs > 1.5 * medianMs;
}

PacingSummary Summarise(const std::vector<FrameRecord>& frames) {
    PacingSummary summary;
    if (!frames.empty()) summary.firstMs = frames[0].frameMs;
    const std::vector<double> frameMs = FrameTimesAfterFirst(frames);
    summary.frames = static_cast<long>(frameMs.size());
    if (frameMs.empty()) return summary;
    for (double ms : frameMs) summary.elapsedMs += ms;
    summary.meanFps = summary.elapsedMs > 0 ? static_cast<double>(summary.frames) * 1000.0 / summary.elapsedMs : 0.0;
    summary.p50Ms = Median(frameMs);
    summary.p95Ms = Percentile(frameMs, 95);
    summary.p99Ms = Percentile(frameMs, 99);
    summary.maxMs = *std::max_element(frameMs.begin(), frameMs.end());
    summary.stutters = std::count_if(frameMs.begin(), frameMs.end(),
                                     [&](double ms) { return IsStutter(ms, summary.p50Ms); });
    return summary;
}

std::string SummaryLine(const PacingSummary& summary) {
    char first[64] = "first frame none";
    if (summary.firstMs) snprintf(first, sizeof first, "first frame %.1f ms (start-up)", *summary.firstMs);
    char line[320];
    snprintf(line, sizeof line,
             "%s, then: frames %ld, mean %.1f fps, p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, max %.2f ms, stutters %ld",
             first, summary.frames, summary.meanFps, summary.p50Ms, summary.p95Ms, summary.p99Ms, summary.maxMs,
             summary.stutters);
    return line;
}

bool IsPlantedStall(long frame, long every) {
    return every > 0 && frame % every == every - 1;
}

double LowFps(const std::vector<double>& intervalsMs, double divisor) {
    if (intervalsMs.empty()) return 0.0;
    std::vector<double> sorted(intervalsMs);
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) { return a > b; });
    const size_t count = std::max<size_t>(1, static_cast<size_t>(std::ceil(static_cast<double>(sorted.size()) / divisor)));
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += sorted[i];
    return sum > 0 ? 1000.0 * static_cast<double>(count) / sum : 0.0;
}

namespace {

// Refreshes in an interval: to the nearest whole number, halves up.
long WholeRefreshes(double ms, double periodMs) {
    return static_cast<long>(std::floor(ms / periodMs + 0.5));
}

// The tolerance, for where the display says nothing: within a quarter period of a whole, non-zero
// number of periods.
bool NearWholeRefreshes(double ms, double periodMs) {
    const double periods = ms / periodMs;
    return WholeRefreshes(ms, periodMs) >= 1 && std::fabs(periods - std::round(periods)) <= 0.25;
}

struct Judge {
    double periodMs;  // 0: unknown
    long step;        // the swap interval, at least 1
    bool byInterval = false;

    // A frame the display reported on: discarded, or shown after a frame that was or was not.
    void Presented(FrameRecord* frame, const Presentation& now, const Presentation& before) {
        if (now.discarded) {
            frame->discarded = true;
            frame->onRefresh = false;
            frame->missed = true;
            return;
        }
        if (!now.known) return;
        if (before.known) {
            frame->presentMs = (now.seconds - before.seconds) * 1000.0;
            if (now.counterKnown && before.counterKnown) {
                frame->refreshes = static_cast<long>(now.counter - before.counter);
            } else if (periodMs > 0) {
                frame->refreshes = WholeRefreshes(*frame->presentMs, periodMs);
            }
        }
        if (now.flagsKnown) {
            frame->onRefresh = now.vsync;
        } else if (now.counterKnown) {
            frame->onRefresh = true;
        } else if (frame->presentMs && periodMs > 0) {
            frame->onRefresh = NearWholeRefreshes(*frame->presentMs, periodMs);
            byInterval = true;
        }
        if (frame->refreshes) frame->missed = *frame->refreshes > step;
    }

    // No presentations at all: the swap interval, against a known refresh.
    void Swapped(FrameRecord* frame) const {
        frame->onRefresh = NearWholeRefreshes(frame->frameMs, periodMs);
        frame->missed = WholeRefreshes(frame->frameMs, periodMs) > step;
    }
};

}  // namespace

DisplayPacing JudgePacing(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown, double refreshHz,
                          int interval) {
    std::vector<FrameRecord>& f = *frames;
    for (FrameRecord& frame : f) {
        frame.presentMs.reset();
        frame.refreshes.reset();
        frame.onRefresh.reset();
        frame.missed.reset();
        frame.discarded = false;
    }
    auto at = [&](size_t i) { return i < shown.size() ? shown[i] : Presentation(); };
    bool reported = false;
    for (size_t i = 1; i < f.size(); ++i) reported = reported || at(i).known || at(i).discarded;

    DisplayPacing pacing;
    Judge judge = {refreshHz > 0 ? 1000.0 / refreshHz : 0.0, std::max(1, interval)};
    for (size_t i = 1; i < f.size(); ++i) {
        if (reported) judge.Presented(&f[i], at(i), at(i - 1));
        else if (judge.periodMs > 0) judge.Swapped(&f[i]);
    }
    pacing.basis = !reported && judge.periodMs > 0 ? DisplayPacing::kSwapTimes
                   : judge.byInterval              ? DisplayPacing::kPresentationIntervals
                                                   : DisplayPacing::kDisplay;

    bool off = false;
    std::vector<double> presented;
    for (size_t i = 1; i < f.size(); ++i) {
        off = off || f[i].onRefresh == false || f[i].refreshes == 0L;
        pacing.judged += f[i].missed.has_value();
        pacing.missedCount += f[i].missed.value_or(false);
        if (f[i].presentMs) presented.push_back(*f[i].presentMs);
    }
    pacing.verdict = off ? DisplayPacing::kNotHeld : pacing.judged > 0 ? DisplayPacing::kHeld : DisplayPacing::kUnknown;

    pacing.lowsFromPresentations = !presented.empty();
    const std::vector<double> lows = presented.empty() ? FrameTimesAfterFirst(f) : presented;
    pacing.lowIntervals = static_cast<long>(lows.size());
    pacing.low1Fps = LowFps(lows, 100);
    pacing.low01Fps = LowFps(lows, 1000);
    return pacing;
}

void SetSwapToPresent(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown) {
    for (size_t i = 0; i < frames->size() && i < shown.size(); ++i) {
        const Presentation& p = shown[i];
        if (p.known && p.swapSeconds) (*frames)[i].swapToPresentMs = (p.seconds - *p.swapSeconds) * 1000.0;
        else (*frames)[i].swapToPresentMs.reset();
    }
}

namespace {

// "NAME" / "no NAME" / "NAME on K of N" over `among` of the frames after the first that were shown.
std::string Share(const std::vector<Presentation>& shown, bool (*among)(const Presentation&),
                  bool (*set)(const Presentation&), const char* name) {
    long known = 0, on = 0;
    for (size_t i = 1; i < shown.size(); ++i) {
        if (!shown[i].known || !among(shown[i])) continue;
        ++known;
        on += set(shown[i]);
    }
    char text[96];
    if (known == 0) snprintf(text, sizeof text, "%s", "");
    else if (on == known) snprintf(text, sizeof text, "%s", name);
    else if (on == 0) snprintf(text, sizeof text, "no %s", name);
    else snprintf(text, sizeof text, "%s on %ld of %ld", name, on, known);
    return text;
}

// What the display said of the frames after the first: its flags where it gives them, and its refresh counter.
std::string Flags(const std::vector<Presentation>& shown) {
    auto flagged = [](const Presentation& p) { return p.flagsKnown; };
    auto all = [](const Presentation&) { return true; };
    const std::string parts[] = {
        Share(shown, flagged, [](const Presentation& p) { return p.vsync; }, "vsync"),
        Share(shown, flagged, [](const Presentation& p) { return p.hardwareClock; }, "hardware clock"),
        Share(shown, all, [](const Presentation& p) { return p.counterKnown; }, "refresh counter"),
    };
    std::string flags;
    for (const std::string& part : parts) {
        if (part.empty() || part == "no refresh counter") continue;
        flags += (flags.empty() ? "" : ", ") + part;
    }
    return flags.empty() ? "no flags, no refresh counter" : flags;
}

}  // namespace

std::string DisplayLine(double refreshHz, const std::string& refreshSource, const std::string& refreshWhyUnknown,
                        const std::string& presentSource, const std::string& presentWhyNot,
                        const std::vector<Presentation>& shown) {
    char refresh[256];
    if (refreshHz > 0) snprintf(refresh, sizeof refresh, "%.2f Hz (%s)", refreshHz, refreshSource.c_str());
    else snprintf(refresh, sizeof refresh, "refresh rate unknown (%s)", refreshWhyUnknown.c_str());
    std::string present;
    if (presentSource.empty()) {
        present = "not offered (" + presentWhyNot + ")";
    } else if (std::none_of(shown.begin() + std::min<size_t>(1, shown.size()), shown.end(),
                            [](const Presentation& p) { return p.known; })) {
        present = presentSource + " (no frame after the first reported shown)";
    } else {
        present = presentSource + " (" + Flags(shown) + ")";
    }
    return std::string("display: ") + refresh + "; presentation times: " + present;
}

std::string VsyncLine(const DisplayPacing& pacing) {
    char line[320];
    const char* verdict = pacing.verdict == DisplayPacing::kHeld      ? "held"
                          : pacing.verdict == DisplayPacing::kNotHeld ? "not held"
                                                                      : "unknown";
    const char* basis = pacing.verdict == DisplayPacing::kUnknown                  ? ""
                        : pacing.basis == DisplayPacing::kSwapTimes              ? " (judged from swap times)"
                        : pacing.basis == DisplayPacing::kPresentationIntervals ? " (judged from presentation intervals)"
                                                                                 : "";
    int used = snprintf(line, sizeof line, "vsync: %s%s", verdict, basis);
    if (pacing.judged > 0) {
        used += snprintf(line + used, sizeof line - used, ", %ld of %ld frames missed a refresh (%.1f%%)",
                         pacing.missedCount, pacing.judged, 100.0 * pacing.missedCount / pacing.judged);
    }
    if (pacing.lowIntervals == 0) {
        snprintf(line + used, sizeof line - used, "; no lows (no frame after the first)");
    } else {
        snprintf(line + used, sizeof line - used, "; 1%% low %.1f fps, 0.1%% low %.1f fps (of %ld %s)", pacing.low1Fps,
                 pacing.low01Fps, pacing.lowIntervals,
                 pacing.lowsFromPresentations ? "presentation intervals" : "frame times");
    }
    return line;
}

std::string LatencyLine(const std::vector<FrameRecord>& frames, const std::string& clock, const std::string& whyNot) {
    std::vector<double> latencies;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].swapToPresentMs) latencies.push_back(*frames[i].swapToPresentMs);
    }
    char line[320];
    if (!whyNot.empty() || clock.empty()) {
        snprintf(line, sizeof line, "latency: swap to present unknown (%s)", whyNot.c_str());
    } else if (latencies.empty()) {
        snprintf(line, sizeof line, "latency: swap to present unknown (no frame after the first reported shown)");
    } else {
        snprintf(line, sizeof line, "latency: swap to present p50 %.2f ms, p99 %.2f ms (%s)", Median(latencies),
                 Percentile(latencies, 99), clock.c_str());
    }
    return line;
}

std::string StallLine(const std::vector<FrameRecord>& frames, const DisplayPacing& pacing) {
    long planted = 0, seen = 0;
    for (const FrameRecord& frame : frames) {
        if (!frame.stalled) continue;
        ++planted;
        seen += frame.missed.value_or(false);
    }
    char line[128];
    if (pacing.judged > 0) snprintf(line, sizeof line, "stalls: %ld planted, %ld seen as missed refreshes", planted, seen);
    else snprintf(line, sizeof line, "stalls: %ld planted", planted);
    return line;
}
