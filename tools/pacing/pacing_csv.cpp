#include "pacing_csv.h"

#include <optional>

const char kPacingCsvHeader[] =
    "frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms";

namespace {

// ",VALUE" in milliseconds to the microsecond, or "," where unknown.
void Ms(FILE* out, const std::optional<double>& ms) {
    if (ms) fprintf(out, ",%.3f", *ms);
    else fputc(',', out);
}

void Flag(FILE* out, const std::optional<bool>& flag) {
    if (flag) fprintf(out, ",%d", *flag ? 1 : 0);
    else fputc(',', out);
}

}  // namespace

void WritePacingCsv(const std::vector<FrameRecord>& frames, FILE* out) {
    fprintf(out, "%s\n", kPacingCsvHeader);
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecord& frame = frames[i];
        fprintf(out, "%zu,%d,%.3f,%.3f", i, i == 0 ? 1 : 0, frame.frameMs, frame.swapMs);
        Ms(out, frame.presentMs);
        if (frame.refreshes) fprintf(out, ",%ld", *frame.refreshes);
        else fputc(',', out);
        Flag(out, frame.onRefresh);
        Flag(out, frame.missed);
        Ms(out, frame.swapToPresentMs);
        fprintf(out, ",%d", frame.stalled ? 1 : 0);
        Ms(out, frame.inputMs);
        fputc('\n', out);
    }
}
