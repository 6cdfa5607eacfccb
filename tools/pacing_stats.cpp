#include "pacing_stats.h"

#include <stdio.h>

#include <algorithm>
#include <cmath>

std::vector<double> FrameTimesMs(double loopStartSeconds, const std::vector<double>& swapReturnSeconds) {
    std::vector<double> frameMs;
    frameMs.reserve(swapReturnSeconds.size());
    double previous = loopStartSeconds;
    for (double swapReturn : swapReturnSeconds) {
        frameMs.push_back((swapReturn - previous) * 1000.0);
        previous = swapReturn;
    }
    return frameMs;
}

double Percentile(const std::vector<double>& values, double percent) {
    if (values.empty()) return 0.0;
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    // percent * n first, exact for whole percents: 7 / 100 * 100 would round up to rank 8.
    const double rank = std::ceil(percent * static_cast<double>(sorted.size()) / 100.0);
    const size_t index = rank < 1.0 ? 0 : std::min(sorted.size(), static_cast<size_t>(rank)) - 1;
    return sorted[index];
}

bool IsStutter(double frameMs, double medianMs) {
    return frameMs > 1.5 * medianMs;
}

PacingSummary Summarise(const std::vector<double>& frameMs) {
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
