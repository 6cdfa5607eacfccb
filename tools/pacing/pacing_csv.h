// The CSV of brimvalk-pacing: a header naming each column by what it measures and in which unit,
// then a line a frame, from frame 0, the start-up frame, marked by startup = 1 (every other row 0).
// Times in ms to the microsecond; refreshes a count; on_refresh, missed and stalled 1 or 0; a
// value not known is left empty.
#ifndef BRIMVALK_TOOLS_PACING_PACING_CSV_H
#define BRIMVALK_TOOLS_PACING_PACING_CSV_H

#include <stdio.h>

#include <vector>

#include "tools/pacing/pacing_stats.h"

extern const char kPacingCsvHeader[];

// The stream's errors are the caller's to see.
void WritePacingCsv(const std::vector<FrameRecord>& frames, FILE* out);

#endif
