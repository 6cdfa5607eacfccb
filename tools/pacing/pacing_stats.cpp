#include "harness/statistics.h"
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

std::vector<double> FrameTimesMs(const std::vector<FrameRecord>& frames) {
    std::vector<double> frameMs;
    frameMs.reserve(frames.size());
    for (const FrameRecord& frame : frames) frameMs.push_back(frame.frameMs);
    return frameMs;
}

bool IsStutter(double frameMs, double medianMs) {
    return frameMs > 1.5 * medianMs;
}

PacingSummary Summarise(const std::vector<FrameRecord>& frames) {
    const std::vector<double> frameMs = FrameTimesMs(frames);
    PacingSummary summary;
    summary.frames = static_cast<long>(frameMs.size());
    if (frameMs.empty()) return summary;
    for (double ms : frameMs) summary.elapsedMs += ms;
    summary.meanFps = summary.elapsedMs > 0 ? static_cast<double>(summary.frames) * 1000.0 / summary.elapsedMs : 0.0;
    summary.p50Ms = Percentile(frameMs, 50);
    summary.p95Ms = Percentile(frameMs, 95);
    summary.p99Ms = Percentile(frameMs, 99);
    summary.maxMs = *std::max_element(frameMs.begin(), frameMs.end());
    summary.stutters = std::count_if(frameMs.begin(), frameMs.end(),
                                     [&](double ms) { return IsStutter(ms, summary.p50Ms); });
    return summary;
}

std::string SummaryLine(const PacingSummary& summary) {
    char line[256];
    snprintf(line, sizeof line, "frames %ld, mean %.1f fps, p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, max %.2f ms, stutters %ld",
             summary.frames, summary.meanFps, summary.p50Ms, summary.p95Ms, summary.p99Ms, summary.maxMs,
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

// Within a quarter period of a whole, non-zero number of periods.
bool OnRefresh(double ms, double periodMs) {
    const double periods = ms / periodMs;
    return std::lround(periods) >= 1 && std::fabs(periods - std::round(periods)) <= 0.25;
}

}  // namespace

DisplayPacing JudgePacing(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown, double refreshHz,
                          int interval) {
    DisplayPacing pacing;
    std::vector<FrameRecord>& f = *frames;
    const size_t n = f.size();
    const double periodMs = refreshHz > 0 ? 1000.0 / refreshHz : 0.0;
    const long step = std::max(1, interval);
    auto at = [&](size_t i) { return i < shown.size() ? shown[i] : Presentation(); };

    bool anyShown = false, onRefresh = true, sameRefresh = false, discarded = false;
    std::vector<double> presented;
    for (size_t i = 0; i < n; ++i) {
        f[i].presentMs.reset();
        f[i].refreshes.reset();
        f[i].missed = false;
        const Presentation now = at(i);
        anyShown = anyShown || now.known;
        discarded = discarded || now.discarded;
        if (!now.known || i == 0 || !at(i - 1).known) continue;
        const Presentation before = at(i - 1);
        const double ms = (now.seconds - before.seconds) * 1000.0;
        f[i].presentMs = ms;
        presented.push_back(ms);
        if (now.counterKnown && before.counterKnown) {
            f[i].refreshes = static_cast<long>(now.counter - before.counter);
        } else if (periodMs > 0) {
            f[i].refreshes = std::lround(ms / periodMs);
        }
        const bool flagged = now.vsync || (now.counterKnown && before.counterKnown);
        if (!flagged && (periodMs <= 0 || !OnRefresh(ms, periodMs))) onRefresh = false;
        if (f[i].refreshes == 0L) sameRefresh = true;
    }

    if (anyShown) {
        for (size_t i = 0; i < n; ++i) {
            if (!f[i].refreshes) continue;
            ++pacing.judged;
            f[i].missed = *f[i].refreshes > step;
        }
        if (discarded || sameRefresh) {
            pacing.verdict = DisplayPacing::kNotHeld;
        } else if (pacing.judged > 0) {
            pacing.verdict = onRefresh ? DisplayPacing::kHeld : DisplayPacing::kNotHeld;
        }
    } else if (periodMs > 0 && n > 1) {
        // The first frame's time carries the loop's start-up; the rest are swap-to-swap.
        pacing.fromSwapTimes = true;
        bool held = true;
        for (size_t i = 1; i < n; ++i) {
            ++pacing.judged;
            f[i].missed = std::lround(f[i].frameMs / periodMs) > step;
            held = held && OnRefresh(f[i].frameMs, periodMs);
        }
        pacing.verdict = held ? DisplayPacing::kHeld : DisplayPacing::kNotHeld;
    }
    pacing.missedCount = std::count_if(f.begin(), f.end(), [](const FrameRecord& frame) { return frame.missed; });
    const std::vector<double> lows = presented.empty() ? FrameTimesMs(f) : presented;
    pacing.low1Fps = LowFps(lows, 100);
    pacing.low01Fps = LowFps(lows, 1000);
    return pacing;
}

namespace {

// "vsync" / "no vsync" / "vsync on K of N" over the frames shown.
std::string Share(const std::vector<Presentation>& shown, bool Presentation::*flag, const char* name) {
    long known = 0, set = 0;
    for (const Presentation& p : shown) {
        known += p.known;
        set += p.known && p.*flag;
    }
    char text[96];
    if (set == known) snprintf(text, sizeof text, "%s", name);
    else if (set == 0) snprintf(text, sizeof text, "no %s", name);
    else snprintf(text, sizeof text, "%s on %ld of %ld", name, set, known);
    return text;
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
    } else if (std::none_of(shown.begin(), shown.end(), [](const Presentation& p) { return p.known; })) {
        present = presentSource + " (no frame reported shown)";
    } else {
        present = presentSource + " (" + Share(shown, &Presentation::vsync, "vsync") + ", " +
                  Share(shown, &Presentation::hardwareClock, "hardware clock") + ")";
    }
    return std::string("display: ") + refresh + "; presentation times: " + present;
}

std::string VsyncLine(const DisplayPacing& pacing) {
    char line[256];
    const char* verdict = pacing.verdict == DisplayPacing::kHeld      ? "held"
                          : pacing.verdict == DisplayPacing::kNotHeld ? "not held"
                                                                      : "unknown";
    int used = snprintf(line, sizeof line, "vsync: %s%s", verdict, pacing.fromSwapTimes ? " (judged from swap times)" : "");
    if (pacing.judged > 0) {
        used += snprintf(line + used, sizeof line - used, ", %ld of %ld frames missed a refresh (%.1f%%)",
                         pacing.missedCount, pacing.judged, 100.0 * pacing.missedCount / pacing.judged);
    }
    snprintf(line + used, sizeof line - used, "; 1%% low %.1f fps, 0.1%% low %.1f fps", pacing.low1Fps,
             pacing.low01Fps);
    return line;
}

std::string StallLine(const std::vector<FrameRecord>& frames, const DisplayPacing& pacing) {
    long planted = 0, seen = 0;
    for (const FrameRecord& frame : frames) {
        if (!frame.stalled) continue;
        ++planted;
        seen += frame.missed;
    }
    char line[128];
    if (pacing.judged > 0) snprintf(line, sizeof line, "stalls: %ld planted, %ld seen as missed refreshes", planted, seen);
    else snprintf(line, sizeof line, "stalls: %ld planted", planted);
    return line;
}
