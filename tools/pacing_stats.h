// Frame-pacing arithmetic of brimvalk-pacing: frame times from buffer-swap times, nearest-rank
// percentiles and stutters.
#ifndef BRIMVALK_TOOLS_PACING_STATS_H
#define BRIMVALK_TOOLS_PACING_STATS_H

#include <string>
#include <vector>

// A frame's time is the interval from the previous frame's SwapBuffers return to its own; the
// first frame's runs from the loop's start. N frames give N frame times, in milliseconds, and they
// add up to the elapsed time from the loop's start to the last swap's return.
std::vector<double> FrameTimesMs(double loopStartSeconds, const std::vector<double>& swapReturnSeconds);

// The nearest-rank percentile: the smallest value with at least `percent` of the values at or
// below it, i.e. sorted[ceil(percent / 100 * n) - 1] (the lowest value for percent 0). 0 for none.
double Percentile(const std::vector<double>& values, double percent);

// A stutter is a frame longer than 1.5 times the median (the 50th percentile above).
bool IsStutter(double frameMs, double medianMs);

struct PacingSummary {
    long frames = 0;
    double elapsedMs = 0;  // the sum of the frame times
    double meanFps = 0;    // frames over the elapsed time; 0 for none
    double p50Ms = 0, p95Ms = 0, p99Ms = 0, maxMs = 0;
    long stutters = 0;
};
PacingSummary Summarise(const std::vector<double>& frameMs);

// "frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K"
std::string SummaryLine(const PacingSummary& summary);

#endif
