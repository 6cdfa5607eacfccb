// Frame-pacing arithmetic of brimvalk-pacing: frame times from buffer-swap times, nearest-rank
// percentiles and stutters, the display's verdict on the refreshes, the lows and the report's lines.
// Every count is defined once here, beside its code; --help and the README say the same.
#ifndef BRIMVALK_TOOLS_PACING_PACING_STATS_H
#define BRIMVALK_TOOLS_PACING_PACING_STATS_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "harness/statistics.h"

// One frame of a run, as the report, the CSV and the plot read it; frames count from 0. Frame 0
// carries the start-up (the driver's first-draw work) and enters no statistic: it is reported apart.
struct FrameRecord {
    double frameMs = 0;                     // from the previous frame's swap return (frame 0: the loop's start)
    double swapMs = 0;                      // inside SwapBuffers, from its call to its return
    bool stalled = false;                   // held back on purpose (--stall)
    std::optional<double> presentMs;        // from the previous frame's presentation to its own
    std::optional<long> refreshes;          // refreshes since the previous frame's presentation
    std::optional<bool> onRefresh;          // shown on a refresh, as judged (JudgePacing)
    std::optional<bool> missed;             // shown later than the swap interval allows, or never
    bool discarded = false;                 // replaced before it was ever shown
    std::optional<double> swapToPresentMs;  // from its swap's return to its presentation
    std::optional<double> inputMs;          // from the key change first shown in it to its presentation (input_watch.h)
};

// A frame's time is the interval from the previous frame's SwapBuffers return to its own; the
// first frame's runs from the loop's start.
std::vector<FrameRecord> FramesFromSwaps(double loopStartSeconds, const std::vector<double>& swapReturnSeconds);
// The frame times of frames 1.. (the first left out).
std::vector<double> FrameTimesAfterFirst(const std::vector<FrameRecord>& frames);

// A stutter is a frame longer than 1.5 times the median (the 50th percentile).
bool IsStutter(double frameMs, double medianMs);

// The first frame apart; the rest (N = all but the first) give the mean (N over the time from the
// first frame's swap return to the last's), nearest-rank percentiles, the max and the stutters.
struct PacingSummary {
    std::optional<double> firstMs;  // the first frame's time; none when no frame was drawn
    long frames = 0;                // after the first
    double elapsedMs = 0;           // the sum of their frame times
    double meanFps = 0;             // frames over elapsedMs; 0 for none
    double p50Ms = 0, p95Ms = 0, p99Ms = 0, maxMs = 0;
    long stutters = 0;
};
PacingSummary Summarise(const std::vector<FrameRecord>& frames);

// "first frame F ms (start-up), then: frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K"
std::string SummaryLine(const PacingSummary& summary);

// One frame's presentation, as the display reports it. `seconds` is on the presentation clock:
// only differences between frames mean anything, and a swap's return read on the same clock.
struct Presentation {
    bool known = false;          // shown, at `seconds`
    double seconds = 0;
    uint64_t counter = 0;        // the display's refresh counter at presentation (seq, MSC)
    bool counterKnown = false;   // false when the source keeps no counter
    bool flagsKnown = false;     // the source says whether it was shown on a vertical retrace...
    bool vsync = false;          // ...and it was (wp_presentation's VSYNC)
    bool hardwareClock = false;  // the time is the hardware's own, not the compositor's reading
    bool discarded = false;      // replaced by a later frame before it was ever shown
    std::optional<double> swapSeconds;  // the frame's swap return, read on the presentation clock
};

// Frames EVERY-1, 2*EVERY-1, ... (from 0) wait before their swap with --stall EVERY:MS.
bool IsPlantedStall(long frame, long every);

// How the frames after the first met the display's refreshes.
struct DisplayPacing {
    enum Verdict { kUnknown, kHeld, kNotHeld };
    enum Basis { kDisplay, kPresentationIntervals, kSwapTimes };  // what decided "on a refresh"
    Verdict verdict = kUnknown;
    Basis basis = kDisplay;
    long judged = 0;       // frames after the first with `missed` known
    long missedCount = 0;
    // The lows: over the presentation intervals of the frames after the first where any is known,
    // else over their frame times; `lowIntervals` of them.
    bool lowsFromPresentations = false;
    long lowIntervals = 0;
    double low1Fps = 0, low01Fps = 0;
};

// Judges frames 1.. of `frames` by `shown` (by frame; may be shorter) against a refresh of
// `refreshHz` (0: unknown) and a swap interval of `interval` (below 1 counts as 1), and fills each
// frame's presentation interval, refreshes, on-refresh and missed. Frame 0 only anchors frame 1's
// presentation interval.
//  - The display's word first: a frame with flags is on a refresh when VSYNC says so; one without
//    flags but with a refresh counter is on one. Only where it says neither is a presentation
//    interval within a quarter period of a whole, non-zero number of refresh periods taken as on a
//    refresh (basis: presentation intervals).
//  - Refreshes since the frame before: the counter's step where both have one, else the interval
//    over the period rounded to nearest, halves up (1.4 -> 1, 1.5 -> 2).
//  - Missed: more refreshes than the swap interval, or discarded (never shown).
//  - With no frame after the first reported (shown or discarded), the swap times are judged the
//    same way as presentation intervals would be, given a refresh rate (basis: swap times).
//  - not held: a frame after the first discarded, off a refresh, or shown in the refresh of the
//    frame before (0 refreshes); else held when at least one frame was judged; else unknown.
DisplayPacing JudgePacing(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown, double refreshHz,
                          int interval);

// Each frame's time from its swap's return to its presentation, where both are on one clock.
void SetSwapToPresent(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown);

// 1000 over the mean of the slowest ceil(K / divisor) of K intervals (never fewer than one); 0 for none.
double LowFps(const std::vector<double>& intervalsMs, double divisor);

// "display: 60.00 Hz (SOURCE); presentation times: SOURCE (vsync, no hardware clock)" over the
// frames after the first, each half saying "unknown (WHY)" / "not offered (WHY)" instead where so.
std::string DisplayLine(double refreshHz, const std::string& refreshSource, const std::string& refreshWhyUnknown,
                        const std::string& presentSource, const std::string& presentWhyNot,
                        const std::vector<Presentation>& shown);
// "vsync: held, M of J frames missed a refresh (P%); 1% low A fps, 0.1% low B fps (of K presentation intervals)"
std::string VsyncLine(const DisplayPacing& pacing);
// "latency: swap to present p50 A ms, p99 B ms (CLOCK)" over the frames after the first, or
// "latency: swap to present unknown (WHY)".
std::string LatencyLine(const std::vector<FrameRecord>& frames, const std::string& clock, const std::string& whyNot);
// "stalls: S planted, K seen as missed refreshes", or "stalls: S planted" when nothing was judged.
std::string StallLine(const std::vector<FrameRecord>& frames, const DisplayPacing& pacing);

#endif
