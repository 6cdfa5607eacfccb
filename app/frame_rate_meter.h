// The frame-rate meter: counts drawn frames and prints the rate once a second.
#ifndef BRIMVALK_FRAME_RATE_METER_H
#define BRIMVALK_FRAME_RATE_METER_H

#include <stdint.h>

struct FrameRateMeter {
    uint32_t startMs;  // timeGetTime at the start of the current interval
    int started;       // startMs has been taken
    uint32_t frames;   // frames counted since startMs
};

extern FrameRateMeter meter;
extern char fpsText[256];  // the last formatted frame-rate text

// The meter's tick, once per drawn frame.
void UpdateFrameRate();

#endif
