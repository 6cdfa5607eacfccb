// The CSV of brimvalk-pacing: a header naming each column by what it measures and in which unit,
// then a line a frame, from frame 0.
#ifndef BRIMVALK_TOOLS_PACING_PACING_CSV_H
#define BRIMVALK_TOOLS_PACING_PACING_CSV_H

#include <stdio.h>

#include <vector>

#include "tools/pacing/pacing_stats.h"

extern const char kPacingCsvHeader[];

// Unknown values are left empty. The stream's errors are the caller's to see.
void WritePacingCsv(const std::vector<FrameRecord>& frames, FILE* out);

#endif
