// The frame-time plot of brimvalk-pacing, drawn with cairo.
#ifndef BRIMVALK_TOOLS_PACING_PACING_PLOT_H
#define BRIMVALK_TOOLS_PACING_PACING_PLOT_H

#include <stdio.h>

#include <string>
#include <vector>

#include "tools/pacing/pacing_stats.h"

// Frame time (ms) against frame number for the frames after the first (the first, the start-up, is
// in the title), with the presentation intervals beside it where known,
// dashed lines at one and two refresh periods of `refreshHz` (16.7 and 33.3 ms when it is 0),
// stutters circled, missed refreshes marked with triangles and the percentiles in a legend;
// `caption` goes under the title. Writes a PNG of width by height pixels to `out`; returns false
// with the reason in `error`.
bool WritePacingPlot(const std::vector<FrameRecord>& frames, const PacingSummary& summary, const DisplayPacing& display,
                     double refreshHz, const std::string& caption, int width, int height, FILE* out,
                     std::string* error);

// The legend, in order: the frame-time line, the presentation line where any is known, the percentiles, the max,
// the stutters (circled), where judged, the missed refreshes (triangles) and, where any, the key changes
// shown (diamonds, at their latency).
struct LegendEntry {
    enum Symbol { kNone, kFrameLine, kPresentLine, kCircle, kTriangle, kDiamond };
    Symbol symbol;
    std::string text;
};
std::vector<LegendEntry> PlotLegend(const std::vector<FrameRecord>& frames, const PacingSummary& summary,
                                    const DisplayPacing& display);

#endif
