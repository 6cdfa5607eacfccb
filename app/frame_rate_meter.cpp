#include "frame_rate_meter.h"

#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>

FrameRateMeter meter;
char fpsText[256];

void UpdateFrameRate() {
    if (!meter.started) {
        meter.startMs = timeGetTime();
        meter.started = 1;
    }
    const uint32_t now = timeGetTime();
    ++meter.frames;
    const uint32_t elapsed = now - meter.startMs;  // unsigned: right across the timer's wrap
    if (elapsed < 1000) return;

    // The interval restarts at the time it was measured, so no time is lost between reports;
    // the count includes the frame that closes it.
    meter.startMs = now;
    const float fps = static_cast<float>(meter.frames) / (static_cast<float>(elapsed) * 0.001f);
    meter.frames = 0;
    snprintf(fpsText, sizeof fpsText, "%.02f fps            ", static_cast<double>(fps));
    printf("%s\n", fpsText);
}
