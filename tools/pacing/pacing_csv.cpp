#include "pacing_csv.h"

const char kPacingCsvHeader[] = "frame,frame_ms,present_ms,refreshes,stalled,input_ms";

void WritePacingCsv(const std::vector<FrameRecord>& frames, FILE* out) {
    fprintf(out, "%s\n", kPacingCsvHeader);
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecord& frame = frames[i];
        fprintf(out, "%zu,%.3f,", i, frame.frameMs);
        if (frame.presentMs) fprintf(out, "%.3f", *frame.presentMs);
        fputc(',', out);
        if (frame.presentMs && frame.refreshes) fprintf(out, "%ld", *frame.refreshes);
        fprintf(out, ",%d,", frame.stalled ? 1 : 0);
        if (frame.inputMs) fprintf(out, "%.3f", *frame.inputMs);
        fputc('\n', out);
    }
}
