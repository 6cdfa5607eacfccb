// WINMM's millisecond timer on Linux.
//  [X] timeGetTime: milliseconds of the monotonic clock as an unsigned 32-bit value, wrapping
//      after about 49.7 days as on Win32.
#include <windows.h>
#include <mmsystem.h>

#include <time.h>

#include "layer.h"
#include "testing.h"

namespace {

struct TimeState {
    DWORD (*source)();  // set by tests
};
TimeState timer;

}  // namespace

DWORD WINAPI timeGetTime(void) {
    if (timer.source != nullptr) return timer.source();
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);  // keeps the low 32 bits: wraps like Win32
}

void PlatformSetTimeSourceForTests(DWORD (*source)()) {
    timer.source = source;
}

void LayerResetTime() {
    timer.source = nullptr;
}
