// The frame-time plot of brimvalk-pacing, drawn with cairo.
#ifndef BRIMVALK_TOOLS_PACING_PLOT_H
#define BRIMVALK_TOOLS_PACING_PLOT_H

#include <stdio.h>

#include <string>
#include <vector>

#include "tools/pacing_stats.h"

// Frame time (ms) against frame number, with dashed lines at 16.7 and 33.3 ms, stutters circled
// and the percentiles in a legend; `caption` goes under the title. Writes a PNG of width by height
// pixels to `out`; returns false with the reason in `error`.
bool WritePacingPlot(const std::vector<double>& frameMs, const PacingSummary& summary, const std::string& caption,
                     int width, int height, FILE* out, std::string* error);

#endif
