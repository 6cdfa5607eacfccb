// A null OpenGL driver for the frame split: brimvalk-bench-null-frames is linked with
// --wrap for every OpenGL and GLU entry point the program calls per frame, and for SDL's buffer
// swap. While the null driver is on, those calls return at once; otherwise they go to the real
// driver (so the device can be set up and the first frames drawn for real).
#ifndef BRIMVALK_BENCH_NULL_DRIVER_H
#define BRIMVALK_BENCH_NULL_DRIVER_H

#include <stdint.h>

void SetNullDriver(bool on);

// Calls that reached the null driver since the last reset, to prove the wrapping took hold.
struct NullDriverCounts {
    uint64_t calls;  // all wrapped calls
    uint64_t disks;  // gluDisk
    uint64_t swaps;  // SDL_GL_SwapWindow
};
NullDriverCounts NullDriverCallCounts();
void ResetNullDriverCounts();

#endif
