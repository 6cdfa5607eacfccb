// Frame-pacing arithmetic of brimvalk-pacing: frame times from buffer-swap times, nearest-rank
// percentiles and stutters.
#ifndef BRIMVALK_TOOLS_PACING_PACING_STATS_H
#define BRIMVALK_TOOLS_PACING_PACING_STATS_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "harness/statistics.h"

// One frame of a run, as the report, the CSV and the plot read it; frames count from 0.
struct FrameRecord {
    double frameMs = 0;               // from the previous frame's swap return (frame 0: the loop's start)
    bool stalled = false;             // held back on purpose (--stall)
    std::optional<double> presentMs;  // from the previous frame's presentation
    std::optional<long> refreshes;    // refreshes since the previous frame's presentation
    bool missed = false;              // presented more refreshes after the previous frame than the swap interval
    std::optional<double> inputMs;    // from the key change first shown in this frame to its presentation (input_watch.h)
};

// A frame's time is the interval from the previous frame's SwapBuffers return to its own; the
// first frame's runs from the loop's start. N frames give N frame times, in milliseconds, and they
// add up to the elapsed time from the loop's start to the last swap's return.
std::vector<FrameRecord> FramesFromSwaps(double loopStartSeconds, const std::vector<double>& swapReturnSeconds);
std::vector<double> FrameTimesMs(const std::vector<FrameRecord>& frames);

// A stutter is a frame longer than 1.5 times the median (the 50th percentile above).
bool IsStutter(double frameMs, double medianMs);

struct PacingSummary {
    long frames = 0;
    double elapsedMs = 0;  // the sum of the frame times
    double meanFps = 0;    // frames over the elapsed time; 0 for none
    double p50Ms = 0, p95Ms = 0, p99Ms = 0, maxMs = 0;
    long stutters = 0;
};
PacingSummary Summarise(const std::vector<FrameRecord>& frames);

// "frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K"
std::string SummaryLine(const PacingSummary& summary);

// One frame's presentation, as the display reports it. `seconds` is on the reporting source's own
// clock: only differences between frames mean anything.
struct Presentation {
    bool known = false;
    double seconds = 0;
    uint64_t counter = 0;        // the display's refresh counter at presentation (seq, MSC)
    bool counterKnown = false;   // false when the source keeps no counter
    bool vsync = false;          // shown on a refresh, as the source says (VSYNC flag, MSC-timed swap)
    bool hardwareClock = false;  // the time is the hardware's own, not the compositor's reading
    bool discarded = false;      // replaced by a later frame before it was ever shown
};

// Frames EVERY-1, 2*EVERY-1, ... (from 0) wait before their swap with --stall EVERY:MS.
bool IsPlantedStall(long frame, long every);

// How the frames met the display's refreshes.
struct DisplayPacing {
    enum Verdict { kUnknown, kHeld, kNotHeld };
    Verdict verdict = kUnknown;
    bool fromSwapTimes = false;      // no presentation times: judged from the swap times and the refresh
    long judged = 0;                 // frames with a known number of refreshes (or swap-judged)
    long missedCount = 0;
    double low1Fps = 0, low01Fps = 0;  // over the presentation intervals where known, else the frame times
};

// Judges `frames` and `shown` (by frame; may be shorter) against a refresh of
// `refreshHz` (0: unknown) and a swap interval of `interval` (below 1 counts as 1).
//  - refreshes: the refresh-counter step where both frames have one, else the presentation interval
//    in whole refresh periods (rounded); with no presentation times at all, the swap interval's.
//  - held: every frame shown on a refresh (VSYNC, a refresh counter, or an interval within a quarter
//    period of a whole number of them) and none discarded or shown in its predecessor's refresh.
// Fills each frame's presentation interval, refreshes and missed refresh.
DisplayPacing JudgePacing(std::vector<FrameRecord>* frames, const std::vector<Presentation>& shown, double refreshHz,
                          int interval);

// 1000 over the mean of the slowest ceil(N / divisor) values (never fewer than one); 0 for none.
double LowFps(const std::vector<double>& intervalsMs, double divisor);

// "display: 60.00 Hz (SOURCE); presentation times: SOURCE (vsync, no hardware clock)", each half
// saying "unknown (WHY)" / "not offered (WHY)" instead where so.
std::string DisplayLine(double refreshHz, const std::string& refreshSource, const std::string& refreshWhyUnknown,
                        const std::string& presentSource, const std::string& presentWhyNot,
                        const std::vector<Presentation>& shown);
// "vsync: held, M of J frames missed a refresh (P%); 1% low A fps, 0.1% low B fps"
std::string VsyncLine(const DisplayPacing& pacing);
// "stalls: S planted, K seen as missed refreshes", or "stalls: S planted" when nothing was judged.
std::string StallLine(const std::vector<FrameRecord>& frames, const DisplayPacing& pacing);

#endif
